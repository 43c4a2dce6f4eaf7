#pragma once
// The one way the application and the engine talk to the user in a box: a
// plain message (text and OK) or a question (Yes and No, no icon), both
// captioned with the application's title and modal to the main window. A
// test installs an answerer that reads each text and answers in place of
// the user; every text shown is kept in order.

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

#include "platform/user/message_box.h"

extern const char* const kApplicationTitle;  // "Quillon CD & DVD Burner"

class MessageService final : public platform::UserInterface {
 public:
  enum class Kind { Message, Question };
  struct Shown {
    Kind kind;
    QString text;
    QStringList items;  // the list under the text, one line each
  };
  // Answers in place of the user: true for OK or Yes.
  using Answerer = std::function<bool(const Shown&)>;

  // Installs itself as the engine's message-box service.
  explicit MessageService(QWidget* owner);
  ~MessageService() override;
  MessageService(const MessageService&) = delete;
  MessageService& operator=(const MessageService&) = delete;

  // `items`, when given, are shown one a line in a box that scrolls,
  // between `text` and `after`.
  void Show(const QString& text, const QStringList& items = {}, const QString& after = {});
  // True when the answer is Yes; false also when the question was closed
  // unanswered (CloseQuestions).
  bool Ask(const QString& text, const QStringList& items = {}, const QString& after = {});
  // Closes the questions open now, each answered No: one that the end of a
  // job has made moot.
  void CloseQuestions();

  void SetAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
  const QList<Shown>& History() const { return history_; }
  void ClearHistory() { history_.clear(); }

  // The engine's boxes.
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  void ShowAboutBox(const platform::AboutBoxContent& content) override;

 private:
  bool Present(Kind kind, const QString& text, const QString& caption, const QStringList& items = {},
               const QString& after = {});

  QPointer<QWidget> owner_;
  Answerer answerer_;
  QList<Shown> history_;
  QList<QPointer<QWidget>> openQuestions_;
};
