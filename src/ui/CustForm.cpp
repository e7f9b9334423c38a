#include "ui/CustForm.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Startup.h"
#include "customers/CExport.h"
#include "customers/CImport.h"
#include "customers/CustEdit.h"
#include "customers/CustList.h"
#include "customers/CustPrint.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Posting.h"
#include "data/Rebuild.h"
#include "data/Update.h"
#include "output/TextFile.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "storage/BTree.h"
#include "ui/CStmnt.h"
#include "ui/CustEdit.h"
#include "ui/ExportForm.h"
#include "ui/FindForm.h"
#include "ui/ImportForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/Labelwiz.h"
#include "ui/ListViewer.h"
#include "ui/ThemeIcons.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using data::Customer;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

constexpr const char* kBoundsSection = "CustForm";
constexpr int kDesignedWidth = 510;
constexpr int kDesignedHeight = 384;

// The browse order is kept for the whole program run.
int gBrowseKey = 1;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

int TCustForm::BrowseKey() {
    return gBrowseKey;
}

TCustForm::TCustForm(const CustomerWindowContext& context, Mode mode, QWidget* parent)
    : QDialog(parent),
      ctx_(context),
      mode_(mode),
      frame_(this, "TCustForm", ctx_.dataFolder, kBoundsSection) {
    UseClockOrOwn(ctx_.clock, ownClock_);
    updateTitle();

    caption_ = new QLabel(this);
    caption_->setObjectName("CompanyLabel");
    ApplyEditorFont(caption_, *ctx_.company);
    caption_->setText(Q(app::CompanyCaption(*ctx_.company)));

    list_ = new TIndexBrowser(this);
    SetUpManagerList(list_, "CustList", *ctx_.company, ctx_.prompter);
    list_->setAccessibleName(QStringLiteral("Customers"));
    connect(list_, &TIndexBrowser::DblClick, this, &TCustForm::rowAction);
    connect(list_, &TIndexBrowser::SortRequested, this,
            [this](int keyNo) { guarded([&] { setBrowseKey(keyNo); }); });
    connect(list_, &TIndexBrowser::KeyDown, this, [this](int key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) rowAction();
        if (key == Qt::Key_Delete && mode_ == Mode::Manage) deleteCustomer();
    });

    const ManagerStatusBar bar = MakeManagerStatusBar(this, 130);
    QStatusBar* status = bar.bar;
    countPanel_ = bar.count;
    messagePanel_ = bar.message;
    setMessage(mode_ == Mode::Pick ? "Double-click or press <enter> to select."
                                   : "Right-click mouse or select from menu bar.");

    buildMenus();
    frame_.addHeading(caption_);
    frame_.finish(list_, status, kDesignedWidth, kDesignedHeight,
                  [this] { return fb_ ? storage::UsedRecordCount(fb_) : 0; });
}

TCustForm::~TCustForm() {
    // The browser reads the fileblock: it goes first.
    delete list_;
    list_ = nullptr;
    if (fb_) storage::CloseFileblock(fb_);
}

void TCustForm::updateTitle() {
    setWindowTitle(ctx_.emailMode ? "Customer Manager - (E-Mail Mode)" : "Customer Manager");
}

QAction* TCustForm::action(const char* name, const QString& text, void (TCustForm::*slot)()) {
    if (!slot) return MakeCommand(this, name, text, nullptr);
    return MakeCommand(this, name, text, [this, slot] { guarded([&] { (this->*slot)(); }); });
}

void TCustForm::buildMenus() {
    const bool manage = mode_ == Mode::Manage;
    QAction* newAct = action("NewAct", "&New", &TCustForm::newCustomer);
    QAction* editAct = action("EditAct", "&Edit", &TCustForm::editCustomer);
    QAction* deleteAct = action("DeleteAct", "&Delete", &TCustForm::deleteCustomer);
    QAction* findAct = action("FindAct", "&Find", &TCustForm::findCustomer);
    QAction* listAct = action("ListAct", "Customer &List", &TCustForm::customerList);
    QAction* printAct = action("PrintAct", "&Print", &TCustForm::printCard);
    QAction* windowAct = action("PrintWindowAct", "Print &Window", &TCustForm::printWindow);
    QAction* viewStmt = action("ViewStmtAct", "&View / Print", &TCustForm::viewStatement);
    QAction* batchStmt = action("BatchStmtAct", "&Batch Print", &TCustForm::batchStatements);
    // In e-mail mode the batch mails through the program's mail client.
    batchStmt->setEnabled(!ctx_.emailMode || ctx_.mailer);
    QAction* envAct = action("EnvelopeAct", "Print En&velope", &TCustForm::printEnvelope);
    QAction* labelAct = action("LabelQueueAct", "Add to Label &Queue", &TCustForm::addToLabelQueue);
    labelAct->setEnabled(ctx_.labelQueue != nullptr);
    QAction* wizardAct = action("LabelWizardAct", "Label &Wizard...", &TCustForm::labelWizard);
    wizardAct->setEnabled(ctx_.labelQueue != nullptr);
    QAction* clipAct = action("ClipboardAct", "Copy to Clipboard", &TCustForm::copyToClipboard);
    QAction* exportAct = action("ExportAct", "E&xport to Text File", &TCustForm::exportCustomers);
    QAction* importAct = action("ImportAct", "&Import From Text File", &TCustForm::importCustomers);
    byName_ = action("ByNameAct", "By &Name", nullptr);
    byNumber_ = action("ByNumberAct", "By N&umber", nullptr);
    byName_->setEnabled(true);
    byNumber_->setEnabled(true);
    byName_->setCheckable(true);
    byNumber_->setCheckable(true);
    connect(byName_, &QAction::triggered, this, [this] { guarded([&] { setBrowseKey(1); }); });
    connect(byNumber_, &QAction::triggered, this, [this] { guarded([&] { setBrowseKey(2); }); });
    QAction* helpAct = action("OverviewAct", "&Overview", &TCustForm::overview);
    helpAct->setEnabled(bool(ctx_.openHelp));
    QAction* closeAct = MakeCloseCommand(this);
    SetCommandIcons({{newAct, "New"},
                     {editAct, "Edit"},
                     {deleteAct, "Delete"},
                     {findAct, "Find"},
                     {listAct, "List"},
                     {printAct, "Print"},
                     {windowAct, "Print"},
                     {viewStmt, "View"},
                     {batchStmt, "Print"},
                     {clipAct, "Copy"},
                     {exportAct, "Export"},
                     {importAct, "Import"},
                     {helpAct, "Help"},
                     {closeAct, "Close"}});
    // A picker only picks; changing customers is left to the manager.
    for (QAction* a : {deleteAct, importAct})
        a->setEnabled(a->isEnabled() && manage);

    frame_.addShortcuts({{newAct, QKeySequence::New},
                         {findAct, QKeySequence::Find},
                         {printAct, QKeySequence::Print},
                         {deleteAct, QKeySequence(Qt::Key_Delete)},
                         {helpAct, QKeySequence::HelpContents}});
    frame_.addMenu("&Customer", {newAct, editAct, deleteAct, nullptr, findAct, nullptr, listAct,
                                 printAct, windowAct, envAct, labelAct, wizardAct, clipAct, nullptr,
                                 exportAct, importAct, nullptr, closeAct});
    frame_.addMenu("&Statements", {viewStmt, batchStmt});
    frame_.addMenu("&Display", {byName_, byNumber_});
    frame_.addMenu("&Help", {helpAct});
    frame_.addListPopup(list_, {newAct, editAct, deleteAct, findAct, nullptr, listAct, printAct,
                                envAct, labelAct, clipAct, nullptr, viewStmt, batchStmt});
    frame_.addTools(
        {{"NewBtn", "New", "New", newAct},
         {"EditBtn", "Edit", "Edit", editAct},
         {"DeleteBtn", "Delete", "Delete", deleteAct},
         {"FindBtn", "Find", "Find", findAct},
         {"ListBtn", "Customer List", "Customer List", listAct},
         {"ViewStmtBtn", "View/Print Statement", "View/Print Statement", viewStmt},
         {"BatchStmtBtn", "Batch Print Statements", "Batch Print Statements", batchStmt},
         {"EnvelopeBtn", "Print Envelope", "Print Envelope", envAct},
         {"HelpBtn", "Help", "Help", helpAct},
         {"CloseBtn", "Close", "Close", closeAct}});
}

template <class Body>
void TCustForm::guarded(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        ctx_.prompter->inform(windowTitle().toStdString(), e.what(), Icon::Error);
    }
}

bool TCustForm::openFiles() {
    data::OpenRequest request;
    request.name = data::FileblockName(ctx_.dataFolder, data::FileKind::Customer,
                                       data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)));
    request.kind = data::FileKind::Customer;
    request.whenMissing = data::CreateMessage(
        "I am going to create a new, empty customer file for this company.", "New Company");
    request.giveUp = data::GiveUpMessage("Unable to open database");
    request.progress = ctx_.progress;
    request.rebuildTitle = "Customers";
    data::OpenResult r = data::OpenBusinessFileblock(request, *ctx_.prompter);
    if (!r) return false;
    fb_ = r.fb;

    AttachManagerList(
        list_, fb_, gBrowseKey, buffer_.data(), buffer_.size(),
        [this] { return customers::ManagerRow(buffer_); }, customers::ManagerHeader(),
        customers::ManagerColumns());
    byName_->setChecked(gBrowseKey == 1);
    byNumber_->setChecked(gBrowseKey == 2);
    guarded([&] { list_->JumpToKey(""); });
    updateCount();
    list_->setFocus();
    return true;
}

void TCustForm::showSelectedCustomer() {
    if (!ctx_.selectedCustomer || !fb_) return;
    try {
        list_->JumpToKey(data::CustomerKey(*ctx_.selectedCustomer, gBrowseKey));
    } catch (const std::exception&) {
        ctx_.prompter->inform(windowTitle().toStdString(), "Customer Search operation failed",
                              Icon::Error);
    }
}

bool TCustForm::Run(const CustomerWindowContext& context, QWidget* parent) {
    bool rebuild = false;
    {
        TCustForm form(context, Mode::Manage, parent);
        if (!form.openFiles()) return false;
        form.exec();
        rebuild = form.rebuildPending();
    }
    // The manager has closed the customer file: the company's files can be rebuilt.
    if (rebuild) RebuildAfterImport(context);
    return true;
}

void TCustForm::RebuildAfterImport(const CustomerWindowContext& context) {
    if (context.rebuildDataFiles) {
        context.rebuildDataFiles();
        return;
    }
    platform::SilentProgress silent;
    platform::Progress& progress = context.progress ? *context.progress : silent;
    if (!data::RebuildCompanyFiles(context.dataFolder,
                                   data::CompanyPrefix(context.company->ansi(Company::CompanyNo)),
                                   progress))
        context.prompter->inform(
            "Customer Import",
            "Unable to rebuild the data files: error " + std::to_string(storage::EngineError),
            Icon::Error);
}

std::optional<bool> TCustForm::Pick(const CustomerWindowContext& context, bool showSelected,
                                    QWidget* parent) {
    TCustForm form(context, Mode::Pick, parent);
    if (!form.openFiles()) return std::nullopt;
    if (showSelected) form.showSelectedCustomer();
    form.exec();
    return form.picked();
}

void TCustForm::done(int result) {
    frame_.saveBounds();
    QDialog::done(result);
}

QString TCustForm::countText() const {
    return countPanel_->text();
}

QString TCustForm::messageText() const {
    return messagePanel_->text();
}

void TCustForm::setMessage(const QString& text) {
    messagePanel_->setText(text);
}

void TCustForm::refreshList() {
    guarded([&] { list_->Refresh(); });
    updateCount();
}

void TCustForm::updateCount() {
    int32_t n = fb_ ? storage::KeyCount(fb_, gBrowseKey) : 0;
    if (!storage::EngineOk) n = 0;
    countPanel_->setText("Customers: " + QString::number(n));
}

bool TCustForm::currentCustomer(int32_t& recNo, data::CustomerRecord& record) {
    if (!list_->ReadHighlighted(recNo)) return false;
    record = buffer_;
    return true;
}

void TCustForm::positionOn(const data::CustomerRecord& record, int32_t recNo) {
    list_->JumpToKey(data::CustomerKey(record, gBrowseKey), recNo);
    updateCount();
}

void TCustForm::newCustomer() {
    customers::CustomerFiles files = customerFiles();
    TCustEdit editor(*ctx_.prompter, ctx_.dataFolder, this);
    editor.setHelp(ctx_.openHelp);
    editor.setEntry(customers::NewCustomerEntry(*ctx_.company), true,
                    ctx_.company->byte(Company::AutoCopyBilling) != 0);
    data::CustomerRecord added;
    int32_t recNo = 0;
    editor.setCheck([&](customers::CustomerEntry& e) {
        return customers::CheckCustomerEntry(e, customers::kAddStartingNumber, fb_);
    });
    editor.setSave([&](customers::CustomerEntry& e) {
        // The customer and its e-invoicing data are one posting, run again when it meets
        // another program's lock; its messages come once it has ended.
        recNo = data::RunPostingOrThrow<customers::CustomerError>(
            *ctx_.prompter, customers::kAddFailed,
            [&](data::Posting& posting, platform::Prompter& held) {
                posting.keep(e.number);
                const int32_t rec = customers::AddCustomer(files, e, held);
                storeEInvoice("", e.number, editor.einvoice(), held);
                return rec;
            });
        added = customers::NewCustomerRecord(e);
    });
    if (editor.exec() != QDialog::Accepted) return;
    positionOn(added, recNo);
}

void TCustForm::editCustomer() {
    int32_t recNo = 0;
    data::CustomerRecord asRead;
    if (!currentCustomer(recNo, asRead)) return;
    const std::string starting = customers::NumberForCompare(asRead.text(Customer::CustNo));
    customers::CustomerFiles files = customerFiles();
    TCustEdit editor(*ctx_.prompter, ctx_.dataFolder, this);
    editor.setHelp(ctx_.openHelp);
    editor.setEntry(customers::EntryFromRecord(asRead), false,
                    ctx_.company->byte(Company::AutoCopyBilling) != 0);
    editor.setEInvoice(data::ReadCustomerEInvoice(ctx_.dataFolder, files.prefix(),
                                                  asRead.text(Customer::CustNo), *ctx_.prompter));
    data::CustomerRecord saved = asRead;
    editor.setCheck([&](customers::CustomerEntry& e) {
        return customers::CheckCustomerEntry(e, starting, fb_);
    });
    bool renumbered = true;
    editor.setSave([&](customers::CustomerEntry& e) {
        renumbered = data::RunPostingOrThrow<customers::CustomerError>(
            *ctx_.prompter, customers::kModifyFailed,
            [&](data::Posting&, platform::Prompter& held) {
                const bool moved =
                    customers::ChangeCustomer(files, recNo, asRead, e, starting, held).ok;
                storeEInvoice(asRead.text(Customer::CustNo), e.number, editor.einvoice(), held);
                return moved;
            });
        saved = customers::RecordFromEntry(e, asRead);
    });
    if (editor.exec() != QDialog::Accepted) return;
    positionOn(saved, recNo);
    // The customer is saved; some of its invoices could not be moved to the new number.
    if (!renumbered) throw customers::CustomerError(std::string(customers::kModifyFailed));
}

void TCustForm::storeEInvoice(const std::string& oldNumber, const std::string& number,
                              const data::CustomerEInvoice& e, platform::Prompter& prompter) {
    const std::string prefix = data::CompanyPrefix(ctx_.company->text(Company::CompanyNo));
    bool ok = true;
    // A renumbered customer takes its data along.
    if (!oldNumber.empty() &&
        customers::NumberForCompare(oldNumber) != customers::NumberForCompare(number))
        ok = data::StoreEInvoiceRecord(ctx_.dataFolder, prefix,
                                       data::CustomerEInvoiceRecord(oldNumber, {}), true, prompter);
    ok = ok &&
         data::StoreEInvoiceRecord(ctx_.dataFolder, prefix, data::CustomerEInvoiceRecord(number, e),
                                   e.empty(), prompter);
    if (!ok) throw customers::CustomerError("The e-invoicing data could not be saved.");
}

void TCustForm::deleteCustomer() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    customers::CustomerFiles files = customerFiles();
    // Its e-invoicing data goes with it, in the same posting.
    if (!customers::DeleteCustomer(files, recNo, customer, *ctx_.prompter)) return;
    list_->Refresh();
    updateCount();
}

customers::CustomerFiles TCustForm::customerFiles() const {
    return customers::CustomerFiles{ctx_.dataFolder, *ctx_.company, fb_, ctx_.heldInvoices,
                                    ctx_.heldLines};
}

bool TCustForm::openInvoices(data::ExistingFileblock& invoices) const {
    if (ctx_.heldInvoices) return true;
    data::OpenExisting(invoices, ctx_.dataFolder, data::FileKind::Invoice,
                       data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)), *ctx_.prompter);
    return invoices.ok;
}

void TCustForm::viewStatement() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    data::ExistingFileblock invoices;
    if (!openInvoices(invoices)) return;
    TCustStmnt::View(ctx_,
                     output::StatementFiles{fb_, invoices.fb ? invoices.fb : ctx_.heldInvoices},
                     data::TrimmedText(customer.text(Customer::CustNo)), this);
}

void TCustForm::batchStatements() {
    if (!fb_) return;
    data::ExistingFileblock invoices;
    if (!openInvoices(invoices)) return;
    BatchStatements(
        ctx_, output::StatementFiles{fb_, invoices.fb ? invoices.fb : ctx_.heldInvoices},
        [this](const std::string& text) { setMessage(QString::fromStdString(text)); }, this);
}

void TCustForm::findCustomer() {
    if (!fb_) return;
    TFindForm find(fb_, customers::FindMode::Cust, "Find Customer", services(), this);
    if (find.exec() != QDialog::Accepted || !find.picked()) return;
    // The picked row's customer number, looked up through the number key.
    const std::string number = find.picked()->cells[1];
    data::CustomerRecord probe;
    probe.setText(Customer::CustNo, number);
    auto found = data::FindAtOrAfter<Customer>(fb_, 2, probe);
    if (!found || customers::NumberForCompare(found->record.text(Customer::CustNo)) !=
                      customers::NumberForCompare(number)) {
        ctx_.prompter->inform("Find Customer", "Customer Search operation failed", Icon::Error);
        return;
    }
    positionOn(found->record, found->recNo);
}

void TCustForm::customerList() {
    const Answer withAddresses = ctx_.prompter->ask(platform::Message{
        "Customer List", "Do you want to include the customer addresses on this list?",
        Icon::Question, Buttons::YesNoCancel, Answer::Yes});
    if (withAddresses == Answer::Cancel) return;
    const bool byNumber = ctx_.prompter->yesNo(
        "Customer Sort",
        "Customers will be sorted by name. Would you rather sort by customer number?", Answer::No);
    const auto order = byNumber ? customers::ListOrder::ByNumber : customers::ListOrder::ByName;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    std::vector<std::string> lines = customers::CustomerListLines(
        fb_, *ctx_.company, order, withAddresses == Answer::Yes, *ctx_.clock, progress);
    std::string error;
    if (!output::WriteTextList(ctx_.dataFolder, lines, &error)) {
        ctx_.prompter->inform("Customer List", error, Icon::Error);
        return;
    }
    const output::Font font = ManagerFont(*ctx_.company);
    TListViewer::ShowWorkFile(*ctx_.prompter, Q(customers::CustomerListTitle(order)),
                              ctx_.dataFolder, platform::qt::ToQFont(font),
                              platform::qt::ToQColor(font.color), "Customer.RTF", this);
}

void TCustForm::printCard() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    if (!PrinterReady(*ctx_.prompter, "Print",
                      "Customer - " + data::TrimmedText(customer.text(Customer::Name)),
                      ctx_.dataFolder))
        return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    if (!customers::PrintCustomerCard(canvas, customer, *ctx_.company, *ctx_.clock)) {
        ctx_.prompter->inform("Print", "The customer could not be printed. " + canvas.lastError(),
                              Icon::Error);
        return;
    }
    setMessage(Q("Customer: " + customer.text(Customer::Name) + " sent to printer."));
}

void TCustForm::printEnvelope() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    if (!PrinterReady(*ctx_.prompter, "Envelope",
                      "Envelope - " + data::TrimmedText(customer.text(Customer::Name)),
                      ctx_.dataFolder))
        return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    if (!customers::PrintEnvelope(canvas, customer, *ctx_.company)) {
        ctx_.prompter->inform(
            "Envelope", "The envelope could not be printed. " + canvas.lastError(), Icon::Error);
        return;
    }
    setMessage(Q("Envelope for " + customer.text(Customer::Name) + " sent to printer."));
}

void TCustForm::printWindow() {
    PrintWindowImage(this, *ctx_.prompter);
}

void TCustForm::addToLabelQueue() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!ctx_.labelQueue || !currentCustomer(recNo, customer)) return;
    ctx_.labelQueue->add(customers::LabelEntryFor(customer));
    const QString text = Q(customer.text(Customer::Name) + " added to label queue.");
    setMessage(text);
    if (ctx_.mainStatus) ctx_.mainStatus(text);
}

void TCustForm::labelWizard() {
    if (!ctx_.labelQueue || !fb_) return;
    TLabelWiz::Run(ctx_, this, fb_);
}

void TCustForm::copyToClipboard() {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    QApplication::clipboard()->setText(Q(customers::ClipboardText(customer)));
    setMessage(Q("Customer: " + customer.text(Customer::Name) + " copied to clipboard."));
}

WindowServices TCustForm::services() const {
    return ServicesOf(ctx_);
}

void TCustForm::exportCustomers() {
    if (!fb_) return;
    TExportForm::Setup setup;
    setup.title = "Customer Export to File";
    setup.alwaysCaption = "Customer Name (always)";
    setup.options = {{"NumberBox", "Customer Number", true},
                     {"BillingBox", "Billing Address (4 lines)", true},
                     {"ShippingBox", "Shipping Address (4 lines)", false},
                     {"Phone1Box", "Phone Number 1", false},
                     {"Phone2Box", "Shipping Phone Number 2", false},
                     {"TypeBox", "Customer Type", false},
                     {"ShortNameBox", "Short Name", false},
                     {"SortCodeBox", "Mail List Sort Code", false},
                     {"EMailBox", "E-Mail Address", true},
                     {"BalanceBox", "Account Balance", false},
                     {"LastPayBox", "Last Payment Date", false},
                     {"NotesBox", "Customer Notes/Comments", false}};
    setup.baseName = "CustList";
    setup.helpTopic = "Customer Import and Export";
    setup.boundsSection = "CustExport";
    setup.doneText = "All customers have been exported to text file.";
    TExportForm form(setup, services(), this);
    form.setMakeLines([this](const std::vector<bool>& t, const data::DelimitedFormat& format) {
        const customers::CustomerExportChoice choice = customers::ChoiceFromTicks(t, format);
        platform::SilentProgress silent;
        return customers::CustomerExportLines(fb_, choice, ctx_.progress ? *ctx_.progress : silent);
    });
    form.exec();
}

void TCustForm::importCustomers() {
    if (!fb_ || mode_ != Mode::Manage) return;
    TImportForm::Setup setup;
    setup.title = "Customer Import";
    setup.headings.assign(customers::kImportHeadings.begin(), customers::kImportHeadings.end());
    setup.widths = {220, 70, 180, 180, 180, 180, 180, 180, 180, 180, 120, 120, 120, 90, 110, 200};
    setup.forceCaption = "When importing, force billing address into shipping address";
    setup.helpTopic = "Customer Import and Export";
    setup.boundsSection = "CustImport";
    TImportForm form(setup, services(), this);
    customers::CustomerImportResult result;
    bool imported = false;
    form.setOnImport([&] {
        data::DelimitedText text;
        text.rows = form.rows();
        const std::vector<customers::CustomerImportRow> rows = customers::CustomerImportRows(text);
        if (rows.empty()) return;
        const bool force = form.forced();
        if (ctx_.prompter->ask(customers::CustomerPreviewMessage(rows.front(), force)) !=
            Answer::Ok)
            return;
        form.setLabel(QString::fromUtf8(data::kImportingText.data()));
        customers::CustomerFiles files = customerFiles();
        platform::SilentProgress silent;
        result = customers::ImportCustomers(
            files, rows, force, ctx_.progress ? *ctx_.progress : silent, *ctx_.prompter);
        imported = true;
        form.accept();
    });
    form.exec();
    if (!imported) return;
    ctx_.prompter->ask(customers::CustomerImportDoneMessage(result));
    // The stored rows have no keys yet: the manager closes and the files are rebuilt.
    rebuildPending_ = result.added > 0;
    if (rebuildPending_) accept();
}

void TCustForm::setBrowseKey(int keyNo) {
    int32_t recNo = 0;
    data::CustomerRecord customer;
    const bool hasCurrent = currentCustomer(recNo, customer);
    gBrowseKey = keyNo == 2 ? 2 : 1;
    byName_->setChecked(gBrowseKey == 1);
    byNumber_->setChecked(gBrowseKey == 2);
    if (!fb_) return;
    list_->SetKeyNumber(gBrowseKey);
    if (hasCurrent) positionOn(customer, recNo);
    updateCount();
}

void TCustForm::overview() {
    if (ctx_.openHelp) ctx_.openHelp("Customer Manager");
}

void TCustForm::rowAction() {
    // Managing, a double-click or Enter shows the customer's statement, as View / Print does.
    if (mode_ != Mode::Pick) {
        guarded([&] { viewStatement(); });
        return;
    }
    int32_t recNo = 0;
    data::CustomerRecord customer;
    if (!currentCustomer(recNo, customer)) return;
    if (ctx_.selectedCustomer) *ctx_.selectedCustomer = customer;
    picked_ = true;
    accept();
}

}  // namespace invarro::ui
