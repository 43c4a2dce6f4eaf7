#pragma once
// The one way the application and the engine talk to the user in a box: a
// plain message (text and OK) or a question (Yes and No, no icon), both
// captioned with the application's title and modal to the main window. A
// test installs an answerer that reads each text and answers in place of
// the user; every text shown is kept in order.

#include <QList>
#include <QPointer>
#include <QString>
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
  };
  // Answers in place of the user: true for OK or Yes.
  using Answerer = std::function<bool(const Shown&)>;

  // Installs itself as the engine's message-box service.
  explicit MessageService(QWidget* owner);
  ~MessageService() override;
  MessageService(const MessageService&) = delete;
  MessageService& operator=(const MessageService&) = delete;

  void Show(const QString& text);
  // True when the answer is Yes.
  bool Ask(const QString& text);

  void SetAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }
  const QList<Shown>& History() const { return history_; }
  void ClearHistory() { history_.clear(); }

  // The engine's boxes.
  int ShowMessageBox(const std::string& text, const std::string& caption, unsigned type) override;
  void ShowAboutBox(const platform::AboutBoxContent& content) override;

 private:
  bool Present(Kind kind, const QString& text, const QString& caption);

  QPointer<QWidget> owner_;
  Answerer answerer_;
  QList<Shown> history_;
};
