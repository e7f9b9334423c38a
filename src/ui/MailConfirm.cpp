#include "ui/MailConfirm.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "output/EMail.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// "invoice-1043.pdf (48 KB)"
QString AttachmentText(const std::vector<platform::MailAttachment>& files) {
    if (files.empty()) return QStringLiteral("(none: the document is in the text)");
    QStringList names;
    for (const platform::MailAttachment& a : files)
        names << QStringLiteral("%1 (%2 KB)")
                     .arg(Q(a.fileName))
                     .arg(std::max<qsizetype>(1, qsizetype(a.bytes.size() + 1023) / 1024));
    return names.join(QStringLiteral(", "));
}

}  // namespace

TMailConfirm::TMailConfirm(const platform::MailMessage& message, platform::Prompter& prompter,
                           QWidget* parent)
    : QDialog(parent), message_(message), prompter_(prompter) {
    setObjectName(QStringLiteral("TMailConfirm"));
    setWindowTitle(QStringLiteral("Send by E-Mail"));
    setModal(true);
    auto* form = new QFormLayout;
    auto label = [&](const char* caption, QWidget* field) {
        auto* l = new QLabel(QString::fromUtf8(caption), this);
        l->setBuddy(field);
        form->addRow(l, field);
    };
    auto* from = new QLabel(this);
    from->setObjectName(QStringLiteral("MCFrom"));
    from->setTextInteractionFlags(Qt::TextSelectableByMouse);
    from->setText(message.fromName.empty() ? Q(message.from)
                                           : Q(message.fromName) + QStringLiteral(" <") +
                                                 Q(message.from) + QStringLiteral(">"));
    label("From:", from);
    to_ = new QLineEdit(this);
    to_->setObjectName(QStringLiteral("MCTo"));
    QStringList to;
    for (const std::string& r : message.recipients)
        to << Q(r);
    to_->setText(to.join(QStringLiteral(", ")));
    label("&To:", to_);
    subject_ = new QLineEdit(Q(message.subject), this);
    subject_->setObjectName(QStringLiteral("MCSubject"));
    label("&Subject:", subject_);
    auto* attached = new QLabel(AttachmentText(message.attachments), this);
    attached->setObjectName(QStringLiteral("MCAttachment"));
    label("Attachment:", attached);
    body_ = new QPlainTextEdit(this);
    body_->setObjectName(QStringLiteral("MCBody"));
    QStringList lines;
    for (const std::string& l : message.body)
        lines << Q(l);
    body_->setPlainText(lines.join(QLatin1Char('\n')));
    // The document as text lines up its columns only in a fixed font.
    if (message.attachments.empty())
        body_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    body_->setTabChangesFocus(true);
    auto* bodyLabel = new QLabel(QStringLiteral("&Message:"), this);
    bodyLabel->setBuddy(body_);

    DialogButtons buttons = MakeDialogButtons(this, QStringLiteral("&Send"), nullptr);
    buttons.box->removeButton(buttons.help);
    delete buttons.help;
    buttons.ok->setDefault(true);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &TMailConfirm::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(bodyLabel);
    layout->addWidget(body_, 1);
    layout->addWidget(buttons.box);
    resize(640, 520);
    body_->setFocus();
}

void TMailConfirm::accept() {
    const std::vector<std::string> to = output::SplitAddressList(to_->text().toStdString());
    if (to.empty() || !std::all_of(to.begin(), to.end(), output::UsableAddress)) {
        prompter_.inform(windowTitle().toStdString(),
                         "The recipients are not usable e-mail addresses. Separate several "
                         "addresses with a comma.",
                         platform::Icon::Warning);
        to_->setFocus();
        return;
    }
    message_.recipients = to;
    // A typed line break cannot reach the subject line; the field has none, but a paste
    // may carry other control characters.
    QString subject = subject_->text();
    for (QChar& c : subject)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    message_.subject = subject.toStdString();
    message_.body.clear();
    for (const QString& line : body_->toPlainText().split(QLatin1Char('\n')))
        message_.body.push_back(line.toStdString());
    QDialog::accept();
}

bool ConfirmMail(platform::MailMessage& message, platform::Prompter& prompter, QWidget* parent) {
    TMailConfirm dialog(message, prompter, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    message = dialog.message();
    return true;
}

}  // namespace invarro::ui
