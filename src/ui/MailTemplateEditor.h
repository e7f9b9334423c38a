// The editor of a company's e-mail templates (Company Options, E-Mail, "Message
// Templates..."): the subject and body of invoice, quote and statement e-mails, the merge
// fields they may hold listed beside them (a double-click puts one at the cursor), and
// "Standard Text" for the cover letter the company sends without a template of its own.
#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "output/MailTemplates.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace invarro::ui {

using MailTemplateSet = std::array<std::optional<output::MailTemplate>, 3>;  // by MailKind

class TMailTemplates : public QDialog {
    Q_OBJECT
  public:
    TMailTemplates(const MailTemplateSet& templates, QWidget* parent = nullptr);
    // The templates as edited; a kind left at its cover letter is nothing (the standard
    // text).
    MailTemplateSet templates() const;
    void showKind(output::MailKind kind);
    void insertField(const QString& name);
    void useStandardText();

  private:
    void keepShown();

    MailTemplateSet templates_;
    output::MailKind shown_ = output::MailKind::Invoice;
    QComboBox* kind_ = nullptr;
    QLineEdit* subject_ = nullptr;
    QPlainTextEdit* body_ = nullptr;
    QListWidget* fields_ = nullptr;
    bool subjectLast_ = false;  // the subject had the focus last: fields go there
};

}  // namespace invarro::ui
