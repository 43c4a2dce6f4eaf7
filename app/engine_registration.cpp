#include "app/engine_registration.h"

#include <QCoreApplication>

#include "host/engine_registration.h"

QString EnsureEngineRegistered() {
  const auto engine = quillonhost::EngineWithProgram(QCoreApplication::applicationDirPath().toStdString());
  if (!engine) return "the engine library libscrivo.so is not installed with the program";
  return QString::fromStdString(quillonhost::EnsureEngineRegistered(*engine));
}
