// The control's members that fill the compilation and label the image.

#include "engine/control/scrivo_ctrl.h"

#include "platform/text/codepage.h"

namespace scrivo {

void CScrivoCtrl::BindImageBuilder() {}

bool CScrivoCtrl::AcceptImageLabel(const std::string& label) {
  return platform::NarrowToWide(label).size() <= 15;
}

void CScrivoCtrl::ClearCompilation() {}

void CScrivoCtrl::AddFile(const std::string&, const std::string&) {
  if (RefuseWhileBusy()) return;
  ReportError("Probably the file name is incorrect or very long");
}

void CScrivoCtrl::AddDirectory(const std::string&) {
  if (RefuseWhileBusy()) return;
  ReportError("Probably the directory name is incorrect or very long");
}

}  // namespace scrivo
