#include "app/about_dialog.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/dialog_frame.h"
#include "app/message_service.h"

const char* const kApplicationVersion = "1.24";

namespace {

constexpr QSize kClientSize(352, 203);
constexpr QRect kIcon(24, 41, 29, 32);
constexpr QPoint kTitle(72, 41);
constexpr QPoint kVersion(72, 77);
constexpr QRect kOkButton(139, 136, 75, 25);

QLabel* Picture(const char* resource, QWidget* parent, const QRect& place) {
  auto* picture = new QLabel(parent);
  picture->setPixmap(QPixmap(resource));
  picture->setScaledContents(true);
  picture->setGeometry(place);
  return picture;
}

QLabel* TransparentLabel(const QString& designCaption, QWidget* parent, const QPoint& place) {
  auto* label = new QLabel(designCaption, parent);
  label->setAttribute(Qt::WA_TranslucentBackground);
  label->move(place);
  return label;
}

}  // namespace

TdlgAbout::TdlgAbout(QWidget* owner)
    : QDialog(owner, kFixedDialog),
      lblTitle(nullptr),
      lblVersion(nullptr),
      Image2(Picture(":/about/about_background.png", this, QRect(QPoint(), kClientSize))),
      Image1(Picture(":/about/about_icon.png", this, kIcon)),
      SpeedButton1(new QPushButton("OK", this)) {
  setWindowTitle("About");
  SetFixedDialogFrame(*this, kClientSize);
  lblTitle = TransparentLabel("Application Name: ", this, kTitle);
  lblVersion = TransparentLabel("Application Version: ", this, kVersion);

  SpeedButton1->setGeometry(kOkButton);
  SpeedButton1->setFlat(true);
  SpeedButton1->setCursor(Qt::PointingHandCursor);
  SpeedButton1->setDefault(true);
  connect(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
  FormCreate();
}

void TdlgAbout::FormCreate() {
  lblTitle->setText(lblTitle->text() + kApplicationTitle);
  lblTitle->adjustSize();
  lblVersion->setText(lblVersion->text() + kApplicationVersion);
  lblVersion->adjustSize();
}

void TdlgAbout::SpeedButton1Click() { close(); }
