#include "ui/ProdForm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Startup.h"
#include "data/Ansi.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/Update.h"
#include "output/TextFile.h"
#include "platform/qt/PainterCanvas.h"
#include "platform/qt/Printer.h"
#include "platform/qt/QtFonts.h"
#include "products/PExport.h"
#include "products/PImport.h"
#include "products/ProdEdit.h"
#include "products/ProdList.h"
#include "products/ProdPrint.h"
#include "storage/BTree.h"
#include "ui/ExportForm.h"
#include "ui/FindForm.h"
#include "ui/ImportForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ListViewer.h"
#include "ui/ProdEdit.h"
#include "ui/ThemeIcons.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {

namespace {

using data::Company;
using data::Product;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

constexpr const char* kBoundsSection = "ProdForm";
constexpr int kDesignedWidth = 560;
constexpr int kDesignedHeight = 384;
constexpr const char* kTitle = "Product Manager";

// The browse order is kept for the whole program run.
int gBrowseKey = 1;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

std::optional<data::ProductRecord> PickProduct(QWidget* parent, const ProductWindowContext& context,
                                               const std::string& startCode,
                                               const std::string& startDesc) {
    TEditProd form(context, TEditProd::Mode::Pick, parent);
    if (!form.openFiles()) return std::nullopt;
    form.positionAt(startCode, startDesc);
    form.exec();
    return form.picked();
}

int TEditProd::BrowseKey() {
    return gBrowseKey;
}

TEditProd::TEditProd(const ProductWindowContext& context, Mode mode, QWidget* parent)
    : QDialog(parent),
      ctx_(context),
      mode_(mode),
      frame_(this, "TEditProd", ctx_.dataFolder, kBoundsSection) {
    setWindowTitle(kTitle);
    UseClockOrOwn(ctx_.clock, ownClock_);

    caption_ = new QLabel(this);
    caption_->setObjectName("CompanyLabel");
    ApplyEditorFont(caption_, *ctx_.company);
    caption_->setText(Q(app::CompanyCaption(*ctx_.company)));

    list_ = new TIndexBrowser(this);
    SetUpManagerList(list_, "ProdBrowser", *ctx_.company, ctx_.prompter);
    list_->setAccessibleName(QStringLiteral("Products"));
    connect(list_, &TIndexBrowser::DblClick, this, &TEditProd::rowAction);
    connect(list_, &TIndexBrowser::SortRequested, this,
            [this](int keyNo) { guarded([&] { setBrowseKey(keyNo); }); });
    connect(list_, &TIndexBrowser::KeyDown, this, [this](int key, Qt::KeyboardModifiers) {
        if (key == Qt::Key_Return || key == Qt::Key_Enter) rowAction();
        if (key == Qt::Key_Delete && mode_ == Mode::Manage) guarded([&] { deleteProduct(); });
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

TEditProd::~TEditProd() {
    // The browser reads the fileblock: it goes first.
    delete list_;
    list_ = nullptr;
    if (fb_) storage::CloseFileblock(fb_);
}

QAction* TEditProd::action(const char* name, const QString& text, void (TEditProd::*slot)()) {
    if (!slot) return MakeCommand(this, name, text, nullptr);
    return MakeCommand(this, name, text, [this, slot] { guarded([&] { (this->*slot)(); }); });
}

void TEditProd::buildMenus() {
    const bool manage = mode_ == Mode::Manage;
    QAction* newAct = action("NewProd", "&New", &TEditProd::newProduct);
    QAction* editAct = action("EditInvoice", "&Edit", &TEditProd::editProduct);
    QAction* deleteAct = action("InvDelete", "&Delete", &TEditProd::deleteProduct);
    QAction* findAct = action("FindAct", "&Find", &TEditProd::findProduct);
    QAction* printAct = action("PrintAct", "&Print", &TEditProd::printProduct);
    QAction* listAct = action("ProdListAct", "Product &List", &TEditProd::productList);
    QAction* exportAct = action("ExportAct", "E&xport to Text File", &TEditProd::exportProducts);
    QAction* importAct = action("ImportAct", "Import from Text File", &TEditProd::importProducts);
    QAction* windowAct = action("PrintWindowAct", "Print &Window", &TEditProd::printWindow);
    QAction* helpAct = action("OverviewAct", "&Overview", &TEditProd::overview);
    helpAct->setEnabled(bool(ctx_.openHelp));
    QAction* closeAct = MakeCloseCommand(this);
    SetCommandIcons({{newAct, "New"},
                     {editAct, "Edit"},
                     {deleteAct, "Delete"},
                     {findAct, "Find"},
                     {printAct, "Print"},
                     {listAct, "List"},
                     {exportAct, "Export"},
                     {importAct, "Import"},
                     {windowAct, "Print"},
                     {helpAct, "Help"},
                     {closeAct, "Close"}});
    // A picker picks and may add or correct a product; deleting is left to the manager.
    for (QAction* a : {deleteAct, importAct})
        a->setEnabled(a->isEnabled() && manage);

    byCode_ = new QAction("By &Code", this);
    byCode_->setObjectName("ByCodeAct");
    byDescription_ = new QAction("By &Description", this);
    byDescription_->setObjectName("ByDescriptionAct");
    for (QAction* a : {byCode_, byDescription_})
        a->setCheckable(true);
    connect(byCode_, &QAction::triggered, this, [this] { guarded([&] { setBrowseKey(1); }); });
    connect(byDescription_, &QAction::triggered, this,
            [this] { guarded([&] { setBrowseKey(2); }); });

    // The Product menu and the list's right-click menu hold the same commands.
    const ManagerFrame::Entries commands = {newAct,    editAct,   deleteAct, nullptr,   findAct,
                                            nullptr,   printAct,  listAct,   windowAct, nullptr,
                                            exportAct, importAct, nullptr,   closeAct};
    frame_.addShortcuts({{newAct, QKeySequence::New},
                         {findAct, QKeySequence::Find},
                         {printAct, QKeySequence::Print},
                         {deleteAct, QKeySequence(Qt::Key_Delete)},
                         {helpAct, QKeySequence::HelpContents}});
    frame_.addMenu("&Product", commands);
    frame_.addMenu("&Display", {byCode_, byDescription_});
    frame_.addMenu("&Help", {helpAct});
    frame_.addListPopup(list_, commands);
    frame_.addTools(
        {{"NewBtn", "New", "Add a new product", newAct},
         {"EditBtn", "Edit", "Edit the highlighted product", editAct},
         {"DeleteBtn", "Delete", "Delete the highlighted product", deleteAct},
         {"SpeedButton1", "Find", "Find a product by any part of its code or description", findAct},
         {"PrintBtn", "Print", "Print the highlighted product", printAct},
         {"ProdListButn", "Product List", "View and print a list of all products", listAct},
         {"ExportBtn", "Export", "Export the products to a text file", exportAct},
         {"ImportBtn", "Import", "Import products from a text file", importAct},
         {"HelpBtn", "Help", "Help on the Product Manager", helpAct},
         {"CloseBtn", "Close", "Close the Product Manager", closeAct}});
}

template <class Body>
void TEditProd::guarded(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        ctx_.prompter->inform(kTitle, e.what(), Icon::Error);
    }
}

bool TEditProd::openFiles() {
    data::OpenRequest request;
    request.name = data::FileblockName(ctx_.dataFolder, data::FileKind::Product,
                                       data::CompanyPrefix(ctx_.company->ansi(Company::CompanyNo)));
    request.kind = data::FileKind::Product;
    request.giveUp = data::GiveUpMessage("Unable to open database");
    request.progress = ctx_.progress;
    request.rebuildTitle = "Products";
    data::OpenResult r = data::OpenBusinessFileblock(request, *ctx_.prompter);
    if (!r) return false;
    fb_ = r.fb;

    AttachManagerList(
        list_, fb_, gBrowseKey, buffer_.data(), buffer_.size(),
        [this] { return products::ManagerRow(buffer_); }, products::ManagerHeader(),
        products::ManagerColumns());
    byCode_->setChecked(gBrowseKey == 1);
    byDescription_->setChecked(gBrowseKey == 2);
    guarded([&] { list_->JumpToKey(""); });
    updateCount();
    list_->setFocus();
    return true;
}

void TEditProd::positionAt(const std::string& code, const std::string& description) {
    if (!fb_) return;
    data::ProductRecord probe;
    probe.setText(Product::ProdCode, code);
    probe.setText(Product::Description, description);
    guarded([&] { list_->JumpToKey(data::ProductKey(probe, gBrowseKey)); });
}

bool TEditProd::Run(const ProductWindowContext& context, QWidget* parent) {
    bool rebuild = false;
    data::ImportResult imported;
    {
        TEditProd form(context, Mode::Manage, parent);
        if (!form.openFiles()) return false;
        form.exec();
        rebuild = form.rebuildPending();
        imported = form.imported_;
    }
    // The manager has closed the product file: it can be rebuilt.
    if (rebuild) FinishImport(context, imported);
    return true;
}

void TEditProd::FinishImport(const ProductWindowContext& context,
                             const data::ImportResult& result) {
    platform::SilentProgress silent;
    platform::Progress& progress = context.progress ? *context.progress : silent;
    if (!products::RebuildProductFile(
            context.dataFolder, data::CompanyPrefix(context.company->ansi(Company::CompanyNo)),
            progress)) {
        context.prompter->inform("Product Import",
                                 "The imported products were stored, but the product file could "
                                 "not be rebuilt: error " +
                                     std::to_string(storage::EngineError) +
                                     ". Use Rebuild Data Files on the Tools menu.",
                                 Icon::Error);
        return;
    }
    context.prompter->ask(products::ProductImportDoneMessage(result));
}

WindowServices TEditProd::services() const {
    return ServicesOf(ctx_);
}

void TEditProd::exportProducts() {
    if (!fb_) return;
    TExportForm::Setup setup;
    setup.title = "Product Export to File";
    setup.alwaysCaption = "Product Code (always)";
    setup.options = {{"DescBox", "Invoice Description", true},
                     {"TaxableBox", "Taxable Code", true},
                     {"PriceBox", "Sales Price", true}};
    setup.baseName = "ProdList";
    setup.helpTopic = "Product Import and Export";
    setup.boundsSection = "ProdExport";
    TExportForm form(setup, services(), this);
    form.setMakeLines([this](const std::vector<bool>& t, const data::DelimitedFormat& format) {
        products::ProductExportChoice choice;
        choice.description = t.at(0);
        choice.taxable = t.at(1);
        choice.price = t.at(2);
        choice.format = format;
        platform::SilentProgress silent;
        return products::ProductExportLines(fb_, choice, ctx_.progress ? *ctx_.progress : silent);
    });
    form.exec();
}

void TEditProd::importProducts() {
    if (!fb_ || mode_ != Mode::Manage) return;
    TImportForm::Setup setup;
    setup.title = "Product Import";
    setup.headings.assign(products::kImportHeadings.begin(), products::kImportHeadings.end());
    setup.widths = {110, 280, 70, 100};
    setup.helpTopic = "Product Import and Export";
    setup.boundsSection = "ProdImport";
    TImportForm form(setup, services(), this);
    bool imported = false;
    form.setOnImport([&] {
        data::DelimitedText text;
        text.rows = form.rows();
        const std::vector<products::ProductImportRow> rows = products::ProductImportRows(text);
        if (rows.empty()) return;
        form.setLabel(QString::fromUtf8(data::kImportingText.data()));
        platform::SilentProgress silent;
        imported_ = products::ImportProducts(
            fb_, rows, today(), ctx_.progress ? *ctx_.progress : silent, *ctx_.prompter);
        imported = true;
        form.accept();
    });
    form.exec();
    if (!imported) return;
    if (imported_.added == 0) {
        // Nothing was stored: the file needs no rebuild and the manager stays open.
        ctx_.prompter->ask(products::ProductImportDoneMessage(imported_));
        return;
    }
    // The stored rows have no keys yet: the manager closes and the file is rebuilt.
    rebuildPending_ = true;
    accept();
}

void TEditProd::done(int result) {
    frame_.saveBounds();
    QDialog::done(result);
}

QString TEditProd::countText() const {
    return countPanel_->text();
}

QString TEditProd::messageText() const {
    return messagePanel_->text();
}

void TEditProd::setMessage(const QString& text) {
    messagePanel_->setText(text);
}

std::string TEditProd::today() const {
    return products::TodayText(*ctx_.company, *ctx_.clock);
}

void TEditProd::refreshList() {
    guarded([&] { list_->Refresh(); });
    updateCount();
}

void TEditProd::updateCount() {
    int32_t n = fb_ ? storage::KeyCount(fb_, 1) : 0;
    if (!storage::EngineOk) n = 0;
    countPanel_->setText("Products: " + QString::number(n));
}

bool TEditProd::currentProduct(int32_t& recNo, data::ProductRecord& record) {
    if (!list_->ReadHighlighted(recNo)) return false;
    record = buffer_;
    return true;
}

void TEditProd::positionOn(const data::ProductRecord& record, int32_t recNo) {
    list_->JumpToKey(data::ProductKey(record, gBrowseKey), recNo);
    updateCount();
}

void TEditProd::newProduct() {
    if (!fb_) return;
    TUpdProd editor(*ctx_.prompter, ctx_.dataFolder, this);
    editor.setHelp(ctx_.openHelp);
    const std::string date = today();
    editor.setEntry(products::NewProductEntry(date), true);
    data::ProductRecord added;
    int32_t recNo = 0;
    editor.setCheck([&](products::ProductEntry& e) {
        return products::CheckProductEntry(e, products::kAddStartingCode, fb_);
    });
    editor.setSave([&](products::ProductEntry& e) {
        recNo = products::SaveNewProduct(fb_, {ctx_.dataFolder, prefix()}, e, editor.unitCode(),
                                         date, *ctx_.prompter, &added);
    });
    if (editor.exec() != QDialog::Accepted) return;
    positionOn(added, recNo);
}

void TEditProd::editProduct() {
    int32_t recNo = 0;
    data::ProductRecord asRead;
    if (!currentProduct(recNo, asRead)) return;
    const std::string starting = products::CodeForCompare(asRead.text(Product::ProdCode));
    TUpdProd editor(*ctx_.prompter, ctx_.dataFolder, this);
    editor.setHelp(ctx_.openHelp);
    editor.setEntry(products::EntryFromRecord(asRead), false);
    editor.setUnitCode(data::ReadProductUnitCode(ctx_.dataFolder, prefix(),
                                                 asRead.text(Product::ProdCode), *ctx_.prompter));
    data::ProductRecord saved = asRead;
    editor.setCheck(
        [&](products::ProductEntry& e) { return products::CheckProductEntry(e, starting, fb_); });
    editor.setSave([&](products::ProductEntry& e) {
        products::SaveProductChange(fb_, {ctx_.dataFolder, prefix()}, recNo, asRead, e,
                                    editor.unitCode(), today(), *ctx_.prompter, &saved);
    });
    if (editor.exec() != QDialog::Accepted) return;
    positionOn(saved, recNo);
}

std::string TEditProd::prefix() const {
    return data::CompanyPrefix(ctx_.company->text(data::Company::CompanyNo));
}

void TEditProd::deleteProduct() {
    int32_t recNo = 0;
    data::ProductRecord product;
    if (!currentProduct(recNo, product)) return;
    const products::UnitCodeFiles units{ctx_.dataFolder, prefix()};
    if (!products::DeleteProduct(fb_, recNo, product, *ctx_.prompter, &units)) return;
    list_->Refresh();
    updateCount();
}

void TEditProd::findProduct() {
    if (!fb_) return;
    TFindForm find(fb_, customers::FindMode::Prod, "Find Product", services(), this);
    if (find.exec() != QDialog::Accepted || !find.picked()) return;
    // The picked row's product code, looked up through the code key.
    auto found = products::FindProductByCode(fb_, find.picked()->cells[0]);
    if (!found) {
        ctx_.prompter->inform("Find Product", "Product Search operation failed", Icon::Error);
        return;
    }
    positionOn(found->record, found->recNo);
}

void TEditProd::printProduct() {
    int32_t recNo = 0;
    data::ProductRecord product;
    if (!currentProduct(recNo, product)) return;
    if (!PrinterReady(*ctx_.prompter, "Print")) return;
    platform::qt::PainterCanvas canvas(platform::qt::ProgramPrinter());
    if (!products::PrintProduct(canvas, product, *ctx_.company, *ctx_.clock)) {
        ctx_.prompter->inform("Print", "The product could not be printed. " + canvas.lastError(),
                              Icon::Error);
        return;
    }
    setMessage(
        Q("Product: " + data::TrimmedText(product.text(Product::ProdCode)) + " sent to printer."));
}

void TEditProd::productList() {
    if (!fb_) return;
    const Answer answer =
        ctx_.prompter->ask(platform::Message{products::kListTitle, products::kListQuestion,
                                             Icon::Question, Buttons::YesNoCancel, Answer::No});
    if (answer == Answer::Cancel) return;
    const auto order =
        answer == Answer::Yes ? products::ListOrder::ByCode : products::ListOrder::ByDescription;
    platform::SilentProgress silent;
    platform::Progress& progress = ctx_.progress ? *ctx_.progress : silent;
    std::vector<std::string> lines =
        products::ProductListLines(fb_, *ctx_.company, order, *ctx_.clock, progress);
    std::string error;
    if (!output::WriteTextList(ctx_.dataFolder, lines, &error)) {
        ctx_.prompter->inform(products::kListTitle, error, Icon::Error);
        return;
    }
    const output::Font font = ManagerFont(*ctx_.company);
    TListViewer::ShowWorkFile(*ctx_.prompter, Q(products::ProductListTitle(order)), ctx_.dataFolder,
                              platform::qt::ToQFont(font), platform::qt::ToQColor(font.color),
                              "Products.RTF", this);
}

void TEditProd::printWindow() {
    PrintWindowImage(this, *ctx_.prompter);
}

void TEditProd::setBrowseKey(int keyNo) {
    int32_t recNo = 0;
    data::ProductRecord product;
    const bool hasCurrent = currentProduct(recNo, product);
    gBrowseKey = keyNo == 2 ? 2 : 1;
    byCode_->setChecked(gBrowseKey == 1);
    byDescription_->setChecked(gBrowseKey == 2);
    if (!fb_) return;
    list_->SetKeyNumber(gBrowseKey);
    if (hasCurrent) positionOn(product, recNo);
    updateCount();
}

void TEditProd::overview() {
    if (ctx_.openHelp) ctx_.openHelp(std::string(products::kManagerHelpTopic));
}

void TEditProd::rowAction() {
    if (mode_ == Mode::Manage) {
        guarded([&] { editProduct(); });
        return;
    }
    int32_t recNo = 0;
    data::ProductRecord product;
    if (!currentProduct(recNo, product)) return;
    picked_ = product;
    accept();
}

}  // namespace invarro::ui
