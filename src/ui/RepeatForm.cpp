#include "ui/RepeatForm.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "data/Ansi.h"
#include "data/Texts.h"
#include "platform/qt/QtFonts.h"
#include "ui/CalendarForm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
std::string S(const QString& s) {
    return s.toStdString();
}

}  // namespace

QLineEdit* MakeDateField(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setInputMask("99/99/9999;_");
    e->setMaximumWidth(110);
    return e;
}

QPushButton* MakeCalendarButton(QWidget* parent, const char* name, QLineEdit* field,
                                data::DateOrder order, const data::Date& today) {
    auto* b = new QPushButton("...", parent);
    b->setObjectName(name);
    b->setToolTip(QStringLiteral("Choose the date from a calendar"));
    b->setAccessibleName(QStringLiteral("Choose the date from a calendar"));
    b->setMaximumWidth(32);
    QObject::connect(b, &QPushButton::clicked, parent, [=] {
        const data::Date preset = data::ParseUserDate(S(field->text()), order).value_or(today);
        if (auto d = TCalendarForm::Pick(parent, "Date Selection", preset, order))
            field->setText(Q(data::FormatUserDate(*d, order)));
    });
    return b;
}

// ============================================================================ TRepeatForm

TRepeatForm::TRepeatForm(invoicing::RepeatSetupEntry entry, data::DateOrder order,
                         platform::Prompter& prompter, std::function<void(const std::string&)> help,
                         QWidget* parent)
    : QDialog(parent), entry_(std::move(entry)), order_(order), prompter_(prompter) {
    setObjectName("TRepeatForm");
    setWindowTitle(Q(invoicing::kSetupCaption));
    auto* layout = new QVBoxLayout(this);
    for (const auto& [name, text] :
         {std::pair{"Label1", entry_.invoiceLabel}, std::pair{"Label2", entry_.dateLabel},
          std::pair{"Label3", entry_.customerLabel}}) {
        auto* l = new QLabel(Q(text), this);
        l->setObjectName(name);
        layout->addWidget(l);
    }
    panel_ = new QWidget(this);
    panel_->setObjectName("CheckPanel");
    auto* panelLayout = new QHBoxLayout(panel_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    CheckBox1 = new QCheckBox("Generate Invoices from this master record", panel_);
    CheckBox1->setObjectName("CheckBox1");
    panelLayout->addWidget(CheckBox1);
    layout->addWidget(panel_);
    Label8 = new QLabel(Q(entry_.countLabel), this);
    Label8->setObjectName("Label8");
    layout->addWidget(Label8);

    auto* every = new QHBoxLayout;
    every->addWidget(new QLabel("Every:", this));
    NumDays = new QLineEdit(Q(entry_.every), this);
    NumDays->setObjectName("NumDays");
    NumDays->setMaxLength(3);
    NumDays->setMaximumWidth(50);
    every->addWidget(NumDays);
    RBMonths = new QRadioButton("Month(s)", this);
    RBMonths->setObjectName("RBMonths");
    RBDays = new QRadioButton("Days", this);
    RBDays->setObjectName("RBDays");
    every->addWidget(RBMonths);
    every->addWidget(RBDays);
    every->addStretch(1);
    layout->addLayout(every);

    auto* next = new QHBoxLayout;
    next->addWidget(new QLabel("Next Scheduled Creation Date:", this));
    EndDate = MakeDateField(this, "EndDate");
    EndDate->setText(Q(entry_.nextDate));
    next->addWidget(EndDate);
    const data::Date today =
        data::ParseUserDate(entry_.nextDate, order).value_or(data::Date{2024, 1, 1});
    Cal2button = MakeCalendarButton(this, "Cal2button", EndDate, order, today);
    next->addWidget(Cal2button);
    next->addStretch(1);
    layout->addLayout(next);

    DialogButtons buttons = MakeDialogButtons(this, "OK", [help] {
        if (help) help(std::string(invoicing::kSetupHelp));
    });
    OKButton = buttons.ok;
    OKButton->setObjectName("OKButton");
    buttons.cancel->setText("&Cancel");
    connect(buttons.box, &QDialogButtonBox::accepted, this, &TRepeatForm::accept);
    layout->addWidget(buttons.box);

    CheckBox1->setChecked(entry_.generate);
    CheckBox1->setEnabled(entry_.boxEnabled);
    (entry_.unit == invoicing::RepeatUnit::Months ? RBMonths : RBDays)->setChecked(true);
    panel_->setVisible(entry_.panelVisible);
    Label8->setVisible(!entry_.panelVisible);
    auto follow = [this] {
        const bool on = CheckBox1->isChecked();
        NumDays->setEnabled(on);
        RBMonths->setEnabled(on);
        RBDays->setEnabled(on);
        OKButton->setEnabled(on);
    };
    connect(CheckBox1, &QCheckBox::toggled, this, follow);
    follow();
}

invoicing::RepeatSetupEntry TRepeatForm::entry() const {
    invoicing::RepeatSetupEntry e = entry_;
    e.generate = CheckBox1->isChecked();
    e.every = S(NumDays->text());
    e.unit = RBMonths->isChecked() ? invoicing::RepeatUnit::Months : invoicing::RepeatUnit::Days;
    e.nextDate = S(EndDate->text());
    return e;
}

void TRepeatForm::accept() {
    switch (invoicing::CheckSetupEntry(entry(), order_, prompter_)) {
        case invoicing::SetupFocus::Every:
            NumDays->setFocus();
            return;
        case invoicing::SetupFocus::NextDate:
            EndDate->setFocus();
            return;
        case invoicing::SetupFocus::None:
            break;
    }
    QDialog::accept();
}

// ========================================================================== TSelectRepeat

TSelectRepeat::TSelectRepeat(const CustomerWindowContext& context, invoicing::SaveFiles files,
                             QWidget* parent)
    : QDialog(parent),
      ctx_(context),
      files_(std::move(files)),
      order_(data::DateOrderFromCode(context.company->text(data::Company::DateFormatCode))) {
    setObjectName("TSelectRepeat");
    setWindowTitle(Q(invoicing::kWizardCaption));
    auto* layout = new QVBoxLayout(this);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(
        new QLabel("Search for invoices due to be created through this date:", this));
    EndDate = MakeDateField(this, "EndDate");
    EndDate->setText(Q(data::FormatUserDate(files_.today, order_)));
    searchRow->addWidget(EndDate);
    searchRow->addWidget(MakeCalendarButton(this, "Calbutton", EndDate, order_, files_.today));
    SearchBtn = new QPushButton("&Search", this);
    SearchBtn->setObjectName("SearchBtn");
    searchRow->addWidget(SearchBtn);
    searchRow->addStretch(1);
    layout->addLayout(searchRow);

    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName("RichEdit1");
    RichEdit1->setAccessibleName(QStringLiteral("Invoices due"));
    RichEdit1->setReadOnly(true);
    RichEdit1->setLineWrapMode(QPlainTextEdit::NoWrap);
    RichEdit1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    RichEdit1->setMinimumSize(600, 200);
    layout->addWidget(RichEdit1, 1);

    auto* form = new QFormLayout;
    auto* dateRow = new QHBoxLayout;
    NewInvDate = MakeDateField(this, "NewInvDate");
    NewInvDate->setText(EndDate->text());
    dateRow->addWidget(NewInvDate);
    dateRow->addWidget(MakeCalendarButton(this, "CalButton2", NewInvDate, order_, files_.today));
    dateRow->addStretch(1);
    form->addRow("Invoice Date:", dateRow);
    InvComm = new QLineEdit(Q(invoicing::kDefaultReference), this);
    InvComm->setObjectName("InvComm");
    InvComm->setMaxLength(60);
    form->addRow("Billing Reference/Comments:", InvComm);
    layout->addLayout(form);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setValue(0);
    layout->addWidget(ProgressBar1);
    Label3 = new QLabel(Q(invoicing::LastRunText(*ctx_.company)), this);
    Label3->setObjectName("Label3");
    layout->addWidget(Label3);

    CreateBtn =
        AddRunButtons(this, layout, "Create In&voices", {"CreateBtn", "ExitButn", "HelpBtn"},
                      ctx_.openHelp, std::string(invoicing::kWizardCaption));

    connect(SearchBtn, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [this] { search(); }); });
    connect(CreateBtn, &QPushButton::clicked, this,
            [this] { Guarded(*ctx_.prompter, [this] { createInvoices(); }); });
    RestoreBounds(this, ctx_.dataFolder, kBoundsSection, 700, 420);
}

void TSelectRepeat::done(int result) {
    SaveBounds(this, ctx_.dataFolder, kBoundsSection);
    QDialog::done(result);
}

void TSelectRepeat::search() {
    Label3->setText("Working...");
    Label3->repaint();
    CreateBtn->setEnabled(false);
    due_.clear();
    RichEdit1->clear();
    auto limit = data::ParseUserDate(S(EndDate->text()), order_);
    if (!limit) {
        ctx_.prompter->inform("Invoice Date", std::string(invoicing::kInvalidStartDate),
                              platform::Icon::Warning);
        Label3->setText(Q(invoicing::LastRunText(*ctx_.company)));
        return;
    }
    due_ = invoicing::FindDueMasters(files_.invoices, *limit, order_);
    QStringList text{Q(invoicing::DueListHeader())};
    for (const invoicing::DueMaster& m : due_)
        text << Q(invoicing::DueListLine(m));
    RichEdit1->setPlainText(text.join('\n'));
    Label3->setText(Q(invoicing::DueSummary(due_)));
    NewInvDate->setText(Q(data::FormatUserDate(*limit, order_)));
    if (due_.empty()) {
        ctx_.prompter->inform(std::string(invoicing::kNoneDueTitle),
                              std::string(invoicing::kNoneDue));
        return;
    }
    CreateBtn->setEnabled(true);
}

void TSelectRepeat::createInvoices() {
    if (due_.empty()) return;
    if (!data::ParseUserDate(S(NewInvDate->text()), order_)) {
        ctx_.prompter->inform("Invoice Date", std::string(invoicing::kInvalidStartDate),
                              platform::Icon::Warning);
        NewInvDate->setFocus();
        return;
    }
    CreateBtn->setEnabled(false);
    ProgressBar1->setRange(0, int(due_.size()));
    invoicing::GenerationRun run{S(NewInvDate->text()), S(InvComm->text())};
    outcome_ = invoicing::GenerateRepeatInvoices(files_, due_, run, order_, *ctx_.prompter,
                                                 [this](int done) {
                                                     ProgressBar1->setValue(done);
                                                     ProgressBar1->repaint();
                                                 });
    ProgressBar1->setValue(ProgressBar1->maximum());
    Label3->setText("Complete.");
    ctx_.prompter->inform(std::string(invoicing::kCompleteTitle), outcome_.message);
    accept();
}

bool TSelectRepeat::Run(const CustomerWindowContext& context, QWidget* parent) {
    const std::string prefix = data::CompanyPrefix(context.company->text(data::Company::CompanyNo));
    platform::Prompter& prompter = *context.prompter;
    invoicing::RunFiles open(context.dataFolder, prefix, prompter, true);
    if (!open.ok()) {
        prompter.inform(std::string(invoicing::kWizardCaption),
                        std::string(invoicing::kRunFilesUnavailable), platform::Icon::Error);
        return false;
    }
    platform::SystemClock system;
    const platform::Clock& clock = context.clock ? *context.clock : system;
    invoicing::SaveFiles files = open.saveFiles(*context.company, data::Today(clock));
    TSelectRepeat wizard(context, files, parent);
    wizard.exec();
    return true;
}

}  // namespace invarro::ui
