// Every message box of the program goes through a Prompter: title, text, icon, buttons
// and default button in; the user's answer out. The desktop program shows QMessageBox;
// tests use a scripted prompter.
#pragma once

#include <string>

namespace invarro::platform {

enum class Icon { None, Information, Warning, Question, Error };
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };

struct Message {
    std::string title;
    std::string text;
    Icon icon = Icon::Information;
    Buttons buttons = Buttons::Ok;
    Answer defaultButton = Answer::Ok;
};

class Prompter {
  public:
    virtual ~Prompter() = default;
    virtual Answer ask(const Message& message) = 0;
    virtual void beep() {}

    // Shorthands for the common shapes.
    void inform(const std::string& title, const std::string& text, Icon icon = Icon::Information) {
        ask(Message{title, text, icon, Buttons::Ok, Answer::Ok});
    }
    bool yesNo(const std::string& title, const std::string& text,
               Answer defaultButton = Answer::Yes, Icon icon = Icon::Question) {
        return ask(Message{title, text, icon, Buttons::YesNo, defaultButton}) == Answer::Yes;
    }
    bool okCancel(const std::string& title, const std::string& text,
                  Answer defaultButton = Answer::Ok, Icon icon = Icon::Question) {
        return ask(Message{title, text, icon, Buttons::OkCancel, defaultButton}) == Answer::Ok;
    }
};

}  // namespace invarro::platform
