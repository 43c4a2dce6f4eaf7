#include "app/engine_registration.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "engine/typelib/scrivo_ids.h"
#include "platform/automation/activation.h"
#include "platform/automation/registry.h"

namespace {

// libscrivo.so of this build (beside the program) or of this installation
// (in ../lib).
QString EngineBesideProgram() {
  const QString dir = QCoreApplication::applicationDirPath();
  for (const QString& candidate : {dir + "/libscrivo.so", dir + "/../lib/libscrivo.so"}) {
    if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
  }
  return {};
}

}  // namespace

QString EnsureEngineRegistered() {
  auto server = platform::Registry::Get(platform::ClassKey(scrivo::ids::kControlClass) + "/InprocServer32");
  if (server && QFileInfo::exists(QString::fromStdString(*server))) return {};
  const QString library = EngineBesideProgram();
  if (library.isEmpty()) return "the engine library libscrivo.so is not installed beside the program";
  void* handle = dlopen(library.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return QString("cannot load %1: %2").arg(library, dlerror());
  auto registerServer = reinterpret_cast<platform::DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
  if (!registerServer || platform::FAILED(registerServer())) return "cannot register " + library;
  return {};
}
