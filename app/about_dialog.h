#pragma once
// The about box: the application's name and version over a background
// picture, with a small icon and an "OK" button. Created afresh for each
// opening; closing only hides it.

#include <QDialog>

// The application's version: the about box shows it, --version prints it.
extern const char* const kApplicationVersion;

class QLabel;
class QPushButton;

class TdlgAbout final : public QDialog {
 public:
  explicit TdlgAbout(QWidget* owner);

  QLabel* lblTitle;
  QLabel* lblVersion;

 private:
  void FormCreate();
  void SpeedButton1Click();

  QLabel* Image2;
  QLabel* Image1;
  QPushButton* SpeedButton1;
};
