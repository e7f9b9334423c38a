#include "platform/qt/QtPrompter.h"

#include "data/Texts.h"

#include <QApplication>
#include <QMessageBox>

namespace invarro::platform::qt {

namespace {

QMessageBox::Icon IconOf(Icon icon) {
    switch (icon) {
        case Icon::None:
            return QMessageBox::NoIcon;
        case Icon::Information:
            return QMessageBox::Information;
        case Icon::Warning:
            return QMessageBox::Warning;
        case Icon::Question:
            return QMessageBox::Question;
        case Icon::Error:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ButtonOf(Answer answer) {
    switch (answer) {
        case Answer::Ok:
            return QMessageBox::Ok;
        case Answer::Cancel:
            return QMessageBox::Cancel;
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButtons ButtonsOf(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return QMessageBox::Ok;
        case Buttons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case Buttons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case Buttons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

// What Escape or the window's close button answers.
Answer EscapeAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::YesNo:
            return Answer::No;
        case Buttons::OkCancel:
        case Buttons::YesNoCancel:
            break;
    }
    return Answer::Cancel;
}

bool Offers(Buttons buttons, Answer answer) {
    return ButtonsOf(buttons).testFlag(ButtonOf(answer));
}

}  // namespace

std::unique_ptr<QMessageBox> QtPrompter::BuildBox(const Message& message, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    QString title = QString::fromStdString(message.title);
    if (title.isEmpty())
        title = QString::fromUtf8(data::kAppTitle.data(), int(data::kAppTitle.size()));
    box->setWindowTitle(title);
    box->setText(QString::fromStdString(message.text));
    box->setTextFormat(Qt::PlainText);
    box->setIcon(IconOf(message.icon));
    box->setStandardButtons(ButtonsOf(message.buttons));
    Answer def = Offers(message.buttons, message.defaultButton)
                     ? message.defaultButton
                     : (message.buttons == Buttons::YesNo || message.buttons == Buttons::YesNoCancel
                            ? Answer::Yes
                            : Answer::Ok);
    box->setDefaultButton(ButtonOf(def));
    box->setEscapeButton(ButtonOf(EscapeAnswer(message.buttons)));
    return box;
}

Answer QtPrompter::AnswerOf(int standardButton, Buttons buttons) {
    switch (standardButton) {
        case QMessageBox::Ok:
            return Answer::Ok;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return EscapeAnswer(buttons);
    }
}

Answer QtPrompter::ask(const Message& message) {
    if (abandoned_) return EscapeAnswer(message.buttons);
    QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
    auto box = BuildBox(message, parent);
    // The cursor may be the hourglass of a long run; a question wants the arrow.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    showing_ = box.get();
    box->exec();
    showing_ = nullptr;
    if (busy) QApplication::restoreOverrideCursor();
    QAbstractButton* clicked = abandoned_ ? nullptr : box->clickedButton();
    return AnswerOf(clicked ? int(box->standardButton(clicked)) : int(QMessageBox::NoButton),
                    message.buttons);
}

void QtPrompter::abandon() {
    abandoned_ = true;
    if (showing_) showing_->reject();
}

void QtPrompter::beep() {
    QApplication::beep();
}

}  // namespace invarro::platform::qt
