#include "ui/CoSetup.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "data/Ansi.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "output/EMail.h"
#include "output/PaymentCode.h"
#include "ui/FontColorDialog.h"
#include "ui/HeaderForm.h"

namespace invarro::ui {

namespace {

constexpr const char* kSection = "CoSetup";

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QLabel* Caption(QWidget* parent, const char* text) {
    return new QLabel(QString::fromUtf8(text), parent);
}

}  // namespace

TCoSetup::TCoSetup(app::CompanySetupForm& form, const WindowServices& services, QWidget* parent)
    : QDialog(parent), form_(form), services_(services) {
    setObjectName(QStringLiteral("TCoSetup"));
    setWindowTitle(Q(form_.title()));
    setModal(true);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("PageControl1"));
    // Every tab stays in sight: the dialog is made as wide as its tab captions need.
    tabs_->setUsesScrollButtons(false);
    tabs_->addTab(buildAddressTab(), Q(app::kTabAddress));
    tabs_->addTab(buildEMailTab(), Q(app::kTabEMail));
    tabs_->addTab(buildEnvelopesTab(), Q(app::kTabEnvelopes));
    tabs_->addTab(buildFormsTab(), Q(app::kTabForms));
    tabs_->addTab(buildGeneralTab(), Q(app::kTabGeneral));
    tabs_->addTab(buildInvoicesTab(), Q(app::kTabInvoices));
    tabs_->addTab(buildSalesTab(), Q(app::kTabSalesMessage));
    tabs_->addTab(buildGraphicsTab(), Q(app::kTabGraphics));
    tabs_->addTab(buildEInvoiceTab(), QStringLiteral("E-Invoice"));

    DialogButtons buttons =
        MakeDialogButtons(this, QStringLiteral("&Save"),
                          services_.help ? std::function<void()>([this] { showHelp(); }) : nullptr);
    buttons.ok->setDefault(true);
    connect(buttons.box, &QDialogButtonBox::accepted, this, &TCoSetup::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addWidget(buttons.box);

    // The payment terms offered for the default terms.
    auto* terms = findChild<QComboBox*>(QStringLiteral("DFTerms"));
    data::TermsList list = data::LoadTerms(services_.folder);
    for (const std::string& t : list.terms)
        terms->addItem(QString::fromStdString(t));

    load(form_.initialValues());
    loadKeyringChoice();
    loadSignIn();
    loadAttachChoice();
    loadTemplates();
    loadEInvoice();
    auto* number = findChild<QLineEdit*>(QStringLiteral("CoNumb"));
    number->setEnabled(form_.numberEditable());
    for (auto which : {app::SetupFont::Editor, app::SetupFont::Manager, app::SetupFont::Envelope})
        showSample(which);
    showPreview();
    tabs_->setCurrentIndex(0);
    RestoreBounds(this, services_.folder, kSection, 800, 540);
    if (!list.ok)
        services_.prompter->inform(windowTitle().toStdString(), list.error,
                                   platform::Icon::Warning);
}

// ------------------------------------------------------------------------- controls

QLineEdit* TCoSetup::edit(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (const app::SetupControl* c = app::FindSetupControl(name)) {
        e->setMaxLength(c->limit());
        if (c->digitsOnly) {
            e->setValidator(new QRegularExpressionValidator(
                QRegularExpression(QStringLiteral("\\d{0,%1}").arg(c->limit())), e));
            e->setMaximumWidth(80);
        }
    }
    return e;
}

QWidget* TCoSetup::box(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QCheckBox(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QWidget* TCoSetup::radio(QWidget* parent, const char* name, const char* caption) {
    auto* b = new QRadioButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

QWidget* TCoSetup::fontButton(QWidget* parent, app::SetupFont which, const char* caption) {
    static constexpr const char* kNames[] = {"EdFontBtn", "MgrFontBtn", "EnvFontBtn"};
    static constexpr const char* kSamples[] = {"EdFontSample", "MgrFontSample", "EnvFontSample"};
    auto* row = new QWidget(parent);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    auto* button = new QPushButton(QString::fromUtf8(caption), row);
    button->setObjectName(QString::fromLatin1(kNames[int(which)]));
    button->setAutoDefault(false);
    auto* sample = new QLabel(row);
    sample->setObjectName(QString::fromLatin1(kSamples[int(which)]));
    sample->setMinimumWidth(180);
    samples_[int(which)] = sample;
    h->addWidget(button);
    h->addWidget(sample, 1);
    connect(button, &QPushButton::clicked, this, [this, which] { chooseFont(which); });
    return row;
}

// ------------------------------------------------------------------------- tabs

QWidget* TCoSetup::buildAddressTab() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(Caption(page, "Company Name:"), edit(page, "CName"));
    QLineEdit* number = edit(page, "CoNumb");
    number->setMaximumWidth(80);
    form->addRow(Caption(page, "Number:"), number);
    auto* address = new QVBoxLayout;
    for (const char* name : {"CAdd1", "CAdd2", "CAdd3", "CAdd4", "ExtraAdd1"})
        address->addWidget(edit(page, name));
    form->addRow(Caption(page, "Company Address / Phone:"), address);

    auto* taxes = new QGroupBox(QStringLiteral("Taxes"), page);
    auto* tf = new QFormLayout(taxes);
    tf->addRow(box(taxes, "CalcTaxes", "Calculate Taxes"));
    auto* rate = new QHBoxLayout;
    QLineEdit* rateEdit = edit(taxes, "TaxCRate");
    rateEdit->setMaximumWidth(80);
    rate->addWidget(rateEdit);
    rate->addWidget(Caption(taxes, "( Example: 8.125 )"));
    rate->addStretch(1);
    tf->addRow(Caption(taxes, "Tax Rate:"), rate);
    QLineEdit* taxName = edit(taxes, "TaxName");
    taxName->setMaximumWidth(120);
    tf->addRow(Caption(taxes, "Tax Heading:"), taxName);
    form->addRow(taxes);
    QLineEdit* currency = edit(page, "SCurrSym");
    currency->setMaximumWidth(40);
    form->addRow(Caption(page, "Currency Symbol:"), currency);
    return page;
}

QWidget* TCoSetup::buildEMailTab() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->addRow(Caption(page, "E-Mail Address (reply e-mail address):"), edit(page, "CEmailAdd"));
    form->addRow(Caption(page, "Outgoing Mail Server (SMTP):"), edit(page, "CEMailHost"));
    form->addRow(Caption(page, "EMail Port Number:"), edit(page, "EMPort"));
    auto* method = new QComboBox(page);
    method->setObjectName(QStringLiteral("EMSignIn"));
    for (app::SignInMethod m : {app::SignInMethod::Password, app::SignInMethod::Microsoft,
                                app::SignInMethod::Google, app::SignInMethod::Other})
        method->addItem(Q(app::MethodName(m)), int(m));
    form->addRow(Caption(page, "Sign in with:"), method);
    form->addRow(Caption(page, "Login/User ID:"), edit(page, "EMlogin"));
    QLineEdit* password = edit(page, "EMpword");
    password->setEchoMode(QLineEdit::Password);
    form->addRow(Caption(page, "Password:"), password);
    auto* keyring = new QCheckBox(Q(app::kKeyringOption), page);
    keyring->setObjectName(QStringLiteral("EMKeyring"));
    form->addRow(keyring);
    // The rows of a provider's sign-in; which are shown follows the choice above.
    auto line = [&](const char* name, const char* caption, int row) {
        auto* e = new QLineEdit(page);
        e->setObjectName(QString::fromLatin1(name));
        auto* label = Caption(page, caption);
        form->addRow(label, e);
        signInRows_[row] = e;
        e->setProperty("caption", QVariant::fromValue<QObject*>(label));
        return e;
    };
    line("EMClientId", "Application (client) ID:", 0);
    line("EMClientSecret", "Client secret (Google):", 1);
    line("EMAuthorizeUrl", "Authorize endpoint:", 2);
    line("EMTokenUrl", "Token endpoint:", 3);
    line("EMDeviceUrl", "Device code endpoint:", 4)
        ->setPlaceholderText(QStringLiteral("optional: sign-in from a terminal"));
    line("EMRevokeUrl", "Revocation endpoint:", 7)
        ->setPlaceholderText(QStringLiteral("optional: Sign out ends the sign-in there"));
    line("EMScope", "Scope:", 5);
    auto* accountRow = new QWidget(page);
    auto* accountLayout = new QHBoxLayout(accountRow);
    accountLayout->setContentsMargins(0, 0, 0, 0);
    auto* account = new QLabel(accountRow);
    account->setObjectName(QStringLiteral("EMAccount"));
    account->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* signInButton = new QPushButton(QStringLiteral("Sign in..."), accountRow);
    signInButton->setObjectName(QStringLiteral("EMSignInButton"));
    auto* signOutButton = new QPushButton(QStringLiteral("Sign out"), accountRow);
    signOutButton->setObjectName(QStringLiteral("EMSignOutButton"));
    accountLayout->addWidget(account, 1);
    accountLayout->addWidget(signInButton);
    accountLayout->addWidget(signOutButton);
    auto* accountCaption = Caption(page, "Signed in as:");
    form->addRow(accountCaption, accountRow);
    accountRow->setProperty("caption", QVariant::fromValue<QObject*>(accountCaption));
    signInRows_[6] = accountRow;
    connect(signInButton, &QPushButton::clicked, this, [this] { signIn(); });
    connect(signOutButton, &QPushButton::clicked, this, [this] { signOut(); });
    connect(method, &QComboBox::activated, this, [this] { showSignInMethod(true); });
    form->addRow(box(page, "DefToEMail", "Default Output to E-Mail"));
    form->addRow(box(page, "CBEMailLines", "Lines On E-Mail Invoices"));
    form->addRow(box(page, "EMInclCust", "Include customers without e-mail address"));
    auto* attach = new QCheckBox(Q(output::kAttachOption), page);
    attach->setObjectName(QStringLiteral("EMAttachPdf"));
    attach->setToolTip(QStringLiteral(
        "Invoices, quotes and statements sent by e-mail carry the document as a PDF file"));
    form->addRow(attach);
    auto* templates = new QPushButton(QStringLiteral("Message &Templates..."), page);
    templates->setObjectName(QStringLiteral("EMTemplates"));
    templates->setToolTip(QStringLiteral(
        "The subject and text of invoice, quote and statement e-mails, with merge fields"));
    connect(templates, &QPushButton::clicked, this, [this] { editTemplates(); });
    auto* templatesRow = new QHBoxLayout;
    templatesRow->addWidget(templates);
    templatesRow->addStretch(1);
    form->addRow(templatesRow);
    return page;
}

QWidget* TCoSetup::buildEInvoiceTab() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto* on = new QCheckBox(Q(data::kEInvoiceOption), page);
    on->setObjectName(QStringLiteral("EIOn"));
    on->setToolTip(
        QStringLiteral("Invoice PDFs (Send to PDF, Print to PDF, e-mail) are Factur-X "
                       "e-invoices: PDF/A-3 with the EN 16931 XML embedded"));
    form->addRow(on);
    auto line = [&](const char* name, const char* caption, int length, const char* hint) {
        auto* e = new QLineEdit(page);
        e->setObjectName(QString::fromLatin1(name));
        e->setMaxLength(length);
        e->setPlaceholderText(QString::fromUtf8(hint));
        form->addRow(Caption(page, caption), e);
        return e;
    };
    line("EIVatId", "VAT Number:", 20, "DE123456789");
    line("EITaxNo", "Tax Number:", 30, "the local tax number, when there is no VAT number");
    line("EICountry", "Country Code:", 2, "DE");
    line("EIAddress", "Electronic Address:", 80, "e-mail address or SCHEME:ID");
    line("EICurrency", "Invoice Currency:", 3, "from the currency symbol");
    line("EIIban", "IBAN:", 42, "");
    line("EIBic", "BIC:", 11, "");
    auto* code = new QCheckBox(QStringLiteral("Payment QR code on invoices and statements"), page);
    code->setObjectName(QStringLiteral("EIPayCode"));
    code->setToolTip(
        QStringLiteral("Invoices and statements with a balance to pay in euro carry the EPC code "
                       "a banking app scans: the IBAN, the amount and the RF reference"));
    form->addRow(code);
    auto* exempt = new QComboBox(page);
    exempt->setObjectName(QStringLiteral("EIExempt"));
    exempt->addItems({QStringLiteral("Z - zero-rated"), QStringLiteral("E - exempt"),
                      QStringLiteral("O - not subject to VAT")});
    form->addRow(Caption(page, "Lines Not Taxed:"), exempt);
    line("EIReason", "Exemption Reason:", 100, "for exempt lines");
    auto* paper = new QComboBox(page);
    paper->setObjectName(QStringLiteral("EIPaper"));
    paper->addItems({QStringLiteral("By the country (Letter in the US, Canada, Mexico, ...; "
                                    "A4 elsewhere)"),
                     QStringLiteral("A4"), QStringLiteral("Letter")});
    paper->setToolTip(
        QStringLiteral("The paper of the PDF files the program makes (Send to PDF, "
                       "e-mail, e-invoices); printing uses the print dialog's"));
    form->addRow(Caption(page, "PDF Paper:"), paper);
    return page;
}

data::CompanyEInvoice TCoSetup::einvoiceValues() const {
    auto text = [this](const char* name) {
        return findChild<QLineEdit*>(QString::fromLatin1(name))->text().trimmed().toStdString();
    };
    data::CompanyEInvoice e;
    e.on = findChild<QCheckBox*>(QStringLiteral("EIOn"))->isChecked();
    e.vatId = data::CompactId(text("EIVatId"));
    e.taxRegistration = text("EITaxNo");
    e.country = data::UpperText(text("EICountry"));
    e.electronicAddress = text("EIAddress");
    e.currency = data::UpperText(text("EICurrency"));
    e.iban = data::CompactId(text("EIIban"));
    e.bic = data::CompactId(text("EIBic"));
    const int category = findChild<QComboBox*>(QStringLiteral("EIExempt"))->currentIndex();
    e.exempt = category == 1   ? data::ExemptCategory::Exempt
               : category == 2 ? data::ExemptCategory::NotSubject
                               : data::ExemptCategory::ZeroRated;
    e.exemptionReason = text("EIReason");
    const int paper = findChild<QComboBox*>(QStringLiteral("EIPaper"))->currentIndex();
    if (paper > 0)
        e.paper = data::PaperName(paper == 1 ? data::PaperSize::A4 : data::PaperSize::Letter);
    return e;
}

void TCoSetup::loadEInvoice() {
    const data::IniFile ini(data::IniFilePath(services_.folder));
    // A new company starts empty, whatever a deleted company of that number kept.
    const data::CompanyEInvoice e =
        form_.mode() == app::CompanySetupForm::Mode::Add
            ? data::CompanyEInvoice{}
            : data::ReadCompanyEInvoice(ini, form_.working().text(data::Company::CompanyNo));
    auto set = [this](const char* name, const std::string& value) {
        findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QString::fromStdString(value));
    };
    findChild<QCheckBox*>(QStringLiteral("EIOn"))->setChecked(e.on);
    set("EIVatId", e.vatId);
    set("EITaxNo", e.taxRegistration);
    set("EICountry", e.country);
    set("EIAddress", e.electronicAddress);
    set("EICurrency", e.currency);
    set("EIIban", e.iban);
    set("EIBic", e.bic);
    findChild<QCheckBox*>(QStringLiteral("EIPayCode"))
        ->setChecked(form_.mode() == app::CompanySetupForm::Mode::Add ||
                     !output::PaymentCodesOff(ini, form_.working().text(data::Company::CompanyNo)));
    findChild<QComboBox*>(QStringLiteral("EIExempt"))
        ->setCurrentIndex(e.exempt == data::ExemptCategory::Exempt       ? 1
                          : e.exempt == data::ExemptCategory::NotSubject ? 2
                                                                         : 0);
    set("EIReason", e.exemptionReason);
    const auto paper = data::ParsePaper(e.paper);
    findChild<QComboBox*>(QStringLiteral("EIPaper"))
        ->setCurrentIndex(!paper                          ? 0
                          : *paper == data::PaperSize::A4 ? 1
                                                          : 2);
}

QWidget* TCoSetup::buildEnvelopesTab() {
    auto* page = new QWidget;
    auto* layout = new QHBoxLayout(page);

    auto* envelopes = new QGroupBox(QStringLiteral("Envelopes"), page);
    auto* ef = new QFormLayout(envelopes);
    ef->addRow(fontButton(envelopes, app::SetupFont::Envelope, "Font"));
    ef->addRow(Caption(envelopes, "Line Spacing:"), edit(envelopes, "ELineSpace"));
    ef->addRow(Caption(envelopes, "Left Margin:"), edit(envelopes, "LMarSet"));
    ef->addRow(Caption(envelopes, "Top Margin:"), edit(envelopes, "TopMarSet"));
    ef->addRow(Caption(envelopes, "Send Address Left: "), edit(envelopes, "SendAddLeft"));
    ef->addRow(box(envelopes, "LandSCB", "Print Envelope in Landscape Mode"));
    ef->addRow(box(envelopes, "UseShipAdd", "Use Ship-To Address"));
    ef->addRow(box(envelopes, "PCoAddr", "Print Company Return Address"));
    layout->addWidget(envelopes, 1);

    auto* aging = new QGroupBox(QStringLiteral("Aging"), page);
    auto* ag = new QGridLayout(aging);
    ag->addWidget(Caption(aging, "Days"), 0, 1);
    ag->addWidget(Caption(aging, "Caption"), 0, 2);
    for (int i = 1; i <= 3; ++i) {
        const std::string days = "CAVal" + std::to_string(i);
        const std::string caption = "CACap" + std::to_string(i);
        const std::string label = "Category " + std::to_string(i);
        ag->addWidget(Caption(aging, label.c_str()), i, 0);
        ag->addWidget(edit(aging, days.c_str()), i, 1);
        ag->addWidget(edit(aging, caption.c_str()), i, 2);
    }
    auto* note = Caption(aging, "Category 4 is all items greater than category 3.");
    note->setWordWrap(true);
    ag->addWidget(note, 4, 0, 1, 3);
    ag->setRowStretch(5, 1);
    layout->addWidget(aging, 1);
    return page;
}

QWidget* TCoSetup::buildFormsTab() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);

    auto* lines = new QGroupBox(QStringLiteral("Lines and Boxes"), page);
    auto* lf = new QFormLayout(lines);
    lf->addRow(box(lines, "HorLCB", "Vertical Lines"));
    lf->addRow(box(lines, "VLineCB", "Horizontal Lines"));
    lf->addRow(Caption(lines, "Line Widths:"), edit(lines, "LineWidthVal"));
    lf->addRow(box(lines, "SBoxCB", "Box around statements"));
    lf->addRow(box(lines, "IBoxCB", "Box around invoices"));
    lf->addRow(box(lines, "ShadeCB", "Use Shading"));
    auto* style = new QComboBox(lines);
    style->setObjectName(QStringLiteral("ComboBox1"));
    style->addItem(Q(app::kLineStyleDots));
    style->addItem(Q(app::kLineStyleSolid));
    lf->addRow(Caption(lines, "Line Style:"), style);
    lf->addRow(Caption(lines, "Line Spacing:"), edit(lines, "MaskEdit1"));
    grid->addWidget(lines, 0, 0);

    auto* include = new QGroupBox(QStringLiteral("When Printing Include..."), page);
    auto* inc = new QFormLayout(include);
    inc->addRow(box(include, "CAgeCB", "Customer Aging"));
    inc->addRow(box(include, "SMsgCB", "Sales Message"));
    inc->addRow(box(include, "PConICB", "Product Codes on invoices"));
    inc->addRow(box(include, "QuanTot", "Total Quantity on invoices"));
    inc->addRow(box(include, "CheckBox5", "Letterhead Style"));
    inc->addRow(box(include, "CNameOnForm", "Don't Print Company Name and Address"));
    inc->addRow(box(include, "BigInvNo", "Do not print large invoice numbers"));
    inc->addRow(box(include, "MoveDwnCB", "Move down totals for blank lines"));
    inc->addRow(Caption(include, "Max Lines:"), edit(include, "MaxLines"));
    grid->addWidget(include, 0, 1);

    auto* margins = new QGroupBox(QStringLiteral("Margins"), page);
    auto* mf = new QFormLayout(margins);
    mf->addRow(Caption(margins, "Box Top:"), edit(margins, "BigBxTop"));
    mf->addRow(Caption(margins, "Top Margin:"), edit(margins, "TopFormMar"));
    mf->addRow(Caption(margins, "Left Margin:"), edit(margins, "LeftFormMar"));
    mf->addRow(Caption(margins, "Move Addresses to Right an Additional:"),
               edit(margins, "PushAddr"));
    grid->addWidget(margins, 1, 0);

    auto* copies = new QGroupBox(QStringLiteral("Print with each invoice:"), page);
    auto* cf = new QFormLayout(copies);
    cf->addRow(box(copies, "PSlip", "Packing Slip"));
    cf->addRow(box(copies, "FileCpy", "File/Remittance Copy"));
    cf->addRow(Caption(copies, "Number copies:"), edit(copies, "NumCpys"));
    cf->addRow(box(copies, "CBRctPrin", "Receipt Printer Format  (receipt printer required)"));
    grid->addWidget(copies, 1, 1);

    auto* logo = new QGroupBox(QStringLiteral("Logo"), page);
    auto* lg = new QHBoxLayout(logo);
    lg->addWidget(box(logo, "UseBmpCB", "Print bitmap logo"));
    auto* logoButton = new QPushButton(QStringLiteral("Bitmap Image"), logo);
    logoButton->setObjectName(QStringLiteral("LogoBmpBtn"));
    logoButton->setAutoDefault(false);
    connect(logoButton, &QPushButton::clicked, this, &TCoSetup::chooseLogo);
    lg->addWidget(logoButton);
    QLineEdit* logoName = edit(logo, "BmpNameText");
    logoName->setReadOnly(true);
    lg->addWidget(logoName, 1);
    grid->addWidget(logo, 2, 0, 1, 2);

    auto* headers = new QPushButton(QStringLiteral("Headers / Fonts / Colors"), page);
    headers->setObjectName(QStringLiteral("HeaderBtn"));
    headers->setAutoDefault(false);
    connect(headers, &QPushButton::clicked, this, &TCoSetup::openHeaders);
    grid->addWidget(headers, 3, 0, 1, 2, Qt::AlignLeft);
    return page;
}

QWidget* TCoSetup::buildGeneralTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* dates = new QGroupBox(QStringLiteral(" Use This Date Format on Invoices "), page);
    auto* dl = new QHBoxLayout(dates);
    dl->addWidget(radio(dates, "MMDDYY", "MM/DD/YY"));
    dl->addWidget(radio(dates, "DDMMYY", "DD/MM/YY"));
    dl->addStretch(1);
    layout->addWidget(dates);

    auto* fonts = new QGroupBox(QStringLiteral("Fonts"), page);
    auto* fl = new QVBoxLayout(fonts);
    fl->addWidget(fontButton(fonts, app::SetupFont::Editor, "Invoice Editor Font/Color"));
    fl->addWidget(fontButton(fonts, app::SetupFont::Manager, "Managers Font/Color"));
    layout->addWidget(fonts);

    layout->addWidget(box(page, "SHints", "Show button hints (used only at startup)"));
    layout->addWidget(box(page, "AuditCB", "Require System Audit Trail"));
    layout->addWidget(box(page, "CBbu", "Prompt for backup on exit"));
    layout->addWidget(box(page, "ACBillAdd", "Auto-copy Billing Address to Shipping"));
    layout->addWidget(box(page, "CpyToLQue", "On new invoices, copy customer to label queue"));
    layout->addWidget(box(page, "BatchLabels", "On batch print, copy customer to label queue"));
    layout->addStretch(1);
    return page;
}

QWidget* TCoSetup::buildInvoicesTab() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    QLineEdit* next = edit(page, "NextIno");
    next->setMaximumWidth(120);
    form->addRow(Caption(page, "Next Invoice Number:"), next);
    form->addRow(box(page, "YYMMonInv", "Pre-fix invoices numbers with year and month "));
    QLineEdit* nextCust = edit(page, "CNxtCustNo");
    nextCust->setMaximumWidth(120);
    form->addRow(Caption(page, "Next Customer Number:"), nextCust);
    QLineEdit* qty = edit(page, "DefInvQuan");
    qty->setMaximumWidth(120);
    form->addRow(Caption(page, "Default Invoice Quantity:"), qty);
    auto* terms = new QComboBox(page);
    terms->setObjectName(QStringLiteral("DFTerms"));
    terms->setEditable(true);
    terms->setInsertPolicy(QComboBox::NoInsert);
    terms->lineEdit()->setMaxLength(data::kTermWidth);
    form->addRow(Caption(page, "Default Invoice Terms:"), terms);

    auto* style = new QGroupBox(QStringLiteral(" Default New Invoice Type"), page);
    auto* sl = new QHBoxLayout(style);
    sl->addWidget(radio(style, "DProd", "Line-Item Invoice"));
    sl->addWidget(radio(style, "DMemo", "Memo Invoice"));
    sl->addStretch(1);
    form->addRow(style);
    form->addRow(box(page, "PrintDupOnInv", "Print \"Duplicate Invoice\" on reprinted invoices"));
    form->addRow(box(page, "PFlag", "Set new invoice default print flag ON"));
    return page;
}

QWidget* TCoSetup::buildSalesTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Caption(page, "Enter a sales message to appear on your invoices:"));
    for (const char* name : {"SM1", "SM2", "SM3", "SM4"})
        layout->addWidget(edit(page, name));
    layout->addStretch(1);
    return page;
}

QWidget* TCoSetup::buildGraphicsTab() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(box(page, "TCBitmaps", "Main screen bitmap background"));
    auto* row = new QHBoxLayout;
    auto* button = new QPushButton(QStringLiteral("Bitmap Image"), page);
    button->setObjectName(QStringLiteral("BkgBmpBtn"));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, &TCoSetup::chooseBackground);
    row->addWidget(button);
    QLineEdit* name = edit(page, "PicName");
    name->setReadOnly(true);
    row->addWidget(name, 1);
    layout->addLayout(row);
    preview_ = new QLabel(page);
    preview_->setObjectName(QStringLiteral("BkgPreview"));
    preview_->setMinimumSize(240, 180);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setFrameShape(QFrame::StyledPanel);
    layout->addWidget(preview_, 1);
    return page;
}

// ------------------------------------------------------------------------- values

void TCoSetup::load(const app::ControlValues& values) {
    for (const auto& [name, text] : values.text) {
        QWidget* w = findChild<QWidget*>(QString::fromStdString(name));
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setText(QString::fromStdString(text));
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            if (c->isEditable())
                c->setEditText(QString::fromStdString(text));
            else
                c->setCurrentIndex(std::max(0, c->findText(QString::fromStdString(text))));
        }
    }
    for (const auto& [name, on] : values.checked)
        if (auto* b = findChild<QAbstractButton*>(QString::fromStdString(name))) b->setChecked(on);
}

app::ControlValues TCoSetup::values() const {
    app::ControlValues v;
    for (const app::SetupControl& c : app::CompanySetupControls()) {
        const std::string name(c.name);
        QWidget* w = findChild<QWidget*>(Q(c.name));
        if (c.isBox()) {
            if (auto* b = qobject_cast<QAbstractButton*>(w)) v.checked[name] = b->isChecked();
            if (c.rule == app::SetupRule::RadioPair)
                if (auto* b = findChild<QAbstractButton*>(Q(c.second)))
                    v.checked[std::string(c.second)] = b->isChecked();
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            v.text[name] = e->text().toStdString();
        } else if (auto* cb = qobject_cast<QComboBox*>(w)) {
            v.text[name] = cb->currentText().toStdString();
        }
    }
    return v;
}

QString TCoSetup::currentTabName() const {
    return tabs_->tabText(tabs_->currentIndex());
}

void TCoSetup::showTab(std::string_view tab) {
    for (int i = 0; i < tabs_->count(); ++i)
        if (tabs_->tabText(i) == Q(tab)) tabs_->setCurrentIndex(i);
}

// ------------------------------------------------------------------------- buttons

void TCoSetup::showSample(app::SetupFont which) {
    QLabel* sample = samples_[int(which)];
    const data::FontSetting f = app::ReadSetupFont(form_.working(), which);
    sample->setFont(QFontOf(f));
    QPalette pal = sample->palette();
    pal.setColor(QPalette::WindowText, QColorOf(f.colour));
    sample->setPalette(pal);
    sample->setText(QStringLiteral("%1 %2").arg(QString::fromStdString(f.name)).arg(f.size));
}

void TCoSetup::chooseFont(app::SetupFont which) {
    const data::FontSetting f = app::ReadSetupFont(form_.working(), which);
    QFont font = QFontOf(f);
    QColor colour = QColorOf(f.colour);
    static constexpr const char* kTitles[] = {"Invoice Editor Font/Color", "Managers Font/Color",
                                              "Font"};
    // The manager lists are laid out in columns of characters: fixed-pitch fonts only.
    if (TFontColorDialog::GetFontAndColor(font, colour, this,
                                          QString::fromLatin1(kTitles[int(which)]),
                                          which == app::SetupFont::Manager))
        setFont(which, FontSettingOf(font, colour));
}

void TCoSetup::setFont(app::SetupFont which, const data::FontSetting& font) {
    app::WriteSetupFont(form_.working(), which, font);
    showSample(which);
}

QString TCoSetup::chooseBitmap(const QString& current) {
    QFileDialog dialog(this, QStringLiteral("Bitmap Image"),
                       QString::fromStdString(services_.folder));
    dialog.setObjectName(QStringLiteral("BitmapDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("Bitmap File (*.bmp *.BMP)"));
    if (!current.isEmpty()) {
        const QString path =
            QString::fromStdString(app::PicturePath(services_.folder, current.toStdString()));
        if (QFileInfo::exists(path)) dialog.selectFile(path);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void TCoSetup::chooseBackground() {
    const QString chosen = chooseBitmap(findChild<QLineEdit*>(QStringLiteral("PicName"))->text());
    if (!chosen.isEmpty()) setBackground(chosen);
}

void TCoSetup::chooseLogo() {
    const QString chosen =
        chooseBitmap(findChild<QLineEdit*>(QStringLiteral("BmpNameText"))->text());
    if (!chosen.isEmpty()) setLogo(chosen);
}

void TCoSetup::setBackground(const QString& path) {
    findChild<QLineEdit*>(QStringLiteral("PicName"))
        ->setText(QString::fromStdString(StoredPictureName(services_.folder, path)));
    showPreview();
}

void TCoSetup::setLogo(const QString& path) {
    findChild<QLineEdit*>(QStringLiteral("BmpNameText"))
        ->setText(QString::fromStdString(StoredPictureName(services_.folder, path)));
}

void TCoSetup::showPreview() {
    const QString name = findChild<QLineEdit*>(QStringLiteral("PicName"))->text();
    const QString path =
        QString::fromStdString(app::PicturePath(services_.folder, name.toStdString()));
    QImageReader reader(path);
    const QImage image = path.isEmpty() ? QImage() : reader.read();
    preview_->setVisible(true);
    if (image.isNull()) {
        preview_->clear();
        preview_->setText(path.isEmpty() ? QString() : QStringLiteral("(no picture)"));
        return;
    }
    preview_->setPixmap(QPixmap::fromImage(image).scaled(
        preview_->minimumSize() - QSize(4, 4), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void TCoSetup::openHeaders() {
    THeaderForm headers(form_.working(), services_, this);
    headers.exec();
}

void TCoSetup::showHelp() {
    if (services_.help)
        services_.help(std::string(app::SetupHelpTopic(currentTabName().toStdString())));
}

void TCoSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    tabs_->setCurrentIndex(0);
    findChild<QLineEdit*>(QStringLiteral("CName"))->setFocus();
    if (form_.mode() == app::CompanySetupForm::Mode::Edit &&
        form_.backgroundMissing(services_.folder)) {
        preview_->hide();
        // Told once the dialog is up, so that the message stands in front of it.
        QTimer::singleShot(0, this, [this] {
            services_.prompter->ask(app::CompanySetupForm::BackgroundMissingMessage());
        });
    }
}

void TCoSetup::accept() {
    // The e-invoicing values are checked first: a wrong VAT or IBAN check digit, an
    // unknown code, or what an e-invoice cannot do without.
    const data::CompanyEInvoice einvoice = einvoiceValues();
    if (const std::string problem = data::CompanyEInvoiceProblem(einvoice); !problem.empty()) {
        showTab("E-Invoice");
        services_.prompter->inform(windowTitle().toStdString(), problem, platform::Icon::Warning);
        return;
    }
    app::ControlValues v = values();
    app::SetupSaveResult r = form_.save(v);
    findChild<QLineEdit*>(QStringLiteral("CoNumb"))
        ->setText(QString::fromStdString(v.textOf("CoNumb")));
    if (!r.ok) {
        showTab(r.tab);
        services_.prompter->ask(*r.message);
        if (auto* w = findChild<QWidget*>(QString::fromStdString(r.focusControl))) w->setFocus();
        return;
    }
    for (const char* name : {"CAVal1", "CAVal2", "CAVal3"})
        findChild<QLineEdit*>(QString::fromLatin1(name))
            ->setText(QString::fromStdString(v.textOf(name)));
    saveKeyringChoice();
    saveSignIn();
    saveAttachChoice();
    saveTemplates();
    if (std::string why;
        !data::ShareCompanyPictures(services_.folder,
                                    {form_.working().text(data::Company::LogoFile),
                                     form_.working().text(data::Company::BackgroundFile)},
                                    &why))
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The pictures could not be kept on the server (" + why + ").",
                                   platform::Icon::Warning);
    {
        data::IniFile ini(data::IniFilePath(services_.folder));
        std::string why;
        const std::string number = form_.working().text(data::Company::CompanyNo);
        const bool codes = findChild<QCheckBox*>(QStringLiteral("EIPayCode"))->isChecked();
        if (!data::WriteCompanyEInvoice(ini, number, einvoice, &why) ||
            !output::SetPaymentCodesOff(ini, number, !codes, &why))
            services_.prompter->inform(windowTitle().toStdString(),
                                       "The e-invoicing settings could not be kept (" + why + ").",
                                       platform::Icon::Warning);
    }
    reloadCompanyInUse_ = r.reloadCompanyInUse;
    QDialog::accept();
}

void TCoSetup::loadKeyringChoice() {
    auto* box = findChild<QCheckBox*>(QStringLiteral("EMKeyring"));
    platform::Keyring* keyring = services_.keyring;
    const bool usable = keyring && keyring->available();
    const data::IniFile ini(data::IniFilePath(services_.folder));
    const std::string number = form_.working().text(data::Company::CompanyNo);
    box->setChecked(usable && app::KeepPasswordInKeyring(ini, number, keyring));
    box->setEnabled(usable);
    // The password kept in the keyring is shown (as dots) like one kept in the record.
    std::string error;
    const std::string password =
        app::MailPassword(services_.folder, form_.working(), keyring, box->isChecked(), &error);
    findChild<QLineEdit*>(QStringLiteral("EMpword"))->setText(QString::fromStdString(password));
    if (!error.empty())
        services_.prompter->inform(
            windowTitle().toStdString(),
            "The mail password could not be read from the desktop keyring (" + error + ").",
            platform::Icon::Warning);
}

void TCoSetup::saveKeyringChoice() {
    auto* box = findChild<QCheckBox*>(QStringLiteral("EMKeyring"));
    data::IniFile ini(data::IniFilePath(services_.folder));
    const app::PasswordSaved saved = app::SaveMailPassword(
        services_.folder, form_.working(), box->isEnabled() && box->isChecked(),
        box->isEnabled() ? services_.keyring : nullptr, &ini);
    if (!saved.error.empty())
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The mail password could not be kept in the desktop keyring (" +
                                       saved.error + "). It is kept in the company record.",
                                   platform::Icon::Warning);
}

app::MailSignInSettings TCoSetup::signInValues() const {
    app::MailSignInSettings s;
    s.method =
        app::SignInMethod(findChild<QComboBox*>(QStringLiteral("EMSignIn"))->currentData().toInt());
    auto text = [this](const char* name) {
        return findChild<QLineEdit*>(QString::fromLatin1(name))->text().trimmed().toStdString();
    };
    s.clientId = text("EMClientId");
    s.clientSecret = text("EMClientSecret");
    if (s.method == app::SignInMethod::Other) {
        s.authorizeUrl = text("EMAuthorizeUrl");
        s.tokenUrl = text("EMTokenUrl");
        s.deviceUrl = text("EMDeviceUrl");
        s.revokeUrl = text("EMRevokeUrl");
        s.scope = text("EMScope");
    }
    s.account = storedSignIn_.account;
    return s;
}

void TCoSetup::loadSignIn() {
    const data::IniFile ini(data::IniFilePath(services_.folder));
    // A new company starts with a password, whatever a deleted company of that number chose.
    if (form_.mode() != app::CompanySetupForm::Mode::Add)
        storedSignIn_ = app::ReadMailSignIn(ini, form_.working().text(data::Company::CompanyNo));
    const app::MailSignInSettings& s = storedSignIn_;
    auto* method = findChild<QComboBox*>(QStringLiteral("EMSignIn"));
    method->setCurrentIndex(std::max(0, method->findData(int(s.method))));
    auto set = [this](const char* name, const std::string& value) {
        findChild<QLineEdit*>(QString::fromLatin1(name))->setText(QString::fromStdString(value));
    };
    set("EMClientId", s.clientId);
    set("EMClientSecret", s.clientSecret);
    set("EMAuthorizeUrl", s.authorizeUrl);
    set("EMTokenUrl", s.tokenUrl);
    set("EMDeviceUrl", s.deviceUrl);
    set("EMRevokeUrl", s.revokeUrl);
    set("EMScope", s.scope);
    showSignInMethod(false);
}

void TCoSetup::showAccount(const std::string& account) {
    auto* label = findChild<QLabel*>(QStringLiteral("EMAccount"));
    label->setText(account.empty() ? QStringLiteral("(not signed in)")
                                   : QString::fromStdString(account));
    findChild<QPushButton*>(QStringLiteral("EMSignOutButton"))->setEnabled(!account.empty());
}

void TCoSetup::showSignInMethod(bool chosenNow) {
    const auto m =
        app::SignInMethod(findChild<QComboBox*>(QStringLiteral("EMSignIn"))->currentData().toInt());
    const bool oauth = m != app::SignInMethod::Password;
    const bool other = m == app::SignInMethod::Other;
    const app::ProviderPreset* preset = app::PresetOf(m);
    auto show = [](QWidget* w, bool visible) {
        w->setVisible(visible);
        if (auto* caption = qobject_cast<QWidget*>(w->property("caption").value<QObject*>()))
            caption->setVisible(visible);
    };
    show(signInRows_[0], oauth);
    show(signInRows_[1], m == app::SignInMethod::Google || other);
    for (int i : {2, 3, 4, 7})
        show(signInRows_[i], other);
    show(signInRows_[5], oauth);
    show(signInRows_[6], oauth);
    auto* scope = findChild<QLineEdit*>(QStringLiteral("EMScope"));
    scope->setReadOnly(!other);
    if (preset)
        scope->setText(Q(preset->scope));
    else if (!other)
        scope->clear();
    // The password rows do not count for a provider's sign-in.
    for (const char* name : {"EMlogin", "EMpword", "EMKeyring"})
        findChild<QWidget*>(QString::fromLatin1(name))->setEnabled(!oauth);
    if (!oauth)
        findChild<QWidget*>(QStringLiteral("EMKeyring"))
            ->setEnabled(services_.keyring && services_.keyring->available());
    const bool canSignIn = services_.tokenKeyring && services_.oauth && services_.openUrl;
    findChild<QPushButton*>(QStringLiteral("EMSignInButton"))->setEnabled(canSignIn);
    // A provider chosen now brings its mail server, unless the user set another one.
    if (chosenNow && preset) {
        auto* host = findChild<QLineEdit*>(QStringLiteral("CEMailHost"));
        auto* port = findChild<QLineEdit*>(QStringLiteral("EMPort"));
        const std::string typed = host->text().trimmed().toStdString();
        bool known = typed.empty();
        for (app::SignInMethod other : {app::SignInMethod::Microsoft, app::SignInMethod::Google})
            if (typed == app::PresetOf(other)->smtpHost) known = true;
        if (known) {
            host->setText(Q(preset->smtpHost));
            port->setText(QString::number(preset->smtpPort));
        }
    }
    // The account signed in stays only while the provider and application are the same.
    const app::MailSignInSettings now = signInValues();
    const bool same =
        now.method == storedSignIn_.method && now.clientId == storedSignIn_.clientId &&
        now.authorizeUrl == storedSignIn_.authorizeUrl && now.tokenUrl == storedSignIn_.tokenUrl;
    showAccount(same ? storedSignIn_.account : std::string());
}

void TCoSetup::signIn() {
    const std::string title = windowTitle().toStdString();
    app::MailSignInSettings settings = signInValues();
    settings.account.clear();
    if (const std::string problem = app::MailSignInProblem(settings); !problem.empty()) {
        showTab(app::kTabEMail);
        services_.prompter->inform(title, problem, platform::Icon::Warning);
        return;
    }
    platform::Progress* progress = services_.progress;
    if (progress) {
        progress->start("Sign In", 2);
        progress->setLine(0, "Finish the sign-in in the web browser.");
        progress->setLine(1,
                          "Waiting for " + std::string(app::MethodName(settings.method)) + "...");
    }
    const app::SignInOutcome out = app::SignInWithBrowser(
        services_.folder, form_.working().text(data::Company::CompanyNo), settings,
        {services_.tokenKeyring, services_.oauth, app::SystemNow}, services_.openUrl, 300,
        [progress] { return progress && !progress->step(); });
    if (progress) progress->finish();
    if (!out.ok) {
        services_.prompter->inform(title, out.error, platform::Icon::Warning);
        return;
    }
    storedSignIn_ = settings;
    storedSignIn_.account = out.account;
    showAccount(out.account);
}

void TCoSetup::signOut() {
    std::string why;
    if (!app::SignOut(services_.folder, form_.working().text(data::Company::CompanyNo),
                      {services_.tokenKeyring, services_.oauth, app::SystemNow}, &why))
        services_.prompter->inform(windowTitle().toStdString(), why, platform::Icon::Warning);
    storedSignIn_.account.clear();
    showAccount({});
}

void TCoSetup::saveSignIn() {
    app::MailSignInSettings s = signInValues();
    const std::string number = form_.working().text(data::Company::CompanyNo);
    const bool same = s.method == storedSignIn_.method && s.clientId == storedSignIn_.clientId &&
                      s.authorizeUrl == storedSignIn_.authorizeUrl &&
                      s.tokenUrl == storedSignIn_.tokenUrl;
    if (!same && !storedSignIn_.account.empty()) {
        // Tokens of another provider or application are of no use any more.
        app::SignOut(services_.folder, number,
                     {services_.tokenKeyring, services_.oauth, app::SystemNow});
        s.account.clear();
    }
    data::IniFile ini(data::IniFilePath(services_.folder));
    std::string why;
    if (!app::WriteMailSignIn(ini, number, s, &why))
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The e-mail sign-in settings could not be kept (" + why + ").",
                                   platform::Icon::Warning);
}

void TCoSetup::loadAttachChoice() {
    auto* box = findChild<QCheckBox*>(QStringLiteral("EMAttachPdf"));
    // A new company starts with it on, whatever a deleted company of that number chose.
    const data::IniFile ini(data::IniFilePath(services_.folder));
    box->setChecked(form_.mode() == app::CompanySetupForm::Mode::Add ||
                    output::AttachDocumentPdf(ini, form_.working().text(data::Company::CompanyNo)));
}

void TCoSetup::saveAttachChoice() {
    auto* box = findChild<QCheckBox*>(QStringLiteral("EMAttachPdf"));
    data::IniFile ini(data::IniFilePath(services_.folder));
    std::string why;
    if (!output::SetAttachDocumentPdf(ini, form_.working().text(data::Company::CompanyNo),
                                      box->isChecked(), &why))
        services_.prompter->inform(windowTitle().toStdString(),
                                   "The choice \"" + std::string(output::kAttachOption) +
                                       "\" could not be kept (" + why + ").",
                                   platform::Icon::Warning);
}

void TCoSetup::loadTemplates() {
    // A new company starts with the standard text, whatever a deleted one of its number kept.
    if (form_.mode() == app::CompanySetupForm::Mode::Add) return;
    const data::IniFile ini(data::IniFilePath(services_.folder));
    const std::string number = form_.working().text(data::Company::CompanyNo);
    for (output::MailKind k :
         {output::MailKind::Invoice, output::MailKind::Quote, output::MailKind::Statement})
        templates_[size_t(k)] = output::StoredMailTemplate(ini, number, k);
}

void TCoSetup::editTemplates() {
    TMailTemplates editor(templates_, this);
    if (editor.exec() == QDialog::Accepted) templates_ = editor.templates();
}

void TCoSetup::saveTemplates() {
    data::IniFile ini(data::IniFilePath(services_.folder));
    const std::string number = form_.working().text(data::Company::CompanyNo);
    std::string why;
    for (output::MailKind k :
         {output::MailKind::Invoice, output::MailKind::Quote, output::MailKind::Statement})
        if (!output::WriteMailTemplate(ini, number, k, templates_[size_t(k)], &why)) {
            services_.prompter->inform(windowTitle().toStdString(),
                                       "The e-mail templates could not be kept (" + why + ").",
                                       platform::Icon::Warning);
            return;
        }
}

void TCoSetup::done(int result) {
    SaveBounds(this, services_.folder, kSection);
    QDialog::done(result);
}

}  // namespace invarro::ui
