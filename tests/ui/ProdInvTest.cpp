// The invoice editor driven offscreen: a new line-item invoice, a memo invoice and an edit.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "customers/CustEdit.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "products/ProdEdit.h"
#include "storage/Engine.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/RecordingCanvas.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/InvList.h"
#include "ui/ProdForm.h"
#include "ui/ProdInv.h"

namespace invarro::ui {
namespace {

using data::Customer;
using data::Invoice;
using platform::Answer;
using testing::Child;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

class ProdInvTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        invoicing::ForgetInvoiceDate();
        company.setText(data::Company::NextInvNo, "1051");
        company.setText(data::Company::DefTaxRate, "7");
        company.setText(data::Company::DefInvQty, "1.00");
        company.setByte(data::Company::CalcTaxes, 1);
        storeCompany();
        // Customers and products go on file before the invoice files are opened.
        storage::Fileblock* cust = createOpen(data::FileKind::Customer);
        customers::CustomerEntry e = customers::NewCustomerEntry(company);
        e.number = "C7";
        e.name = "Harbor Cafe";
        e.shortName = "Harbor";
        custRecord = customers::NewCustomerRecord(e);
        custRecord.setText(Customer::Balance, "100.00");
        custRecord.setText(Customer::Age0to30, "100.00");
        ASSERT_TRUE(data::AddBusinessRecord(cust, custRecord, prompter).ok());
        storage::CloseFileblock(cust);
        storage::Fileblock* prod = createOpen(data::FileKind::Product);
        products::ProductEntry p = products::NewProductEntry("02/01/2024");
        p.code = "MUG";
        p.description = "Coffee mug";
        p.price = "8.50";
        p.taxable = true;
        products::AddProduct(prod, p, "02/01/2024", prompter);
        storage::CloseFileblock(prod);
        ctx.windows.dataFolder = dir.path();
        ctx.windows.company = &company;
        ctx.windows.prompter = &prompter;
        ctx.windows.clock = &clock;
        ctx.invoices = createOpen(data::FileKind::Invoice);
        ctx.lines = createOpen(data::FileKind::InvoiceLine);
        ctx.memos = createOpen(data::FileKind::Memo);
    }
    void TearDown() override {
        for (storage::Fileblock** fb : {&ctx.invoices, &ctx.lines, &ctx.memos})
            if (*fb) storage::CloseFileblock(*fb);
        CompanyWindowTest::TearDown();
        invoicing::ForgetInvoiceDate();
    }
    storage::Fileblock* createOpen(data::FileKind kind) {
        const std::string name = companyFile(kind);
        EXPECT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(kind)));
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        EXPECT_TRUE(storage::EngineOk);
        return fb;
    }
    std::unique_ptr<TProdInv> openNew() {
        auto ed = invoicing::InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst,
                                                   data::Today(clock));
        auto w = std::make_unique<TProdInv>(ctx, std::move(ed));
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    void type(QWidget* w, const char* name, const QString& text) {
        auto* e = Child<QLineEdit>(w, name);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
    }
    void grab(QWidget* w, const char* file) {
        if (const char* dirOut = std::getenv("INVARRO_SHOTS"))
            w->grab().save(QString(dirOut) + "/" + file);
    }

    platform::FixedClock clock{{2024, 3, 15, 10, 0, 0}};
    data::CustomerRecord custRecord;
    InvoiceEditorContext ctx;
};

TEST_F(ProdInvTest, NewLineItemInvoiceFromTheKeyboard) {
    auto w = openNew();
    EXPECT_EQ(w->windowTitle(), "Add Invoice - Company: Northside Supply - #1");
    EXPECT_EQ(Child<QLabel>(w.get(), "IMode")->text(), "Add Mode");
    EXPECT_EQ(Child(w.get(), "INum")->text(), "1051");
    EXPECT_EQ(Child(w.get(), "IDate")->text(), "03/15/2024");
    EXPECT_EQ(Child(w.get(), "KeyCode")->text(), "None");
    EXPECT_EQ(w->cell(1, 1), "Dbl-Clk Me");
    EXPECT_EQ(w->cell(99, 0), "99");
    EXPECT_EQ(Child<QCheckBox>(w.get(), "CheckBox2")->text(), "Calc. Tax");
    // A new invoice may be printed once saved; the company's default print flag is off.
    EXPECT_TRUE(Child<QCheckBox>(w.get(), "PrintFlag")->isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(w.get(), "PrintFlag")->isChecked());
    auto* grid = Child<QTableWidget>(w.get(), "StringGrid1");
    EXPECT_EQ(grid->rowCount(), 99);
    EXPECT_EQ(grid->horizontalHeaderItem(3)->text(), "Description / Comment");

    // OK without a customer.
    prompter.expect(
        "You need to select a customer. Click on the Customer Picture Button in the upper left "
        "hand corner to select a customer.");
    w->accept();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->focusWidget(), Child<QPushButton>(w.get(), "BitBtn3"));

    w->customerChosen(custRecord);
    EXPECT_EQ(Child<QLabel>(w.get(), "ICustName")->text(), "Harbor Cafe");
    EXPECT_EQ(Child<QLabel>(w.get(), "CBal")->text(), "100.00");
    EXPECT_EQ(Child<QLabel>(w.get(), "Acur")->text(), "100.00");
    EXPECT_EQ(Child(w.get(), "EBSName")->text(), "Harbor");

    // A product code typed into row 1 is looked up.
    w->setCell(1, 1, "mug");
    QTest::qWait(50);
    EXPECT_EQ(w->cell(1, 1), "MUG");
    EXPECT_EQ(w->cell(1, 3), "Coffee mug");
    EXPECT_EQ(w->cell(1, 5), "Y");
    w->setCell(1, 2, "3");
    EXPECT_EQ(w->cell(1, 6), "25.50");
    // An unknown code asks whether to add it.
    prompter.expect("That product code was not found. Would you like to add it now?", Answer::No);
    w->setCell(2, 1, "NOPE");
    QTest::qWait(50);
    w->setCell(2, 1, "");
    w->setCell(2, 3, "Gift wrapping");
    w->setCell(2, 4, "2");
    w->setCell(2, 5, "n");
    EXPECT_EQ(w->cell(2, 6), "2.00");
    EXPECT_EQ(Child(w.get(), "INet")->text(), "27.50");
    EXPECT_EQ(Child(w.get(), "ITax")->text(), "1.79");
    EXPECT_EQ(Child<QLabel>(w.get(), "ITotal")->text(), "29.29");
    type(w.get(), "IPaid", "30");
    EXPECT_EQ(Child<QLabel>(w.get(), "BalDue")->text(), "-0.71");
    EXPECT_TRUE(Child<QLabel>(w.get(), "BalDue")->styleSheet().contains("red"));
    grab(w.get(), "editor-new.png");

    prompter.expect("The paid amount cannot exceed the invoice total amount.");
    w->accept();
    EXPECT_EQ(w->focusWidget(), Child<QLineEdit>(w.get(), "IPaid"));
    type(w.get(), "IPaid", "10");
    w->accept();
    EXPECT_EQ(w->result(), QDialog::Accepted);
    auto saved = w->save();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, "Added invoice 1051 containing 2 line item(s).");
    auto header = data::ReadBusinessRecord<data::Invoice>(ctx.invoices, saved->recNo);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->text(Invoice::Total), "29.29");
    EXPECT_EQ(header->text(Invoice::BalanceDue), "19.29");
    EXPECT_EQ(company.text(data::Company::NextInvNo), "1052");
}

// Enter in a code cell being typed in: the cell editor's text is committed by a queued
// event, and the look-up is queued behind it, so that the queued events, run in their order
// and nothing else (no timer), commit the code and then look it up. Looked up before the
// commit (as a zero-time timer could be on a busy machine, or a look-up of an earlier line
// still queued), the cell was still empty: the product picker opened and the code typed
// was never looked up.
TEST_F(ProdInvTest, EnterInACodeBeingTypedLooksItUpAfterItIsCommitted) {
    auto w = openNew();
    auto* grid = Child<QTableWidget>(w.get(), "StringGrid1");
    for (int row : {0, 1}) {
        grid->setCurrentCell(row, 1);
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_M);
        QWidget* editor = grid->indexWidget(grid->currentIndex());
        ASSERT_NE(editor, nullptr) << "the key opened no cell editor";
        QTest::keyClicks(editor, "ug");
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_EQ(w->cell(row + 1, 3), "") << "nothing happens before the queued events run";
        // The queued events, and those they queue in turn.
        for (int round = 0; round < 3; ++round)
            QCoreApplication::sendPostedEvents();
        EXPECT_EQ(w->cell(row + 1, 1), "MUG");
        EXPECT_EQ(w->cell(row + 1, 3), "Coffee mug") << "row " << row + 1;
        EXPECT_EQ(grid->currentRow(), row);
        EXPECT_EQ(grid->currentColumn(), 2) << "the quantity is next";
    }
}

TEST_F(ProdInvTest, GridCommandsAndTheQuoteBox) {
    auto w = openNew();
    w->customerChosen(custRecord);
    w->setCell(1, 1, "");
    w->setCell(1, 3, "First");
    w->setCell(1, 4, "10");
    w->setCell(2, 3, "Second");
    w->setCell(2, 4, "5");
    w->goToRow(2);
    w->insertLine();
    EXPECT_EQ(w->cell(3, 3), "Second");
    EXPECT_EQ(w->cell(2, 3), "");
    w->makeComment();
    EXPECT_EQ(w->currentColumn(), 3);
    w->setCell(2, 3, "A comment");
    EXPECT_EQ(w->cell(2, 6), "");
    w->goToRow(1);
    w->eraseLine();
    EXPECT_EQ(w->cell(1, 3), "");
    EXPECT_EQ(Child(w.get(), "INet")->text(), "5.00");
    auto* quote = Child<QCheckBox>(w.get(), "QuoteCB");
    quote->click();
    EXPECT_FALSE(Child(w.get(), "IPaid")->isVisible());
    EXPECT_FALSE(Child<QLabel>(w.get(), "BalDue")->isVisible());
    w->goToRow(99);
    EXPECT_EQ(w->currentRow(), 99);
    // Saved lines: none yet, then written and loaded back.
    prompter.expect("You have not created a saved lines file.");
    w->loadSavedLines();
    prompter.expect("The saved lines file has been replaced with the current invoice lines.");
    w->saveLines();
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir.path()) / "SAVELINE.SAV"));
    w->eraseAll();
    EXPECT_EQ(w->cell(3, 3), "");
    w->loadSavedLines();
    EXPECT_EQ(w->cell(3, 3), "Second");
}

TEST_F(ProdInvTest, TabLeavesTheLineGridFromAnEmptyLineAndArrowsStayInIt) {
    auto w = openNew();
    w->customerChosen(custRecord);
    auto* grid = Child<QTableWidget>(w.get(), "StringGrid1");
    w->setCell(1, 3, "First");
    w->setCell(1, 4, "10");
    w->goToRow(1);
    grid->setCurrentCell(0, 3);
    QTest::keyClick(grid, Qt::Key_Tab);  // a line with text: the next cell
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentColumn(), 4);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(w->currentRow(), 2);
    QTest::keyClick(grid, Qt::Key_Tab);  // an empty line: out of the grid
    EXPECT_FALSE(grid->hasFocus());
    EXPECT_FALSE(grid->isAncestorOf(QApplication::focusWidget()));
    w->goToRow(2);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier);  // and back before it
    EXPECT_FALSE(grid->hasFocus());
    // Ctrl+Tab leaves from any line.
    w->goToRow(1);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_FALSE(grid->hasFocus());

    // A filled line is walked cell by cell to its end, then Tab leaves: never on to the
    // next line, so that no number of filled lines keeps the keyboard in the grid.
    w->setCell(2, 3, "Second");
    w->goToRow(1);
    grid->setFocus();
    grid->setCurrentCell(0, 0);
    int tabs = 0;
    while (grid->hasFocus() && tabs < 50) {
        EXPECT_EQ(w->currentRow(), 1) << "Tab stays on its line";
        QTest::keyClick(grid, Qt::Key_Tab);
        ++tabs;
    }
    EXPECT_EQ(tabs, grid->columnCount()) << "one Tab per cell, then out";
    EXPECT_FALSE(grid->isAncestorOf(QApplication::focusWidget()));
    // Shift+Tab from a filled line's first cell leaves backwards; inside, it steps back.
    grid->setFocus();
    grid->setCurrentCell(0, 2);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(grid->currentColumn(), 1);
    grid->setCurrentCell(0, 0);
    QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_FALSE(grid->hasFocus());
}

TEST_F(ProdInvTest, MemoInvoice) {
    auto w = openNew();
    w->customerChosen(custRecord);
    Child<QRadioButton>(w.get(), "RadioButton2")->click();
    EXPECT_FALSE(Child<QTableWidget>(w.get(), "StringGrid1")->isVisible());
    EXPECT_FALSE(Child<QCheckBox>(w.get(), "CheckBox2")->isVisible());
    EXPECT_FALSE(Child<QPushButton>(w.get(), "DeleteLine")->isEnabled());
    EXPECT_FALSE(Child(w.get(), "INet")->isReadOnly());
    type(w.get(), "MemoPDesc", "Catering");
    type(w.get(), "INet", "1,000.00");
    EXPECT_EQ(Child<QLabel>(w.get(), "TaxLbl")->text(), "Tax on 1,000.00 is 70.00.");
    type(w.get(), "ITax", "70");
    auto* memo = Child<QPlainTextEdit>(w.get(), "Memo1");
    memo->setPlainText("Lunch for 40 guests\nDelivered and set up");
    grab(w.get(), "editor-memo.png");
    w->accept();
    ASSERT_EQ(w->result(), QDialog::Accepted);
    EXPECT_EQ(Child(w.get(), "MemoQuan")->text(), "1");
    auto saved = w->save();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->lines, 1);
    auto memoRec = invoicing::StoredMemo(ctx.memos, "1051");
    ASSERT_TRUE(memoRec);
    EXPECT_EQ(data::MemoLines(memoRec->second),
              (std::vector<std::string>{"Lunch for 40 guests", "Delivered and set up"}));
    auto header = data::ReadBusinessRecord<data::Invoice>(ctx.invoices, saved->recNo);
    EXPECT_EQ(header->text(Invoice::Total), "1070.00");
    EXPECT_EQ(header->text(Invoice::InvoiceStyle), "M");
}

TEST_F(ProdInvTest, EditKeepsTheFormatAndCustomer) {
    int32_t recNo = 0;
    {
        auto w = openNew();
        w->customerChosen(custRecord);
        w->setCell(1, 1, "");
        w->setCell(1, 3, "Service call");
        w->setCell(1, 4, "80");
        w->setCell(1, 5, "N");
        w->accept();
        recNo = w->save()->recNo;
    }
    WhenModal<TProdInv>([this](TProdInv* w) {
        EXPECT_EQ(w->windowTitle(), "Edit Invoice");
        EXPECT_EQ(Child<QLabel>(w, "IMode")->text(), "Edit Mode");
        EXPECT_FALSE(Child<QPushButton>(w, "BitBtn3")->isEnabled());
        EXPECT_FALSE(Child<QRadioButton>(w, "RadioButton1")->isEnabled());
        EXPECT_FALSE(Child<QRadioButton>(w, "RadioButton2")->isEnabled());
        EXPECT_EQ(w->focusWidget(), Child(w, "INVNOTES"));
        EXPECT_EQ(Child<QLabel>(w, "ICustName")->text(), "Harbor Cafe");
        EXPECT_EQ(Child<QLabel>(w, "CBal")->text(), "180.00");
        EXPECT_EQ(w->cell(1, 3), "Service call");
        EXPECT_EQ(w->cell(1, 6), "80.00");
        w->setCell(1, 4, "95");
        type(w, "INum", "1051B");
        grab(w, "editor-edit.png");
        w->accept();
    });
    const data::InvoiceRecord asRead =
        *data::ReadBusinessRecord<data::Invoice>(ctx.invoices, recNo);
    auto saved = TProdInv::EditInvoice(ctx, recNo, asRead);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->status, "Editing of 1051B completed.");
    auto header = data::ReadBusinessRecord<data::Invoice>(ctx.invoices, recNo);
    EXPECT_EQ(header->text(Invoice::Total), "95.00");
    EXPECT_EQ(invoicing::StoredLines(ctx.lines, "1051B").size(), 1u);
    EXPECT_TRUE(invoicing::StoredLines(ctx.lines, "1051").empty());
}

TEST_F(ProdInvTest, WorkTimerRunsOnAfterTheEditorCloses) {
    auto w = openNew();
    int changes = 0;
    ctx.timerChanged = [&] { ++changes; };
    auto w2 = std::make_unique<TProdInv>(
        ctx,
        invoicing::InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, data::Today(clock)));
    w2->toggleTimer();
    EXPECT_TRUE(invoicing::EditorWorkTimer().running());
    EXPECT_EQ(Child<QPushButton>(w2.get(), "TimeBtn")->text(), "&Stop");
    clock.set({2024, 3, 15, 11, 30, 0});
    w2.reset();
    EXPECT_TRUE(invoicing::EditorWorkTimer().running());
    auto w3 = std::make_unique<TProdInv>(
        ctx,
        invoicing::InvoiceEditor::ForNew(company, data::DateOrder::MonthFirst, data::Today(clock)));
    EXPECT_EQ(Child<QLabel>(w3.get(), "TimeElapsed")->text(), "01:30:00");
    EXPECT_EQ(Child<QLabel>(w3.get(), "TimeHours")->text(), "01.500");
    w3->toggleTimer();
    EXPECT_FALSE(invoicing::EditorWorkTimer().running());
    EXPECT_EQ(changes, 2);
}

// The invoice manager of the demo installation opens the editor for New and Edit.
TEST(ProdInvDemo, ManagerOpensTheEditorOnDemoData) {
    testing::QtApp();
    storage::SetPoolFloor(0);
    ASSERT_EQ(storage::InitEngine(30), 30);
    TempDir dir;
    ScriptedPrompter prompter;
    ASSERT_TRUE(app::CreateDemoInstallation(dir.path(), prompter).ok);
    data::CompanyRecord company = *data::ReadLastCompany(dir.path());
    platform::FixedClock clock{{2026, 12, 8, 9, 0, 0}};
    InvoiceWindowContext ctx;
    testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
    ctx.editor = InvoiceEditorFor(nullptr);
    {
        Tinvlist manager(ctx);
        ASSERT_TRUE(manager.openFiles());
        manager.show();
        // An open invoice with a discount line, never printed: it may be edited.
        storage::Fileblock* invoices = manager.invoiceFiles().invoices;
        int32_t chosen = 0;
        data::InvoiceRecord record;
        for (int32_t rec = storage::NextUsedRecord(invoices, 0); rec > 0 && !chosen;
             rec = storage::NextUsedRecord(invoices, rec)) {
            auto r = data::ReadBusinessRecord<data::Invoice>(invoices, rec);
            if (!r || r->text(Invoice::TransType) != "I" || !r->money(Invoice::Paid).isZero())
                continue;
            for (auto& [n, l] :
                 invoicing::StoredLines(manager.invoiceFiles().lines, r->text(Invoice::InvNo)))
                if (l.text(data::InvoiceLine::LineText).find("Discount on") != std::string::npos)
                    chosen = rec, record = *r;
        }
        ASSERT_NE(chosen, 0);
        manager.showRecord(record, chosen);
        WhenModal<TProdInv>([&](TProdInv* w) {
            w->resize(820, 620);
            if (const char* out = std::getenv("INVARRO_SHOTS"))
                w->grab().save(QString(out) + "/editor-demo-edit.png");
            EXPECT_EQ(w->windowTitle(), "Edit Invoice");
            EXPECT_EQ(Child<QLabel>(w, "ITotal")->text(),
                      Q(record.money(Invoice::Total).shownText()));
            w->reject();
        });
        manager.editInvoice();
        const std::string nextNo = data::TrimmedText(company.text(data::Company::NextInvNo));
        WhenModal<TProdInv>([&](TProdInv* w) {
            EXPECT_EQ(Child(w, "INum")->text(), Q(nextNo));
            auto customer =
                invoicing::InvoiceCustomer(dir.path(), "1", record.text(Invoice::CustNo), prompter);
            ASSERT_TRUE(customer);
            w->customerChosen(*customer);
            w->setCell(1, 1, "ENV-10");
            QTest::qWait(50);
            w->resize(820, 620);
            if (const char* out = std::getenv("INVARRO_SHOTS"))
                w->grab().save(QString(out) + "/editor-demo-new.png");
            w->accept();
        });
        manager.addInvoice();
        EXPECT_TRUE(manager.messageText().startsWith("Added invoice " + Q(nextNo)));
        EXPECT_EQ(manager.timerText(), "Timer off");
    }
    storage::ExitEngine();
}

TEST(ProdInvDemo, PrintWhenCompletedPrintsTheNewInvoice) {
    testing::QtApp();
    storage::SetPoolFloor(0);
    ASSERT_EQ(storage::InitEngine(30), 30);
    TempDir dir;
    ScriptedPrompter prompter;
    ASSERT_TRUE(app::CreateDemoInstallation(dir.path(), prompter).ok);
    data::CompanyRecord company = *data::ReadLastCompany(dir.path());
    company.setByte(data::Company::DefaultPrintFlag, 1);
    platform::FixedClock clock{{2026, 12, 8, 9, 0, 0}};
    std::vector<std::string> jobs;
    InvoiceWindowContext ctx;
    testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
    ctx.editor = InvoiceEditorFor(nullptr);
    ctx.printerCanvas = [&jobs]() -> std::unique_ptr<output::Canvas> {
        struct Jobs : testing::RecordingCanvas {
            std::vector<std::string>& out;
            explicit Jobs(std::vector<std::string>& o) : out(o) {}
            ~Jobs() override {
                for (const auto& op : ops(testing::CanvasOp::Kind::Begin))
                    out.push_back(op.text);
            }
        };
        return std::make_unique<Jobs>(jobs);
    };
    {
        Tinvlist manager(ctx);
        ASSERT_TRUE(manager.openFiles());
        manager.show();
        const std::string nextNo = data::TrimmedText(company.text(data::Company::NextInvNo));
        // The customer of the first demo invoice.
        auto first = data::ReadBusinessRecord<data::Invoice>(
            manager.invoiceFiles().invoices,
            storage::NextUsedRecord(manager.invoiceFiles().invoices, 0));
        ASSERT_TRUE(first);
        auto customer =
            invoicing::InvoiceCustomer(dir.path(), "1", first->text(Invoice::CustNo), prompter);
        ASSERT_TRUE(customer);
        WhenModal<TProdInv>([&](TProdInv* w) {
            // The company's default print flag ticks the box.
            EXPECT_TRUE(Child<QCheckBox>(w, "PrintFlag")->isChecked());
            w->customerChosen(*customer);
            w->setCell(1, 1, "ENV-10");
            QTest::qWait(50);
            w->accept();
        });
        manager.addInvoice();
        EXPECT_EQ(jobs, std::vector<std::string>{"Invoice - " + nextNo});
        EXPECT_EQ(manager.messageText(), Q("Document " + nextNo + " sent to the printer."));
        int32_t recNo = 0;
        data::InvoiceRecord current;
        ASSERT_TRUE(manager.currentInvoice(recNo, current));
        auto stored =
            data::ReadBusinessRecord<data::Invoice>(manager.invoiceFiles().invoices, recNo);
        ASSERT_TRUE(stored);
        EXPECT_EQ(data::TrimmedText(stored->text(Invoice::InvNo)), nextNo);
        EXPECT_TRUE(stored->yes(Invoice::PrintedFlag));

        // Unticked, the invoice is saved and left for the batch print.
        jobs.clear();
        WhenModal<TProdInv>([&](TProdInv* w) {
            Child<QCheckBox>(w, "PrintFlag")->setChecked(false);
            w->customerChosen(*customer);
            w->setCell(1, 1, "ENV-10");
            QTest::qWait(50);
            w->accept();
        });
        manager.addInvoice();
        EXPECT_TRUE(jobs.empty());
        EXPECT_TRUE(manager.messageText().startsWith("Added invoice "));
    }
    storage::ExitEngine();
}

}  // namespace
}  // namespace invarro::ui
