#include "app/message_service.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QThread>

const char* const kApplicationTitle = "Quillon CD & DVD Burner";

MessageService::MessageService(QWidget* owner) : owner_(owner) { platform::SetUserInterface(this); }

MessageService::~MessageService() { platform::SetUserInterface(nullptr); }

void MessageService::Show(const QString& text, const QStringList& items, const QString& after) {
  Present(Kind::Message, text, kApplicationTitle, items, after);
}

bool MessageService::Ask(const QString& text, const QStringList& items, const QString& after) {
  return Present(Kind::Question, text, kApplicationTitle, items, after);
}

void MessageService::CloseQuestions() {
  for (const QPointer<QWidget>& box : openQuestions_) {
    if (auto* question = qobject_cast<QMessageBox*>(box.data())) question->done(QMessageBox::No);
  }
}

bool MessageService::Present(Kind kind, const QString& text, const QString& caption, const QStringList& items,
                             const QString& after) {
  QStringList lines{text};
  lines << items;
  if (!after.isEmpty()) lines << after;
  history_.append({kind, lines.join("\r\n"), items});
  if (answerer_) return answerer_(history_.back());
  QMessageBox box(QMessageBox::NoIcon, caption, items.isEmpty() ? lines.join("\r\n") : text,
                  kind == Kind::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner_);
  box.setDefaultButton(kind == Kind::Question ? QMessageBox::Yes : QMessageBox::Ok);
  // Wide enough for the caption to show whole in the title bar. The width
  // goes on a spacer below the text, in the text's column: a minimum width
  // on the text's label would become the box's width, whatever the text,
  // and cut a longer one.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()); grid && grid->columnCount() > 1) {
    const int captionWidth = 18 * box.fontMetrics().height();
    grid->addItem(new QSpacerItem(captionWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 1);
    // A list of any length: one entry a line, unwrapped and whole, in a box
    // that scrolls, under the text and above the buttons.
    if (!items.isEmpty()) {
      auto* list = new QPlainTextEdit(items.join('\n'), &box);
      list->setObjectName("messageItems");
      list->setReadOnly(true);
      list->setLineWrapMode(QPlainTextEdit::NoWrap);
      list->setMinimumSize(36 * box.fontMetrics().averageCharWidth(), 6 * box.fontMetrics().height());
      list->setMaximumHeight(14 * box.fontMetrics().height());
      const int buttons = grid->indexOf(box.findChild<QDialogButtonBox*>());
      QLayoutItem* buttonsItem = buttons >= 0 ? grid->takeAt(buttons) : nullptr;
      grid->addWidget(list, grid->rowCount(), 1);
      if (!after.isEmpty()) grid->addWidget(new QLabel(after, &box), grid->rowCount(), 1);
      if (buttonsItem) grid->addItem(buttonsItem, grid->rowCount(), 0, 1, grid->columnCount());
    }
  }
  if (kind == Kind::Question) openQuestions_.append(&box);
  int answer = box.exec();
  openQuestions_.removeAll(QPointer<QWidget>(&box));
  openQuestions_.removeAll(QPointer<QWidget>());
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
