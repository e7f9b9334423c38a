#include "ui/EMailMsg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Open.h"
#include "output/EMail.h"
#include "platform/qt/QtFonts.h"
#include "ui/Labelwiz.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

constexpr const char* kHelpTopic = "E-Mail Message/Note";

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

// The typed text as lines; a text of blanks only holds no line.
std::vector<std::string> Lines(const QString& text) {
    std::vector<std::string> lines;
    if (text.trimmed().isEmpty()) return lines;
    for (const QString& line : text.split('\n'))
        lines.push_back(S(line));
    return lines;
}

}  // namespace

TEMailMsg::TEMailMsg(const CustomerWindowContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context) {
    setObjectName("TEMailMsg");
    setWindowTitle("Send E-Mail Message");
    setModal(true);
    const QFont font = platform::qt::ToQFont(EditorFont(*ctx_.company));
    auto* layout = new QVBoxLayout(this);
    auto row = [&](const char* caption, QWidget* field) {
        auto* line = new QHBoxLayout;
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        line->addWidget(label);
        line->addWidget(field, 1);
        layout->addLayout(line);
    };
    retAdd_ = new QLineEdit(this);
    retAdd_->setObjectName("EMRetAdd");
    retAdd_->setFont(font);
    retAdd_->setMaxLength(50);
    retAdd_->setText(Q(data::TrimmedText(ctx_.company->text(data::Company::EMailAddress))));
    row("Return E-Mail:", retAdd_);
    subject_ = new QLineEdit(this);
    subject_->setObjectName("EMSubject");
    subject_->setFont(font);
    row("&Subject:", subject_);
    layout->addWidget(new QLabel("Enter in the e-mail message below:", this));
    body_ = new QPlainTextEdit(this);
    body_->setObjectName("EMBody");
    body_->setFont(font);
    layout->addWidget(body_, 1);
    count_ = new QLabel(this);
    count_->setObjectName("QueueCount");
    layout->addWidget(count_);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, const char* text, auto slot) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button("QueueBtn", "&Queue", [this] { Guarded(*ctx_.prompter, [this] { openQueue(); }); });
    QPushButton* send = button("EMailBtn", "&E-Mail",
                               [this] { Guarded(*ctx_.prompter, [this] { sendMessage(); }); });
    send->setEnabled(ctx_.mailer != nullptr);
    QPushButton* help = button("HelpBtn", "Help", [this] {
        if (ctx_.openHelp) ctx_.openHelp(kHelpTopic);
    });
    help->setEnabled(bool(ctx_.openHelp));
    buttons->addStretch(1);
    button("CloseBtn", "Close", [this] { reject(); });
    layout->addLayout(buttons);
    refreshCount();
    resize(560, 420);
    subject_->setFocus();
}

void TEMailMsg::Run(const CustomerWindowContext& context, QWidget* parent) {
    TEMailMsg window(context, parent);
    window.exec();
    if (context.progress) context.progress->finish();
}

QString TEMailMsg::countText() const {
    return count_->text();
}

void TEMailMsg::refreshCount() {
    const size_t n = ctx_.labelQueue ? ctx_.labelQueue->size() : 0;
    count_->setText(QString("Records in Queue: %1").arg(n));
}

void TEMailMsg::openQueue() {
    TLabelWiz::Run(ctx_, this);
    refreshCount();
}

void TEMailMsg::sendMessage() {
    if (!ctx_.mailer) return;
    output::FreeMessage m{S(retAdd_->text()), S(subject_->text()), Lines(body_->toPlainText())};
    const size_t queued = ctx_.labelQueue ? ctx_.labelQueue->size() : 0;
    if (auto problem = output::CheckFreeMessage(m, queued)) {
        ctx_.prompter->ask(problem->message);
        switch (problem->field) {
            case output::FreeMessageField::Subject:
                subject_->setFocus();
                break;
            case output::FreeMessageField::ReturnAddress:
                retAdd_->setFocus();
                break;
            case output::FreeMessageField::Body:
                body_->setFocus();
                break;
            case output::FreeMessageField::Queue:
                break;
        }
        return;
    }
    data::ExistingFileblock customers;
    data::OpenExisting(customers, ctx_.dataFolder, data::FileKind::Customer,
                       data::CompanyPrefix(ctx_.company->ansi(data::Company::CompanyNo)),
                       *ctx_.prompter);
    if (!customers.fb) return;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    output::RunMailSession(
        *ctx_.company, *ctx_.mailer, *ctx_.prompter, progress,
        [&] {
            output::SendFreeMessage(m, *ctx_.labelQueue, customers.fb, *ctx_.company, *ctx_.mailer,
                                    *ctx_.prompter, progress);
        },
        MailLoginOf(ctx_));
}

}  // namespace invarro::ui
