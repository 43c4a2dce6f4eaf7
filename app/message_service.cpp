#include "app/message_service.h"

#include <QApplication>
#include <QGridLayout>
#include <QMessageBox>
#include <QThread>

const char* const kApplicationTitle = "Quillon CD & DVD Burner";

MessageService::MessageService(QWidget* owner) : owner_(owner) { platform::SetUserInterface(this); }

MessageService::~MessageService() { platform::SetUserInterface(nullptr); }

void MessageService::Show(const QString& text) { Present(Kind::Message, text, kApplicationTitle); }

bool MessageService::Ask(const QString& text) { return Present(Kind::Question, text, kApplicationTitle); }

bool MessageService::Present(Kind kind, const QString& text, const QString& caption) {
  history_.append({kind, text});
  if (answerer_) return answerer_(history_.back());
  QMessageBox box(QMessageBox::NoIcon, caption, text,
                  kind == Kind::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner_);
  box.setDefaultButton(kind == Kind::Question ? QMessageBox::Yes : QMessageBox::Ok);
  // Wide enough for the caption to show whole in the title bar. The width
  // goes on a spacer below the text, in the text's column: a minimum width
  // on the text's label would become the box's width, whatever the text,
  // and cut a longer one.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid && grid->columnCount() > 1) {
    const int captionWidth = 18 * box.fontMetrics().height();
    grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 1);
  }
  int answer = box.exec();
  return answer == QMessageBox::Ok || answer == QMessageBox::Yes;
}

int MessageService::ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) {
  // Widgets live on the GUI thread only; a box asked for elsewhere is shown there.
  if (QThread::currentThread() != qApp->thread()) {
    int result = platform::IDOK;
    QMetaObject::invokeMethod(
        qApp, [&] { result = ShowMessageBox(text, caption, type); }, Qt::BlockingQueuedConnection);
    return result;
  }
  bool question = (type & 0x0F) == platform::MB_YESNO;
  bool yes = Present(question ? Kind::Question : Kind::Message, QString::fromStdString(text),
                     QString::fromStdString(caption));
  return question ? (yes ? platform::IDYES : platform::IDNO) : platform::IDOK;
}

void MessageService::ShowAboutBox(const platform::AboutBoxContent& content) {
  Present(Kind::Message, QString::fromStdString(content.text), QString::fromStdString(content.title));
}
