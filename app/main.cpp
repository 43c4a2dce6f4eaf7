// quillonburner: the desktop application of Quillon Burner.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "app/engine_registration.h"
#include "app/main_window.h"

namespace {

// The paths as a file manager passes them: absolute, so a relative path
// typed in a terminal names the same file.
QStringList AbsolutePaths(const QStringList& arguments) {
  QStringList paths;
  for (const QString& argument : arguments) {
    QString path = QFileInfo(argument).absoluteFilePath();
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    paths.append(path);
  }
  return paths;
}

// QUILLON_DEBUG=1 shows the engine's debug channel on standard error.
MessagePump::DebugOutput DebugOutputFromEnvironment() {
  const char* debug = std::getenv("QUILLON_DEBUG");
  if (!debug || !*debug || QByteArray(debug) == "0") return {};
  return [](const QString& text) { std::fprintf(stderr, "quillonburner debug: %s\n", qPrintable(text)); };
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("quillonburner");
  QApplication::setApplicationDisplayName(kApplicationTitle);
  QApplication::setApplicationVersion(QUILLON_VERSION);
  QApplication::setDesktopFileName("quillonburner");
  QApplication::setWindowIcon(QIcon(":/quillonburner.png"));

  QCommandLineParser parser;
  parser.setApplicationDescription(
      "Burns files and folders onto CD and DVD discs, erases rewritable CDs and reports what a writer and its disc "
      "can do.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument("PATH", "Files and folders to put in the compilation, as if dropped on the window.",
                               "[PATH...]");
  parser.process(app);

  if (QString problem = EnsureEngineRegistered(); !problem.isEmpty()) {
    QMessageBox::critical(nullptr, kApplicationTitle, "Cannot start: " + problem + ".");
    return 1;
  }
  try {
    TFGUI window(DebugOutputFromEnvironment());
    window.Compilation().AddPaths(AbsolutePaths(parser.positionalArguments()));
    window.showMaximized();
    return app.exec();
  } catch (const ScrivoCallError& error) {
    QMessageBox::critical(nullptr, kApplicationTitle, QString("Cannot start: %1.").arg(error.what()));
    return 1;
  }
}
