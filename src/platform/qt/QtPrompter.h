// The Prompter on Qt: every message is a QMessageBox with the message's title, text,
// icon, buttons and default button, modal over the active window.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/Prompter.h"

class QMessageBox;

namespace invarro::platform::qt {

class QtPrompter : public Prompter {
  public:
    // Boxes are shown over parent, or over the active window when there is none.
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer ask(const Message& message) override;
    void beep() override;

    // The program is ending: the box on screen closes as if Escape were pressed, and
    // every later message is answered that way without being shown.
    void abandon();
    bool abandoned() const { return abandoned_; }

    // The box for a message, not yet shown. A message without a title gets the
    // application's name.
    static std::unique_ptr<QMessageBox> BuildBox(const Message& message, QWidget* parent);
    // The answer a button of the box stands for.
    static Answer AnswerOf(int standardButton, Buttons buttons);

  private:
    QPointer<QWidget> parent_;
    QPointer<QMessageBox> showing_;
    bool abandoned_ = false;
};

}  // namespace invarro::platform::qt
