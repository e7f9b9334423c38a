#include "ui/InvList.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Startup.h"
#include "customers/Find.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "storage/BTree.h"
#include "ui/DesktopTheme.h"
#include "ui/FindForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvOutput.h"
#include "ui/RepeatForm.h"
#include "ui/ThemeIcons.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using data::Invoice;
using platform::Icon;

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// The window's background while the customer filter is on.
const QColor kFilterColour(255, 250, 205);
const QColor kDarkFilterColour(78, 70, 30);  // the same yellow under a dark theme

}  // namespace

// =============================================================================== Tinvlist

Tinvlist::Tinvlist(const InvoiceWindowContext& context, QWidget* parent)
    : QDialog(parent), ctx_(context), frame_(this, "Tinvlist", ctx_.dataFolder, kBoundsSection) {
    setAutoFillBackground(true);
    UseClockOrOwn(ctx_.clock, ownClock_);
    files_ = std::make_unique<invoicing::InvoiceFiles>(
        invoicing::InvoiceFiles{ctx_.dataFolder, *ctx_.company, nullptr, nullptr, nullptr});
    updateTitle();

    // The header panel in the company's editor font.
    auto headerLabel = [&](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        ApplyEditorFont(l, *ctx_.company);
        return l;
    };
    cName_ = headerLabel("CName");
    // A long company name is cut rather than widening the window.
    cName_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto* arCaption = headerLabel("ARLabel");
    arCaption->setText("A/R:");
    arBal_ = headerLabel("ARBal");
    cFilter_ = new QLabel(this);
    cFilter_->setObjectName("CFilter");
    refreshHeader();

    list_ = new TIndexBrowser(this);
    SetUpManagerList(list_, "InvBrowser1", *ctx_.company, ctx_.prompter);
    list_->setAccessibleName(QStringLiteral("Invoices, quotes and payments"));
    connect(list_, &TIndexBrowser::DblClick, this, &Tinvlist::rowAction);
    connect(list_, &TIndexBrowser::SortRequested, this,
            [this](int keyNo) { guarded([&] { setDisplayKey(keyNo); }); });
    connect(list_, &TIndexBrowser::KeyDown, this, [this](int key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) rowAction();
        if (key == Qt::Key_Delete) guarded([&] { deleteInvoice(); });
    });

    const ManagerStatusBar bar = MakeManagerStatusBar(this, 110);
    QStatusBar* status = bar.bar;
    countPanel_ = bar.count;
    messagePanel_ = bar.message;
    messagePanel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    timerPanel_ = new QLabel(this);
    timerPanel_->setObjectName("TimerPanel");
    status->addPermanentWidget(timerPanel_);
    setMessage(Q(invoicing::kIdleMessage));
    setTimerRunning(invoicing::EditorWorkTimer().running());

    buildMenus();
    auto* header = new QHBoxLayout;
    header->addWidget(cName_, 1);
    header->addWidget(arCaption);
    header->addWidget(arBal_);
    frame_.addHeading(header);
    frame_.addHeading(cFilter_);
    applyFilterLook();
    frame_.finish(list_, status, kDesignedWidth, kDesignedHeight, [this] {
        return files_->invoices ? storage::UsedRecordCount(files_->invoices) : 0;
    });
}

Tinvlist::~Tinvlist() {
    // The browser reads the invoice file: it goes first.
    delete list_;
    list_ = nullptr;
    for (storage::Fileblock** fb : {&files_->invoices, &files_->lines, &files_->memos})
        if (*fb) storage::CloseFileblock(*fb);
}

void Tinvlist::updateTitle() {
    setWindowTitle(ctx_.emailMode ? "Invoice Manager - (E-Mail Mode)" : "Invoice Manager");
}

QAction* Tinvlist::action(const char* name, const QString& text, void (Tinvlist::*slot)()) {
    if (!slot) return MakeCommand(this, name, text, nullptr);
    return MakeCommand(this, name, text, [this, slot] { guarded([&] { (this->*slot)(); }); });
}

void Tinvlist::buildMenus() {
    const bool editor = bool(ctx_.editor);
    QAction* newAct = action("AddInvoice", "&New", editor ? &Tinvlist::addInvoice : nullptr);
    QAction* editAct = action("EditInvoice", "&Edit", editor ? &Tinvlist::editInvoice : nullptr);
    QAction* deleteAct = action("InvDelete", "&Delete", &Tinvlist::deleteInvoice);
    QAction* findAct = action("FindAct", "&Find", &Tinvlist::findInvoice);
    viewAct_ = action("ViewAct", "&View", &Tinvlist::viewInvoice);
    QAction* custAct = action("CustDataAct", "C&ustomer Data", &Tinvlist::quickView);
    // In e-mail mode Print and Batch Print mail the documents (given a mail client);
    // packing slips always go to the printer.
    const bool printing = !ctx_.emailMode || ctx_.mailer;
    QAction* printAct =
        action("PrintAct", "&Print Invoice", printing ? &Tinvlist::printInvoice : nullptr);
    QAction* slipAct = action("PackSlipAct", "Print Packing &Slip", &Tinvlist::printPackingSlip);
    QAction* pdfAct = action("PdfAct", "Se&nd to PDF", &Tinvlist::sendToPdf);
    QAction* batchAct =
        action("BatchPrintAct", "&Batch Print", printing ? &Tinvlist::batchPrint : nullptr);
    QAction* setupAct = action("PrinterSetupAct", "Printer Setup", &Tinvlist::printerSetup);
    QAction* repeatAct = action("RepeatSetupAct", "&Repeat Billing Setup", &Tinvlist::repeatSetup);
    QAction* filterAct = action("FilterAct", "Filter On/Off", &Tinvlist::toggleFilter);
    QAction* windowAct = action("PrintWindowAct", "Print &Window", &Tinvlist::printWindow);
    QAction* helpAct = action("OverviewAct", "&Overview", &Tinvlist::overview);
    helpAct->setEnabled(bool(ctx_.openHelp));
    QAction* closeAct = MakeCloseCommand(this);
    SetCommandIcons({{newAct, "New"},
                     {editAct, "Edit"},
                     {deleteAct, "Delete"},
                     {findAct, "Find"},
                     {viewAct_, "View"},
                     {printAct, "Print"},
                     {slipAct, "Print"},
                     {pdfAct, "Send to PDF"},
                     {batchAct, "Print"},
                     {setupAct, "Printer Setup"},
                     {repeatAct, "Repeat Billing Wizard"},
                     {filterAct, "Filter"},
                     {windowAct, "Print"},
                     {helpAct, "Help"},
                     {closeAct, "Close"}});

    frame_.addShortcuts({{newAct, QKeySequence::New},
                         {findAct, QKeySequence::Find},
                         {printAct, QKeySequence::Print},
                         {deleteAct, QKeySequence(Qt::Key_Delete)},
                         {helpAct, QKeySequence::HelpContents}});
    frame_.addMenu("&Invoice", {newAct, editAct, deleteAct, nullptr, findAct, viewAct_, custAct,
                                nullptr, printAct, slipAct, pdfAct, batchAct, setupAct, nullptr,
                                repeatAct, nullptr, windowAct, closeAct});
    QMenu* display = frame_.addMenu("&Display", {});
    for (const invoicing::DisplayOrder& order : invoicing::kDisplayOrders) {
        auto* a = new QAction(Q(order.menuText), this);
        a->setObjectName(QString("ByKey%1").arg(order.keyNo));
        a->setCheckable(true);
        a->setChecked(order.keyNo == keyNo_);
        const int keyNo = order.keyNo;
        connect(a, &QAction::triggered, this,
                [this, keyNo] { guarded([&] { setDisplayKey(keyNo); }); });
        display->addAction(a);
        orderActs_.push_back(a);
    }
    display->addSeparator();
    display->addAction(filterAct);
    frame_.addMenu("&Help", {helpAct});
    frame_.addListPopup(
        list_, {newAct, editAct, deleteAct, nullptr, findAct, viewAct_, custAct, nullptr, printAct,
                slipAct, pdfAct, batchAct, nullptr, repeatAct, filterAct});
    // The buttons stay reachable through the bar's overflow menu when the window is narrow.
    frame_.addTools(
        {{"AddInvoiceBtn", "New", "Create a new invoice or quote", newAct},
         {"EditInvoiceBtn", "Edit", "Edit the selected record", editAct},
         {"InvDeleteBtn", "Delete", "Delete the selected record", deleteAct},
         {"SpeedButton1", "Find", "Find an invoice or payment", findAct},
         {"InvPrint", "View", "View the selected invoice", viewAct_},
         {"CustDataButn", "Customer Data", "Quick view of the record and its customer", custAct},
         {"ToPrinterButn", "Print Invoice", "Print (or e-mail) the selected invoice", printAct},
         {"SpeedButton6", "Send to PDF", "Save the selected invoice as a PDF file", pdfAct},
         {"BatchPrinButn", "Batch Print", "Print every invoice not printed yet", batchAct},
         {"SpeedButton2", "Filter On/Off", "Show only the selected customer's records", filterAct},
         {"HelpBtn", "Help", "Help", helpAct},
         {"CloseBtn", "Close", "Close", closeAct}},
        ManagerFrame::ToolRow::Bar, "ToolBar");
}

template <class Body>
void Tinvlist::guarded(Body&& body) {
    Guarded(*ctx_.prompter, body);
}

bool Tinvlist::openFiles() {
    const std::string prefix = files_->prefix();
    auto open = [&](data::FileKind kind, platform::Message whenMissing) -> storage::Fileblock* {
        data::OpenRequest request;
        request.name = data::FileblockName(ctx_.dataFolder, kind, prefix);
        request.kind = kind;
        request.whenMissing = std::move(whenMissing);
        request.giveUp = data::GiveUpMessage("Unable to open databases: ");
        request.giveUpWithError = true;
        request.progress = ctx_.progress;
        request.rebuildTitle = kind == data::FileKind::Invoice       ? "Invoices"
                               : kind == data::FileKind::InvoiceLine ? "Invoice Lines"
                                                                     : "Memos";
        return data::OpenBusinessFileblock(request, *ctx_.prompter).fb;
    };
    files_->invoices =
        open(data::FileKind::Invoice,
             data::CreateMessage("I am going to create a new, empty invoice file for this company.",
                                 "New Company"));
    if (!files_->invoices) return false;
    files_->lines = open(data::FileKind::InvoiceLine, {});
    if (!files_->lines) return false;
    files_->memos = open(data::FileKind::Memo, {});
    if (!files_->memos) return false;

    keyNo_ = invoicing::kOpeningKey;
    list_->SetOnPerformFilter([this](TIndexBrowser*, storage::RowRecord&, bool& useIt) {
        useIt = invoicing::FilterAccepts(buffer_, filterNumber_);
        return 0;
    });
    AttachManagerList(
        list_, files_->invoices, keyNo_, buffer_.data(), buffer_.size(),
        [this] { return invoicing::ManagerRow(buffer_); }, invoicing::ManagerHeader(),
        invoicing::ManagerColumns());
    for (QAction* a : orderActs_)
        a->setChecked(a->objectName() == QString("ByKey%1").arg(keyNo_));
    guarded([&] { positionOnLastInvoice(); });
    updateCount();
    list_->setFocus();
    return true;
}

void Tinvlist::positionOnLastInvoice() {
    // The list opens on the newest records by date: on the last invoice made when it is
    // among the newest page of them (the page fills up to the newest around it), else on
    // the newest record.
    const std::string last = data::TrimmedText(ctx_.company->text(Company::LastInvNo));
    if (!last.empty()) {
        data::InvoiceRecord probe;
        probe.setText(Invoice::InvNo, last);
        auto found = data::FindAtOrAfter<Invoice>(files_->invoices, 1, probe);
        if (found && found->key == data::InvoiceKey(probe, 1)) {
            std::string key = data::InvoiceKey(found->record, keyNo_);
            int32_t recNo = found->recNo;
            int after = 0;
            storage::FindKeyAndRecord(files_->invoices, keyNo_, key, recNo, 0);
            while (storage::EngineOk && after <= storage::kBrowserMaxRows) {
                storage::NextKey(files_->invoices, keyNo_, key, recNo);
                if (storage::EngineOk) ++after;
            }
            if (after <= storage::kBrowserMaxRows) {
                list_->JumpToKey(data::InvoiceKey(found->record, keyNo_), found->recNo);
                return;
            }
        }
    }
    list_->ShowLastPage();
}

bool Tinvlist::Run(const InvoiceWindowContext& context, QWidget* parent) {
    Tinvlist form(context, parent);
    if (!form.openFiles()) return false;
    form.exec();
    return true;
}

void Tinvlist::done(int result) {
    frame_.saveBounds();
    QDialog::done(result);
}

QString Tinvlist::countText() const {
    return countPanel_->text();
}
QString Tinvlist::messageText() const {
    return messagePanel_->text();
}
QString Tinvlist::timerText() const {
    return timerPanel_->text();
}
QString Tinvlist::filterText() const {
    return cFilter_->text();
}
QString Tinvlist::companyText() const {
    return cName_->text();
}
QString Tinvlist::receivablesText() const {
    return arBal_->text();
}

void Tinvlist::setMessage(const QString& text) {
    messagePanel_->setText(text);
}

void Tinvlist::setTimerRunning(bool running) {
    timerPanel_->setText(Q(running ? invoicing::kTimerRunning : invoicing::kTimerOff));
}

void Tinvlist::refreshHeader() {
    const data::CompanyRecord& c = *ctx_.company;
    cName_->setText(
        Q(c.text(Company::Name) + " - #" + data::TrimmedText(c.text(Company::CompanyNo))));
    arBal_->setText(Q(c.money(Company::ARBalance).shownText()));
}

void Tinvlist::refreshList() {
    guarded([&] { list_->Refresh(); });
    refreshHeader();
    // The receivables total as stored: another program's posting changes the company
    // record on file, not the copy this program keeps.
    if (const std::optional<data::CompanyRecord> stored = app::ReadCompanyByNumber(
            ctx_.dataFolder, ctx_.company->text(Company::CompanyNo), *ctx_.prompter))
        arBal_->setText(Q(stored->money(Company::ARBalance).shownText()));
    updateCount();
}

void Tinvlist::updateCount() {
    // With the filter on, the count is of the rows the filter leaves.
    int32_t n = !files_->invoices ? 0
                : filterOn_       ? invoicing::FilteredRecordCount(files_->invoices, filterNumber_)
                                  : storage::KeyCount(files_->invoices, keyNo_);
    if (!storage::EngineOk) n = 0;
    countPanel_->setText(Q(invoicing::RecordCountText(n)));
}

bool Tinvlist::currentInvoice(int32_t& recNo, data::InvoiceRecord& record) {
    if (!list_->ReadHighlighted(recNo)) return false;
    record = buffer_;
    return true;
}

void Tinvlist::showRecord(const data::InvoiceRecord& record, int32_t recNo) {
    list_->JumpToKey(data::InvoiceKey(record, keyNo_), recNo);
    updateCount();
}

// An editor closed without saving may still have changed invoices through its customer
// picker (a customer given a new number takes its invoices along): the list shows the
// file as it now is.
void Tinvlist::showUnsaved() {
    list_->Refresh();
    updateCount();
}

void Tinvlist::addInvoice() {
    if (!ctx_.editor) return;
    InvoiceEditRequest request;
    request.adding = true;
    InvoiceEditResult r = ctx_.editor(*this, request);
    if (!r.saved) {
        showUnsaved();
        return;
    }
    showRecord(r.record, r.recNo);
    refreshHeader();
    if (!r.message.empty()) setMessage(Q(r.message));
}

void Tinvlist::editInvoice() {
    if (!ctx_.editor) return;
    InvoiceEditRequest request;
    request.adding = false;
    if (!currentInvoice(request.recNo, request.asRead)) return;
    if (!invoicing::CheckBeforeEdit(request.asRead, *ctx_.company, *ctx_.prompter)) return;
    InvoiceEditResult r = ctx_.editor(*this, request);
    if (!r.saved) {
        showUnsaved();
        return;
    }
    showRecord(r.record, r.recNo);
    refreshHeader();
    if (!r.message.empty()) setMessage(Q(r.message));
}

void Tinvlist::repeatSetup() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    if (!invoicing::CheckRepeatSetup(record, *ctx_.prompter)) return;
    const data::DateOrder order =
        data::DateOrderFromCode(ctx_.company->text(Company::DateFormatCode));
    TRepeatForm form(invoicing::SetupEntryFor(record, order), order, *ctx_.prompter, ctx_.openHelp,
                     this);
    if (form.exec() != QDialog::Accepted) return;
    const data::Date today = data::Today(*ctx_.clock);
    // An invoice that becomes a master leaves the receivables: the user hears so first.
    const invoicing::SetupNotice notice =
        invoicing::SetupNoticeFor(record, form.entry(), order, today);
    const invoicing::SetupChoice choice = invoicing::ConfirmRepeatSetup(notice, *ctx_.prompter);
    if (choice == invoicing::SetupChoice::Cancel) {
        setMessage("Repeat billing not set up.");
        return;
    }
    invoicing::SaveFiles files{ctx_.dataFolder, *ctx_.company, files_->invoices,
                               files_->lines,   files_->memos, nullptr,
                               today,           nullptr,       nullptr};
    invoicing::SetupResult r;
    try {
        if (choice == invoicing::SetupChoice::SetUpAndGenerate)
            r = invoicing::ApplyRepeatSetupAndGenerate(
                files, recNo, record, form.entry(), order, *ctx_.prompter,
                invoicing::GenerationRun{data::FormatUserDate(today, order),
                                         data::TrimmedText(record.text(Invoice::InvNotes))});
        else
            r = invoicing::ApplyRepeatSetup(files, recNo, record, form.entry(), order,
                                            *ctx_.prompter);
    } catch (...) {
        list_->Refresh();
        refreshHeader();
        throw;
    }
    showRecord(r.record, recNo);
    refreshHeader();
    const std::string master = data::TrimmedText(r.record.text(Invoice::InvNo));
    setMessage(Q(r.generated.empty() ? "Repeat billing set up for " + master + "."
                                     : "Repeat billing set up for " + master + "; invoice " +
                                           r.generated + " generated."));
}

void Tinvlist::deleteInvoice() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    invoicing::DeleteOutcome out;
    try {
        out = invoicing::DeleteInvoice(*files_, recNo, record, *ctx_.prompter, *ctx_.clock);
    } catch (...) {
        // The header may be gone already: the list and totals show what is on file.
        list_->Refresh();
        refreshHeader();
        updateCount();
        throw;
    }
    if (!out.deleted) return;
    list_->Refresh();
    refreshHeader();
    setMessage(Q(out.message));
    updateCount();
}

void Tinvlist::findInvoice() {
    if (!files_->invoices) return;
    TFindForm find(files_->invoices, customers::FindMode::Inv, "Find Invoice/Payment",
                   ServicesOf(ctx_), this);
    if (find.exec() != QDialog::Accepted || !find.picked()) return;
    // The picked row's invoice number, looked up through the number key.
    const std::string number = find.picked()->cells[1];
    data::InvoiceRecord probe;
    probe.setText(Invoice::InvNo, number);
    auto found = data::FindAtOrAfter<Invoice>(files_->invoices, 1, probe);
    if (!found || found->key != data::InvoiceKey(probe, 1)) {
        ctx_.prompter->inform("Find Invoice/Payment", "Invoice Search operation failed",
                              Icon::Error);
        return;
    }
    if (filterOn_ && !invoicing::FilterAccepts(found->record, filterNumber_)) toggleFilter();
    showRecord(found->record, found->recNo);
}

void Tinvlist::quickView() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    auto customer = invoicing::FindInvoiceCustomer(*files_, record, *ctx_.prompter);
    TQView view(invoicing::MakeQuickView(record, customer, *ctx_.company), this);
    view.exec();
}

void Tinvlist::applyFilterLook() {
    // The colours of the program's theme, light or dark, with the filter's on top. Only
    // the filter's own colours are set, so that every other one keeps following the theme.
    const bool dark = IsDarkPalette(QApplication::palette(this));
    QPalette labelPalette;
    if (filterOn_)
        labelPalette.setColor(QPalette::WindowText, dark ? QColor(255, 110, 110) : QColor(Qt::red));
    cFilter_->setPalette(labelPalette);
    cFilter_->setText(filterOn_ ? Q(invoicing::FilterLabelText(filterNumber_))
                                : Q(invoicing::kFilterClosedLabel));
    QPalette windowPalette;
    if (filterOn_)
        windowPalette.setColor(QPalette::Window, dark ? kDarkFilterColour : kFilterColour);
    setPalette(windowPalette);
}

void Tinvlist::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // The desktop turned light or dark: the filter's colours of the other look (setting
    // them changes the palette again, which is not followed).
    static bool applying = false;
    if (!applying && cFilter_ &&
        (event->type() == QEvent::ApplicationPaletteChange ||
         event->type() == QEvent::PaletteChange)) {
        applying = true;
        applyFilterLook();
        applying = false;
    }
}

void Tinvlist::toggleFilter() {
    if (!filterOn_) {
        int32_t recNo = 0;
        data::InvoiceRecord record;
        if (!currentInvoice(recNo, record)) return;
        filterNumber_ = invoicing::FilterNumber(record);
        filterOn_ = true;
        applyFilterLook();
        list_->SetFilterEnabled(true);
        list_->JumpToKey(data::InvoiceKey(record, keyNo_), recNo);
        setMessage(Q(invoicing::kFilterOnMessage));
    } else {
        filterOn_ = false;
        applyFilterLook();
        list_->SetFilterEnabled(false);
        setMessage(Q(invoicing::kFilterOffMessage));
    }
    updateCount();
}

void Tinvlist::setDisplayKey(int keyNo) {
    if (keyNo < 1 || keyNo > int(invoicing::kDisplayOrders.size())) return;
    int32_t recNo = 0;
    data::InvoiceRecord record;
    const bool hasCurrent = currentInvoice(recNo, record);
    keyNo_ = keyNo;
    for (QAction* a : orderActs_)
        a->setChecked(a->objectName() == QString("ByKey%1").arg(keyNo_));
    if (!files_->invoices) return;
    list_->SetKeyNumber(keyNo_);
    if (hasCurrent) list_->JumpToKey(data::InvoiceKey(record, keyNo_), recNo);
    updateCount();
}

void Tinvlist::viewInvoice() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    ViewFromWindow(ctx_, *files_, record.text(Invoice::InvNo), this);
}

void Tinvlist::printInvoice() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    if (IsDepositRecord(record)) {
        ctx_.prompter->inform("Deposit Transaction",
                              "This record is a deposit. Unable to print. Use the view option.");
        return;
    }
    const std::string number = data::TrimmedText(record.text(Invoice::InvNo));
    if (ctx_.emailMode) {
        emailInvoice(number);
        return;
    }
    output::PrintOutcome out;
    if (!PrintFromWindow(ctx_, *files_, {.number = number}, out)) return;
    list_->Refresh();
    setMessage(Q(SentToPrinterText(number, out.printer)));
}

void Tinvlist::emailInvoice(const std::string& number) {
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    // The message is made and shown before the server is connected: reading it takes the
    // user longer than a server waits.
    output::InvoiceMailDraft draft = DraftFromWindow(ctx_, *files_, number);
    output::InvoiceMailOutcome out = draft.outcome;
    if (draft.ready) {
        if (!ConfirmFromWindow(ctx_, draft.message, this)) {
            setMessage(Q("Document " + number + " was not sent by e-mail."));
            return;
        }
        if (!output::RunMailSession(
                *ctx_.company, *ctx_.mailer, *ctx_.prompter, progress,
                [&] { out = SendDraftFromWindow(ctx_, *files_, draft); }, MailLoginOf(ctx_)))
            return;
    }
    const std::string title(output::kEMailModeTitle);
    using R = output::InvoiceMailOutcome::Result;
    switch (out.result) {
        case R::Sent:
            list_->Refresh();
            setMessage(Q("Document " + number + " sent by e-mail."));
            ctx_.prompter->inform(title, "Document sent by e-mail.");
            break;
        case R::NoAddress:
            setMessage(Q("Document " + number + " was not sent by e-mail."));
            ctx_.prompter->inform(title,
                                  "This customer has no e-mail address. Document not sent by "
                                  "e-mail.");
            break;
        case R::Failed:
        case R::NotFound:
            setMessage(Q("Document " + number + " was not sent by e-mail."));
            ctx_.prompter->inform(
                title, "Document " + number + " was not sent by e-mail. " + out.error.text,
                Icon::Error);
            break;
    }
}

void Tinvlist::printPackingSlip() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    if (IsDepositRecord(record)) {
        ctx_.prompter->inform(
            "Deposit Transaction",
            "This record is a deposit transaction. Unable to print a packing slip.");
        return;
    }
    const std::string number = data::TrimmedText(record.text(Invoice::InvNo));
    output::PrintOutcome out;
    if (!PrintFromWindow(ctx_, *files_, {.number = number, .packingSlipOnly = true}, out)) return;
    setMessage(Q(out.status));
}

void Tinvlist::sendToPdf() {
    int32_t recNo = 0;
    data::InvoiceRecord record;
    if (!currentInvoice(recNo, record)) return;
    if (IsDepositRecord(record)) {
        ctx_.prompter->inform("Deposit Transaction",
                              "This record is a Deposit on Account. Run the Customer Statement "
                              "(Customer Manager) to view deposits.");
        return;
    }
    output::PdfOutcome out = PdfFromWindow(ctx_, *files_, record.text(Invoice::InvNo));
    if (out.ok) setMessage(Q(out.status));
}

void Tinvlist::batchPrint() {
    if (!files_->invoices) return;
    const invoicing::BatchSelection found = invoicing::BatchPrintNumbers(files_->invoices);
    if (found.numbers.empty()) {
        ctx_.prompter->inform(std::string(invoicing::kBatchTitle),
                              std::string(invoicing::kNoInvoicesToPrint));
        return;
    }
    TInvBatch dialog(int(found.numbers.size()), ctx_.emailMode, *ctx_.company, *ctx_.prompter,
                     ctx_.openHelp, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (ctx_.emailMode) {
        emailBatch(std::vector<std::string>(found.numbers.begin(),
                                            found.numbers.begin() + dialog.count()));
        return;
    }
    std::unique_ptr<output::Canvas> printer = MakePrinterCanvas(ctx_);
    if (!printer) return;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    progress.start(std::string(invoicing::kBatchCaption), 1);
    progress.setLine(0, "Working...");
    int count = 0;
    for (int i = 0; i < dialog.count(); ++i) {
        const std::string& number = found.numbers[size_t(i)];
        progress.setLine(0, "Processing Invoice " + number + " ...");
        if (!progress.step()) break;
        output::PrintOutcome out;
        if (!PrintFromWindow(ctx_, *files_, {.number = number, .batch = true}, out, printer.get()))
            break;
        ++count;
    }
    progress.finish();
    list_->Refresh();
    setMessage(Q("Batch Print complete. " + std::to_string(count) + " invoices sent to spooler."));
}

void Tinvlist::emailBatch(const std::vector<std::string>& numbers) {
    if (!ctx_.prompter->yesNo("Batch E-Mail", BatchPreviewFromWindow(ctx_, *files_, numbers)))
        return;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    output::MailRunCounts counts;
    bool ran = false;
    try {
        ran = output::RunMailSession(
            *ctx_.company, *ctx_.mailer, *ctx_.prompter, progress,
            [&] { counts = EmailBatchFromWindow(ctx_, *files_, numbers); }, MailLoginOf(ctx_));
    } catch (...) {
        list_->Refresh();
        throw;
    }
    if (!ran) return;
    list_->Refresh();
    setMessage(
        Q("Batch Print complete. " + std::to_string(counts.sent) + " invoices sent to e-mail."));
    const std::string problems = output::MailRunProblems(counts, "invoice");
    if (problems.empty())
        ctx_.prompter->inform("Batch E-Mail", "E-mail operation complete.");
    else
        ctx_.prompter->inform("Batch E-Mail", "E-mail operation complete. " + problems,
                              Icon::Warning);
}

void Tinvlist::printerSetup() {
    platform::qt::ShowPrinterSetup(this);
}

void Tinvlist::printWindow() {
    PrintWindowImage(this, *ctx_.prompter);
}

void Tinvlist::overview() {
    if (ctx_.openHelp) ctx_.openHelp(std::string(invoicing::kInvoiceManagerHelp));
}

void Tinvlist::rowAction() {
    // Double-click and Enter open the view of the invoice.
    if (viewAct_->isEnabled()) viewAct_->trigger();
}

// ================================================================================= TQView

TQView::TQView(const invoicing::QuickView& v, QWidget* parent) : QDialog(parent) {
    setObjectName("TQView");
    setWindowTitle("Customer Data");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto add = [&](const char* name, const std::string& caption, const std::string& text) {
        auto* value = new QLabel(Q(text), this);
        value->setObjectName(name);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto* label = new QLabel(Q(caption), this);
        label->setObjectName(QString(name) + "Caption");
        form->addRow(label, value);
        return std::pair{label, value};
    };
    add("IDate", v.dateCaption, v.date);
    add("INum", v.numberCaption, v.number + "  " + v.styleWording);
    add("IType", "Type:", v.typeWording);
    add("ITotal", v.totalCaption, v.total);
    auto paid = add("IPaid", "Paid Amount:", v.paid);
    auto due = add("IBalance", "Balance Due:", v.balance);
    for (QLabel* l : {paid.first, paid.second, due.first, due.second})
        l->setVisible(v.showPaidAndBalance);
    auto* printed = new QLabel(Q(v.printed), this);
    printed->setObjectName("IPrinted");
    form->addRow(printed);
    layout->addLayout(form);

    auto* customer = new QFormLayout;
    if (v.customerFound) {
        auto cAdd = [&](const char* name, const std::string& caption, const std::string& text) {
            auto* value = new QLabel(Q(text), this);
            value->setObjectName(name);
            customer->addRow(Q(caption), value);
        };
        cAdd("CustName", "Customer:", v.customerName);
        cAdd("CustNo", "Customer#:", v.customerNo);
        cAdd("CustBalance", "Balance:", v.customerBalance);
        cAdd("LastPay", "Last Payment:", v.lastPayDate);
        cAdd("LastInv", "Last Invoice:", v.lastInvNo);
        cAdd("Phone", "Phone:", v.phone);
        for (size_t i = 0; i < 4; ++i) {
            const std::string name = "Aging" + std::to_string(i + 1);
            cAdd(name.c_str(), v.agingCaptions[i], v.aging[i]);
        }
    } else {
        auto* none = new QLabel("The customer of this record is not on file.", this);
        none->setObjectName("CustName");
        customer->addRow(none);
    }
    layout->addSpacing(8);
    layout->addLayout(customer);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("OKBtn");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

// ============================================================================== TInvBatch

TInvBatch::TInvBatch(int found, bool eMail, const data::CompanyRecord& company,
                     platform::Prompter& prompter, std::function<void(const std::string&)> help,
                     QWidget* parent)
    : QDialog(parent), found_(found), prompter_(prompter) {
    setObjectName("TInvBatch");
    setWindowTitle(Q(invoicing::kBatchCaption));
    const invoicing::BatchTexts texts = invoicing::BatchDialogTexts(found, eMail, company);
    auto* layout = new QVBoxLayout(this);
    for (size_t i = 0; i < texts.lines.size(); ++i) {
        auto* l = new QLabel(Q(texts.lines[i]), this);
        l->setObjectName(QString("Line%1").arg(i + 1));
        layout->addWidget(l);
    }
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel("&Number to print this cycle:", this);
    batchNum_ = new QLineEdit(this);
    batchNum_->setObjectName("BatchNum");
    // Up to four digits, none of them required.
    batchNum_->setInputMask("0000; ");
    batchNum_->setText(QString::number(found));
    caption->setBuddy(batchNum_);
    row->addWidget(caption);
    row->addWidget(batchNum_);
    layout->addLayout(row);
    const std::string topic(invoicing::kBatchHelp);
    DialogButtons b = MakeDialogButtons(
        this, Q(texts.button), help ? [help, topic] { help(topic); } : std::function<void()>());
    connect(b.box, &QDialogButtonBox::accepted, this, &TInvBatch::accept);
    layout->addWidget(b.box);
}

void TInvBatch::accept() {
    auto n = invoicing::BatchCount(batchNum_->text().toStdString(), found_);
    if (!n) {
        prompter_.inform(std::string(invoicing::kBatchNumberTitle),
                         std::string(invoicing::kBatchNumberMissing), Icon::Warning);
        batchNum_->setFocus();
        return;
    }
    count_ = *n;
    QDialog::accept();
}

}  // namespace invarro::ui
