// quillonburner: the desktop application of Quillon Burner.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

#include "app/about_dialog.h"
#include "app/command_line_text.h"
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

struct CommandLine {
  QStringList paths;
  QString burnImage;  // --burn-image FILE.iso
};

// The program's names and its command line, on whichever application object
// runs: --help and --version answer without a display.
CommandLine ParseCommandLine(const QCoreApplication& app) {
  QCoreApplication::setApplicationName("quillonburner");
  QCoreApplication::setApplicationVersion(kApplicationVersion);
  QCommandLineParser parser;
  parser.setApplicationDescription(quillonburner_text::kDescription);
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(quillonburner_text::kPathName, quillonburner_text::kPathHelp,
                               quillonburner_text::kPathSyntax);
  const QCommandLineOption burnImage(quillonburner_text::kBurnImageOption, quillonburner_text::kBurnImageHelp,
                                     quillonburner_text::kBurnImageValue);
  parser.addOption(burnImage);
  parser.process(app);  // ends the program after --help, --version or a wrong option
  return {parser.positionalArguments(),
          parser.isSet(burnImage) ? QFileInfo(parser.value(burnImage)).absoluteFilePath() : QString()};
}

bool AsksForTextOnly(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const QByteArray argument(argv[i]);
    if (argument == "--") break;
    if (argument.startsWith('-')) return true;
  }
  return false;
}

// Qt ends a program that finds no display with a core dump: say so first.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    if (const char* value = std::getenv(name); value && *value) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForTextOnly(argc, argv)) {
    QCoreApplication text(argc, argv);
    ParseCommandLine(text);
  }
  if (!HasDisplay()) {
    std::fputs("quillonburner: there is no display to show its window on (DISPLAY is not set). Start it from a "
               "desktop session, or burn from a terminal with quillon (quillon --help).\n",
               stderr);
    return 1;
  }
  QApplication app(argc, argv);
  const CommandLine commandLine = ParseCommandLine(app);
  // No display name: Qt would append it to every window's caption, and the
  // dialogs are captioned "Add" and "About" alone.
  QApplication::setDesktopFileName("quillonburner");
  QApplication::setWindowIcon(QIcon(":/quillonburner.png"));

  if (QString problem = EnsureEngineRegistered(); !problem.isEmpty()) {
    QMessageBox::critical(nullptr, kApplicationTitle, "Cannot start: " + problem + ".");
    return 1;
  }
  try {
    TFGUI window(DebugOutputFromEnvironment());
    window.Compilation().AddPaths(AbsolutePaths(commandLine.paths));
    window.showMaximized();
    if (!commandLine.burnImage.isEmpty()) window.BurnImageOnStart(commandLine.burnImage);
    return app.exec();
  } catch (const ScrivoCallError& error) {
    QMessageBox::critical(nullptr, kApplicationTitle, QString("Cannot start: %1.").arg(error.what()));
    return 1;
  }
}
