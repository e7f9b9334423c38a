#include "ui/MailTemplateEditor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// Remembers which of the two text fields the user was in.
class FocusNote : public QObject {
  public:
    FocusNote(QObject* parent, bool& subjectLast, QWidget* subject)
        : QObject(parent), subjectLast_(subjectLast), subject_(subject) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) subjectLast_ = watched == subject_;
        return false;
    }

  private:
    bool& subjectLast_;
    QWidget* subject_;
};

}  // namespace

TMailTemplates::TMailTemplates(const MailTemplateSet& templates, QWidget* parent)
    : QDialog(parent), templates_(templates) {
    setObjectName(QStringLiteral("TMailTemplates"));
    setWindowTitle(QStringLiteral("E-Mail Message Templates"));
    setModal(true);

    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("MTKind"));
    kind_->addItem(QStringLiteral("Invoice"), int(output::MailKind::Invoice));
    kind_->addItem(QStringLiteral("Quote"), int(output::MailKind::Quote));
    kind_->addItem(QStringLiteral("Statement"), int(output::MailKind::Statement));
    subject_ = new QLineEdit(this);
    subject_->setObjectName(QStringLiteral("MTSubject"));
    body_ = new QPlainTextEdit(this);
    body_->setObjectName(QStringLiteral("MTBody"));
    body_->setTabChangesFocus(true);
    auto* note = new FocusNote(this, subjectLast_, subject_);
    subject_->installEventFilter(note);
    body_->installEventFilter(note);

    fields_ = new QListWidget(this);
    fields_->setObjectName(QStringLiteral("MTFields"));
    fields_->setAccessibleName(QStringLiteral("Merge fields"));
    for (const output::MergeField& f : output::MergeFields()) {
        auto* item = new QListWidgetItem(QStringLiteral("{%1}").arg(Q(f.name)), fields_);
        item->setToolTip(Q(f.meaning));
        item->setData(Qt::UserRole, Q(f.name));
    }
    fields_->setMaximumWidth(fields_->sizeHintForColumn(0) + 32);
    connect(fields_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { insertField(item->data(Qt::UserRole).toString()); });

    auto* form = new QFormLayout;
    auto row = [&](const char* caption, QWidget* field) {
        auto* l = new QLabel(QString::fromUtf8(caption), this);
        l->setBuddy(field);
        form->addRow(l, field);
    };
    row("&Document:", kind_);
    row("&Subject:", subject_);
    auto* bodyLabel = new QLabel(QStringLiteral("&Message:"), this);
    bodyLabel->setBuddy(body_);
    auto* fieldsLabel = new QLabel(QStringLiteral("Merge &fields:"), this);
    fieldsLabel->setBuddy(fields_);
    auto* meaning = new QLabel(this);
    meaning->setObjectName(QStringLiteral("MTMeaning"));
    meaning->setWordWrap(true);
    meaning->setText(QStringLiteral(
        "Double-click a field to put it at the cursor. A line of the message whose field has "
        "no value (the due date of terms without a number of days) is left out. Without a "
        "template of its own the company sends the standard cover letter when the document "
        "goes as PDF, and the document as text when it does not."));

    auto* standard = new QPushButton(QStringLiteral("S&tandard Text"), this);
    standard->setObjectName(QStringLiteral("MTStandard"));
    connect(standard, &QPushButton::clicked, this, &TMailTemplates::useStandardText);

    DialogButtons buttons = MakeDialogButtons(this, QStringLiteral("&OK"), nullptr);
    buttons.box->removeButton(buttons.help);
    delete buttons.help;
    buttons.box->addButton(standard, QDialogButtonBox::ResetRole);
    connect(buttons.box, &QDialogButtonBox::accepted, this, [this] {
        keepShown();
        accept();
    });

    auto* texts = new QVBoxLayout;
    texts->addLayout(form);
    texts->addWidget(bodyLabel);
    texts->addWidget(body_, 1);
    // What the chosen field stands for.
    auto* fieldMeaning = new QLabel(this);
    fieldMeaning->setObjectName(QStringLiteral("MTFieldMeaning"));
    fieldMeaning->setWordWrap(true);
    fieldMeaning->setMaximumWidth(fields_->maximumWidth());
    connect(fields_, &QListWidget::currentItemChanged, this, [fieldMeaning](QListWidgetItem* item) {
        fieldMeaning->setText(item ? item->toolTip() : QString());
    });
    fields_->setCurrentRow(0);
    auto* side = new QVBoxLayout;
    side->addWidget(fieldsLabel);
    side->addWidget(fields_, 1);
    side->addWidget(fieldMeaning);
    auto* columns = new QHBoxLayout;
    columns->addLayout(texts, 1);
    columns->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addWidget(meaning);
    layout->addWidget(buttons.box);

    connect(kind_, &QComboBox::activated, this, [this] {
        keepShown();
        showKind(output::MailKind(kind_->currentData().toInt()));
    });
    showKind(output::MailKind::Invoice);
    resize(720, 480);
}

void TMailTemplates::keepShown() {
    templates_[size_t(shown_)] =
        output::MailTemplate{subject_->text().toStdString(), body_->toPlainText().toStdString()};
}

void TMailTemplates::showKind(output::MailKind kind) {
    shown_ = kind;
    kind_->setCurrentIndex(kind_->findData(int(kind)));
    const output::MailTemplate t = templates_[size_t(kind)].value_or(output::CoverLetter(kind));
    subject_->setText(QString::fromStdString(t.subject));
    body_->setPlainText(QString::fromStdString(t.body));
}

void TMailTemplates::insertField(const QString& name) {
    const QString field = QStringLiteral("{%1}").arg(name);
    if (subjectLast_) {
        subject_->insert(field);
        subject_->setFocus();
    } else {
        body_->insertPlainText(field);
        body_->setFocus();
    }
}

void TMailTemplates::useStandardText() {
    const output::MailTemplate t = output::CoverLetter(shown_);
    subject_->setText(QString::fromStdString(t.subject));
    body_->setPlainText(QString::fromStdString(t.body));
}

MailTemplateSet TMailTemplates::templates() const {
    MailTemplateSet out = templates_;
    for (size_t i = 0; i < out.size(); ++i)
        if (out[i] && *out[i] == output::CoverLetter(output::MailKind(i))) out[i].reset();
    return out;
}

}  // namespace invarro::ui
