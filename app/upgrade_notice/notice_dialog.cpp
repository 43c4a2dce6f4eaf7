#include "app/upgrade_notice/notice_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/upgrade_notice/novaleaf.h"
#include "app/upgrade_notice/upgrade_settings.h"

namespace novaleaf {
namespace {

constexpr int kIconSize = 32;
constexpr int kTextWidth = 320;

QLabel* InformationIcon(const QDialog& dialog) {
  auto* icon = new QLabel;
  icon->setPixmap(
      dialog.style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(kIconSize));
  icon->setAlignment(Qt::AlignTop);
  return icon;
}

}  // namespace

int AskForUpgrade(const QString& text, QWidget* owner) {
  // On the heap: an owner destroyed while the notice is open takes it along.
  QPointer<QDialog> dialog = new QDialog(owner);
  dialog->setObjectName("novaleafNotice");
  dialog->setWindowTitle("Upgrade");
  dialog->setWindowModality(Qt::ApplicationModal);

  // The text may start with line breaks meant as spacing; the layout has its own.
  auto* message = new QLabel(text.trimmed());
  message->setObjectName("text");
  message->setWordWrap(true);
  message->setMinimumWidth(kTextWidth);
  auto* startUpBox = new QCheckBox("Don't show this at start-up");
  startUpBox->setObjectName("startUp");
  const bool shownAtStartup = ShowAtStartup();
  startUpBox->setChecked(!shownAtStartup);

  auto* buttons = new QDialogButtonBox;
  QPushButton* upgrade = buttons->addButton("Upgrade", QDialogButtonBox::AcceptRole);
  buttons->addButton("Not now", QDialogButtonBox::RejectRole);
  upgrade->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(InformationIcon(*dialog));
  top->addWidget(message, 1);
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(top);
  layout->addWidget(startUpBox);
  layout->addWidget(buttons);
  dialog->setFixedSize(dialog->sizeHint());

  const int result = dialog->exec();
  if (!dialog) return NOVALEAF_DECLINED;
  if (startUpBox->isChecked() == shownAtStartup) SetShowAtStartup(!startUpBox->isChecked());
  delete dialog;
  return result == QDialog::Accepted ? NOVALEAF_UPGRADE : NOVALEAF_DECLINED;
}

}  // namespace novaleaf
