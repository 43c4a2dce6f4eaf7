#pragma once
// The add-files dialog's location box: a drop-down of the computer, its root
// folder, the home folder and the mounted volumes, whose edit field shows the
// folder on view and takes a typed path (Return opens it).

#include <QComboBox>
#include <functional>

class LocationBox final : public QComboBox {
 public:
  // `open` is asked to show a folder ("" for the computer) and answers
  // whether it could.
  LocationBox(QWidget* parent, std::function<bool(const QString&)> open);

  // The folder on view, as the edit field shows it.
  void ShowLocation(const QString& path);

  static QString ComputerCaption() { return QStringLiteral("Computer"); }

 private:
  void AddLocations();
  void OpenTyped(const QString& text);

  std::function<bool(const QString&)> open_;
  QString shown_;
};
