// The control's members that fill the compilation and label the image.

#include "engine/control/scrivo_ctrl.h"

namespace scrivo {

void CScrivoCtrl::BindImageBuilder() { image_.Bind(this); }

bool CScrivoCtrl::AcceptImageLabel(const std::string& label) { return image_.SetVolumeLabel(label); }

void CScrivoCtrl::ClearCompilation() { image_.ClearTree(); }

void CScrivoCtrl::AddFile(const std::string& strDestFileName, const std::string& strSourceFileName) {
  if (RefuseWhileBusy()) return;
  // The builder reports a rejected entry itself.
  image_.AddFileEntry(image_.Root(), strDestFileName, strSourceFileName);
}

void CScrivoCtrl::AddDirectory(const std::string& strDir) {
  if (RefuseWhileBusy()) return;
  image_.AddFolderContents(strDir, image_.Root());
}

}  // namespace scrivo
