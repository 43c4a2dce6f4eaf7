#pragma once
// The session's own window: what the upgrade is, what the library is doing
// and a "Close" button. Not modal, so the application stays usable while a
// download runs. Closing it (button, Escape, close box) emits finished().

#include <QDialog>

class QLabel;
class QProgressBar;

namespace novaleaf {

class UpgradeWindow final : public QDialog {
 public:
  explicit UpgradeWindow(QWidget* owner);

  void ShowMessage(const QString& heading, const QString& text);
  // A busy bar while the total is unknown (0).
  void ShowProgress(const QString& heading, const QString& text, qint64 received, qint64 total);

 private:
  QLabel* heading_;
  QLabel* status_;
  QProgressBar* progress_;
};

}  // namespace novaleaf
