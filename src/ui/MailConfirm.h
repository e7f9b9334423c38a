// The look at a document's e-mail before it goes: sender, recipients, subject, body and the
// name of the attached file, the recipients, subject and body editable. "&Send" takes the
// message as it stands (recipients that a server cannot take are refused first),
// "&Cancel" sends nothing.
#pragma once

#include <QDialog>

#include "platform/Mailer.h"
#include "platform/Prompter.h"

class QLineEdit;
class QPlainTextEdit;

namespace invarro::ui {

class TMailConfirm : public QDialog {
    Q_OBJECT
  public:
    TMailConfirm(const platform::MailMessage& message, platform::Prompter& prompter,
                 QWidget* parent = nullptr);
    // The message with the edits; good after the dialog was accepted.
    const platform::MailMessage& message() const { return message_; }
    void accept() override;

  private:
    platform::MailMessage message_;
    platform::Prompter& prompter_;
    QLineEdit* to_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
};

// Shows the message for a look; true, with message as edited, when the user sends it.
bool ConfirmMail(platform::MailMessage& message, platform::Prompter& prompter, QWidget* parent);

}  // namespace invarro::ui
