#include "app/upgrade_notice/upgrade_window.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace novaleaf {
namespace {

constexpr int kWidth = 420;

}  // namespace

UpgradeWindow::UpgradeWindow(QWidget* owner)
    : QDialog(owner), heading_(new QLabel), status_(new QLabel), progress_(new QProgressBar) {
  setObjectName("novaleafWindow");
  setWindowTitle("Upgrade");
  setMinimumWidth(kWidth);
  heading_->setObjectName("heading");
  QFont bold = heading_->font();
  bold.setBold(true);
  heading_->setFont(bold);
  heading_->setWordWrap(true);
  status_->setObjectName("status");
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progress_->setObjectName("progress");

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading_);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addStretch();
  layout->addWidget(buttons);
}

void UpgradeWindow::ShowMessage(const QString& heading, const QString& text) {
  heading_->setText(heading);
  status_->setText(text);
  progress_->hide();
}

void UpgradeWindow::ShowProgress(const QString& heading, const QString& text, qint64 received,
                                 qint64 total) {
  heading_->setText(heading);
  status_->setText(text);
  if (total > 0) {
    progress_->setRange(0, 100);
    progress_->setValue(static_cast<int>(received * 100 / total));
  } else {
    progress_->setRange(0, 0);
  }
  progress_->show();
}

}  // namespace novaleaf
