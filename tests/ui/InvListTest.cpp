// The invoice manager, its quick view and the batch print dialog, driven offscreen.

#include <gtest/gtest.h>

#include <filesystem>

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "WindowFixture.h"
#include "data/IniFile.h"
#include "data/ListColumns.h"
#include "invoicing/InvoiceFixture.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "ui/DesktopTheme.h"
#include "ui/FindForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvList.h"
#include "ui/RepeatForm.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using invoicing::testing::Draft;
using platform::Answer;
using testing::Child;
using testing::WhenModal;

class InvListFormTest : public invoicing::testing::InvoiceTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        InvoiceTest::SetUp();
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
    }
    void TearDown() override {
        form.reset();
        InvoiceTest::TearDown();
    }
    // The window opens the files itself.
    void closeFiles() {
        for (storage::Fileblock** fb : {&invoices, &lines, &memos})
            if (*fb) storage::CloseFileblock(*fb);
    }
    void open() {
        closeFiles();
        form = std::make_unique<Tinvlist>(ctx);
        ASSERT_TRUE(form->openFiles());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    std::string current() {
        int32_t recNo = 0;
        data::InvoiceRecord r;
        if (!form->currentInvoice(recNo, r)) return "";
        return data::TrimmedText(r.text(Invoice::InvNo));
    }
    std::vector<std::string> rows() {
        std::vector<std::string> out;
        storage::Browser* b = form->list()->browser();
        for (int i = 1; i <= b->FilledRows(); ++i)
            out.push_back(data::TrimmedText(b->Row(i).text.substr(13, 9)));
        return out;
    }
    void addSet() {
        addCustomer("1001", 45000, {45000, 0, 0, 0});
        addCustomer("2002", 0);
        add({.no = "1041", .cust = "1001", .date = {2024, 4, 2}, .total = "150.00", .lines = 2});
        add({.no = "1042",
             .cust = "2002",
             .date = {2024, 4, 1},
             .total = "80.00",
             .paid = "80.00"});
        add({.no = "1043", .cust = "1001", .date = {2024, 4, 5}, .total = "300.00", .lines = 3});
        add({.no = "Q7", .type = 'Q', .cust = "2002", .date = {2024, 4, 3}, .total = "99.00"});
    }

    InvoiceWindowContext ctx;
    std::unique_ptr<Tinvlist> form;
};

TEST_F(InvListFormTest, AnEmptyCompanyGetsItsFilesAndAnEmptyList) {
    closeFiles();
    for (data::FileKind k :
         {data::FileKind::Invoice, data::FileKind::InvoiceLine, data::FileKind::Memo})
        storage::DeleteFileblock(name(k));
    prompter.expect("I am going to create a new, empty invoice file for this company.");
    ctx.emailMode = true;
    open();
    EXPECT_EQ(prompter.last().title, "New Company");
    EXPECT_EQ(form->windowTitle(), "Invoice Manager - (E-Mail Mode)");
    EXPECT_EQ(form->countText(), "Records: 0");
    EXPECT_EQ(form->messageText(), "Right-click mouse or select from menu bar.");
    EXPECT_EQ(form->timerText(), "Timer off");
    EXPECT_EQ(form->filterText(), "Filter Closed");
    EXPECT_EQ(form->companyText(), "Northside Supply - #1");
    EXPECT_EQ(form->receivablesText(), "1,000.00");
    EXPECT_EQ(Child<QLabel>(form.get(), "ARLabel")->text(), "A/R:");
    EXPECT_EQ(form->list()->Header().size(), 128);
    EXPECT_TRUE(form->list()->Header().startsWith("Year/Mo/Dy T Invoice#"));
    EXPECT_EQ(form->displayKey(), 3);
    // Nothing to act on: the commands do nothing.
    form->deleteInvoice();
    form->quickView();
    form->toggleFilter();
    EXPECT_FALSE(form->filterOn());
}

TEST_F(InvListFormTest, ADefectiveIndexIsRebuiltOnRequest) {
    addSet();
    closeFiles();
    std::filesystem::remove(storage::IndexFileName(name(data::FileKind::Invoice)));
    testing::RecordingProgress progress;
    ctx.progress = &progress;
    prompter.expect("Index file is defective.  Rebuild?", Answer::Yes);
    open();
    EXPECT_EQ(progress.titles, std::vector<std::string>{"Invoices"});
    EXPECT_EQ(form->countText(), "Records: 4");
    EXPECT_EQ(rows().size(), 4u);
}

TEST_F(InvListFormTest, FilesThatCannotBeOpenedEndWithTheEngineError) {
    // The line file is held open elsewhere: the engine refuses a second opening.
    storage::CloseFileblock(invoices);
    storage::OpenFileblock(name(data::FileKind::InvoiceLine), false);
    ASSERT_FALSE(storage::EngineOk);
    prompter.expect("Unable to open databases: " + std::to_string(storage::EngineError));
    Tinvlist f(ctx);
    EXPECT_FALSE(f.openFiles());
}

TEST_F(InvListFormTest, CommandsWhoseWindowsComeLaterAreDisabled) {
    open();
    for (const char* name : {"AddInvoiceBtn", "EditInvoiceBtn"})
        EXPECT_FALSE(Child<QWidget>(form.get(), name)->isEnabled()) << name;
    for (const char* name : {"AddInvoice"})
        EXPECT_FALSE(Child<QAction>(form.get(), name)->isEnabled()) << name;
    for (const char* name :
         {"InvDeleteBtn", "SpeedButton1", "CustDataButn", "SpeedButton2", "CloseBtn", "InvPrint",
          "ToPrinterButn", "SpeedButton6", "BatchPrinButn"})
        EXPECT_TRUE(Child<QWidget>(form.get(), name)->isEnabled()) << name;
    EXPECT_TRUE(Child<QAction>(form.get(), "RepeatSetupAct")->isEnabled());
    EXPECT_EQ(Child<QToolButton>(form.get(), "CustDataButn")->toolTip(),
              "Quick view of the record and its customer");
    // Help needs the help viewer.
    EXPECT_FALSE(Child<QWidget>(form.get(), "HelpBtn")->isEnabled());
}

TEST_F(InvListFormTest, OpensByDateOnTheLastInvoiceAndKeepsTheRecordAcrossOrders) {
    addSet();
    company.setText(Company::LastInvNo, "1042");
    open();
    EXPECT_EQ(rows(), (std::vector<std::string>{"1042", "1041", "Q7", "1043"}));
    EXPECT_EQ(current(), "1042");
    EXPECT_EQ(form->countText(), "Records: 4");
    EXPECT_TRUE(Child<QAction>(form.get(), "ByKey3")->isChecked());

    Child<QAction>(form.get(), "ByKey1")->trigger();
    EXPECT_EQ(form->displayKey(), 1);
    EXPECT_EQ(current(), "1042");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1041", "1042", "1043", "Q7"}));
    EXPECT_TRUE(Child<QAction>(form.get(), "ByKey1")->isChecked());
    EXPECT_FALSE(Child<QAction>(form.get(), "ByKey3")->isChecked());
    Child<QAction>(form.get(), "ByKey2")->trigger();
    EXPECT_EQ(current(), "1042");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1041", "1043", "1042", "Q7"}));
}

TEST_F(InvListFormTest, TheFilterShowsOneCustomerAndClearsAgain) {
    addSet();
    company.setText(Company::LastInvNo, "1043");
    open();
    QTest::mouseClick(Child<QToolButton>(form.get(), "SpeedButton2"), Qt::LeftButton);
    EXPECT_TRUE(form->filterOn());
    EXPECT_EQ(form->filterText(), "Filtering Customer#: 1001");
    EXPECT_EQ(form->messageText(), "Click filter button again to clear filter.");
    EXPECT_EQ(Child<QLabel>(form.get(), "CFilter")->palette().color(QPalette::WindowText),
              QColor(Qt::red));
    EXPECT_EQ(rows(), (std::vector<std::string>{"1041", "1043"}));
    EXPECT_EQ(current(), "1043");

    QTest::mouseClick(Child<QToolButton>(form.get(), "SpeedButton2"), Qt::LeftButton);
    EXPECT_FALSE(form->filterOn());
    EXPECT_EQ(form->filterText(), "Filter Closed");
    EXPECT_EQ(form->messageText(), "Filter closed.");
    EXPECT_EQ(rows().size(), 4u);
}

// The desktop turning dark and light again while the manager is open: the filter's yellow
// and red are those of the look there is now, the list and a search box that found nothing
// take the new look's colours (they were kept from the first look), and with the filter off
// the window is the theme's again.
TEST_F(InvListFormTest, TheFilterAndTheListFollowTheDesktopTurningDark) {
    addSet();
    company.setText(Company::LastInvNo, "1043");
    open();
    form->show();
    auto* label = Child<QLabel>(form.get(), "CFilter");
    auto* search = Child<QLineEdit>(form.get(), "SearchBox");
    form->toggleFilter();
    ASSERT_TRUE(form->filterOn());
    QTest::keyClicks(search, "zz");
    EXPECT_EQ(search->palette().color(QPalette::Base), QColor(255, 220, 220)) << "nothing found";
    const QColor lightYellow = form->palette().color(QPalette::Window);
    EXPECT_GT(lightYellow.lightness(), 180);

    ApplyColorScheme(ColorScheme::Dark);
    QApplication::processEvents();
    EXPECT_LT(form->palette().color(QPalette::Window).lightness(), 80) << "the dark yellow";
    EXPECT_NE(form->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Window));
    EXPECT_GT(label->palette().color(QPalette::WindowText).lightness(), 100) << "a light red";
    EXPECT_EQ(label->palette().color(QPalette::WindowText).hslHue(), 0);
    EXPECT_LT(form->list()->palette().color(QPalette::Base).lightness(), 80);
    EXPECT_GT(form->list()->palette().color(QPalette::Text).lightness(), 180);
    EXPECT_LT(form->palette().color(QPalette::Button).lightness(), 100);
    EXPECT_EQ(search->palette().color(QPalette::Base), QColor(255, 220, 220));
    EXPECT_LT(search->palette().color(QPalette::Button).lightness(), 100);

    form->toggleFilter();
    EXPECT_EQ(form->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Window));
    EXPECT_EQ(label->palette().color(QPalette::WindowText),
              QApplication::palette().color(QPalette::WindowText));
    QTest::keyClick(search, Qt::Key_Backspace);
    QTest::keyClick(search, Qt::Key_Backspace);
    EXPECT_EQ(search->palette().color(QPalette::Base),
              QApplication::palette().color(QPalette::Base));

    ApplyColorScheme(ColorScheme::NoPreference);
    QApplication::processEvents();
    EXPECT_GT(form->list()->palette().color(QPalette::Base).lightness(), 200);
    form->toggleFilter();
    EXPECT_EQ(form->palette().color(QPalette::Window), lightYellow);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(InvListFormTest, FindPutsTheListOnTheRecordPickedAndLiftsAFilterThatHidesIt) {
    addSet();
    company.setText(Company::LastInvNo, "1043");
    open();
    form->toggleFilter();  // customer 1001 only
    bool checked = false;
    WhenModal<TFindForm>([&](TFindForm* find) {
        EXPECT_EQ(find->windowTitle(), "Find Invoice/Payment");
        QTest::keyClicks(find->findChild<QLineEdit*>("FindText"), "q7");
        QTest::keyClick(find->findChild<QLineEdit*>("FindText"), Qt::Key_Return);
        ASSERT_EQ(find->rows().size(), 1u);
        QTest::keyClick(find->findChild<QTreeWidget*>("FindList"), Qt::Key_Return);
        checked = true;
    });
    QTest::mouseClick(Child<QToolButton>(form.get(), "SpeedButton1"), Qt::LeftButton);
    ASSERT_TRUE(checked);
    EXPECT_EQ(current(), "Q7");
    EXPECT_FALSE(form->filterOn());
}

TEST_F(InvListFormTest, DeleteKeyRemovesTheInvoiceAndRefreshesTotalsAndStatus) {
    addSet();
    company.setText(Company::LastInvNo, "1043");
    open();
    prompter.expect("Are you sure you want to delete this record?", Answer::Yes);
    QTest::keyClick(form->list(), Qt::Key_Delete);
    EXPECT_EQ(form->messageText(), "Deleted invoice 1043 containing 3 line item(s).");
    EXPECT_EQ(form->countText(), "Records: 3");
    EXPECT_EQ(form->receivablesText(), "700.00");
    EXPECT_EQ(rows(), (std::vector<std::string>{"1042", "1041", "Q7"}));
    EXPECT_EQ(customer("1001").money(Customer::Balance), data::Money::FromCents(15000));

    // A refused delete leaves everything as it was.
    company.setText(Company::AuditTrail, "Y");
    prompter.expect("The audit trail feature is turned on. Unable to delete record.");
    Child<QAction>(form.get(), "InvDelete")->trigger();
    EXPECT_EQ(form->countText(), "Records: 3");
}

TEST_F(InvListFormTest, CustomerDataOpensTheQuickView) {
    addSet();
    company.setText(Company::LastInvNo, "1041");
    open();
    bool shown = false;
    WhenModal<TQView>([&](TQView* v) {
        shown = true;
        EXPECT_EQ(Child<QLabel>(v, "INum")->text(), "1041  (Product Invoice)");
        EXPECT_EQ(Child<QLabel>(v, "IType")->text(), "I - Regular Invoice");
        EXPECT_EQ(Child<QLabel>(v, "ITotal")->text(), "150.00");
        EXPECT_EQ(Child<QLabel>(v, "CustName")->text(), "Customer 1001");
        EXPECT_EQ(Child<QLabel>(v, "CustBalance")->text(), "450.00");
        EXPECT_FALSE(Child<QLabel>(v, "IPaid")->isHidden());
        QTest::mouseClick(Child<QPushButton>(v, "OKBtn"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QToolButton>(form.get(), "CustDataButn"), Qt::LeftButton);
    EXPECT_TRUE(shown);
}

TEST_F(InvListFormTest, TheEditorHookGetsNewAndCheckedEditsAndTheListFollows) {
    addSet();
    company.setText(Company::LastInvNo, "1042");
    std::vector<InvoiceEditRequest> requests;
    ctx.editor = [&](Tinvlist& m, const InvoiceEditRequest& r) {
        requests.push_back(r);
        EXPECT_NE(m.invoiceFiles().invoices, nullptr);
        InvoiceEditResult result;
        if (!r.adding) return result;
        // What an editor does: add through the manager's open files.
        data::InvoiceRecord inv = invoicing::testing::MakeInvoice(
            {.no = "1044", .cust = "2002", .date = {2024, 4, 9}}, data::DateOrder::MonthFirst);
        auto added = data::AddBusinessRecord(m.invoiceFiles().invoices, inv, prompter);
        result.saved = added.ok();
        result.recNo = added.recNo;
        result.record = inv;
        result.message = "Added invoice 1044 containing 0 line item(s).";
        return result;
    };
    open();
    EXPECT_TRUE(Child<QWidget>(form.get(), "AddInvoiceBtn")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(form.get(), "EditInvoiceBtn")->isEnabled());

    // 1042 is paid in full: refused before the editor sees it.
    prompter.expect(
        "This record has been paid. You may not edit this record. You can use the Invoice-View "
        "menu option to look at this invoice.");
    QTest::mouseClick(Child<QToolButton>(form.get(), "EditInvoiceBtn"), Qt::LeftButton);
    EXPECT_TRUE(requests.empty());

    Child<QAction>(form.get(), "ByKey1")->trigger();
    QTest::keyClick(form->list(), Qt::Key_Up);
    EXPECT_EQ(current(), "1041");
    Child<QAction>(form.get(), "EditInvoice")->trigger();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].adding);
    EXPECT_EQ(data::TrimmedText(requests[0].asRead.text(Invoice::InvNo)), "1041");

    Child<QAction>(form.get(), "AddInvoice")->trigger();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[1].adding);
    EXPECT_EQ(current(), "1044");
    EXPECT_EQ(form->countText(), "Records: 5");
    EXPECT_EQ(form->messageText(), "Added invoice 1044 containing 0 line item(s).");
    form->setTimerRunning(true);
    EXPECT_EQ(form->timerText(), "Timer running...");
}

TEST_F(InvListFormTest, HelpOpensTheManagersPage) {
    std::vector<std::string> topics;
    ctx.openHelp = [&](const std::string& topic) { topics.push_back(topic); };
    open();
    QTest::mouseClick(Child<QToolButton>(form.get(), "HelpBtn"), Qt::LeftButton);
    ASSERT_EQ(topics, std::vector<std::string>{"Invoice Manager"});
    EXPECT_TRUE(QFileInfo::exists(QString(INVARRO_HELP_DIR) + "/Invoice Manager.html"));
}

TEST_F(InvListFormTest, BoundsAreKeptInTheirSection) {
    open();
    form->resize(700, 500);
    form->reject();
    data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_EQ(ini.readInteger("InvForm", "Width", 0), 700);
    EXPECT_EQ(ini.readInteger("InvForm", "Height", 0), 500);
}

TEST_F(InvListFormTest, TheBatchDialogTellsWhatWillBePrintedAndNeedsANumber) {
    company.setByte(Company::PrintPackSlip, 1);
    TInvBatch dlg(3, false, company, prompter, {});
    EXPECT_EQ(dlg.windowTitle(), "Batch Print Invoices");
    EXPECT_EQ(Child<QLabel>(&dlg, "Line1")->text(), "There are 3 invoice(s) to print.");
    EXPECT_EQ(Child<QLabel>(&dlg, "Line2")->text(), "Packing Slips will be printed.");
    EXPECT_EQ(Child<QLabel>(&dlg, "Line3")->text(), "File Copies are turned off.");
    EXPECT_EQ(Child<QPushButton>(&dlg, "OKBtn")->text(), "&Print");
    EXPECT_EQ(dlg.numberField()->text().trimmed(), "3");
    dlg.show();
    dlg.numberField()->selectAll();
    QTest::keyClick(dlg.numberField(), Qt::Key_Delete);
    prompter.expect("You need to specify the number to print.");
    QTest::mouseClick(Child<QPushButton>(&dlg, "OKBtn"), Qt::LeftButton);
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClicks(dlg.numberField(), "25");
    QTest::mouseClick(Child<QPushButton>(&dlg, "OKBtn"), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.count(), 3);

    TInvBatch mail(2, true, company, prompter, {});
    EXPECT_EQ(Child<QLabel>(&mail, "Line2")->text(), "* E-Mail Mode *");
    EXPECT_EQ(Child<QPushButton>(&mail, "OKBtn")->text(), "&E-Mail");
}

}  // namespace
}  // namespace invarro::ui

namespace invarro::ui {
namespace {

TEST_F(InvListFormTest, RepeatBillingSetupTurnsTheCurrentInvoiceIntoAMaster) {
    addSet();
    company.setText(data::Company::LastInvNo, "1043");
    open();
    ASSERT_EQ(current(), "1043");
    const auto before = data::ParseMoney(form->receivablesText().toStdString());
    ASSERT_TRUE(before);
    bool shown = false;
    WhenModal<TRepeatForm>([&](TRepeatForm* f) {
        EXPECT_EQ(f->EndDate->text(), "04/05/2024");
        EXPECT_FALSE(f->OKButton->isEnabled());
        f->CheckBox1->setChecked(true);
        f->OKButton->click();
        shown = true;
    });
    // Before the invoice leaves the receivables the user hears so; its first invoice is due
    // (dated 04/05/2024, today 04/15/2024), and No sets up the master only.
    int32_t asReadNo = 0;
    data::InvoiceRecord asRead;
    ASSERT_TRUE(form->currentInvoice(asReadNo, asRead));
    invoicing::RepeatSetupEntry entry =
        invoicing::SetupEntryFor(asRead, data::DateOrder::MonthFirst);
    entry.generate = true;
    const invoicing::SetupNotice notice = invoicing::SetupNoticeFor(
        asRead, entry, data::DateOrder::MonthFirst, data::Date{2024, 4, 15});
    ASSERT_TRUE(notice.dueNow);
    prompter.expect(notice.text, platform::Answer::No);
    Child<QAction>(form.get(), "RepeatSetupAct")->trigger();
    ASSERT_TRUE(shown);
    EXPECT_TRUE(prompter.done());
    int32_t recNo = 0;
    data::InvoiceRecord r;
    ASSERT_TRUE(form->currentInvoice(recNo, r));
    EXPECT_EQ(r.text(Invoice::TransType), "R");
    EXPECT_EQ(r.text(Invoice::NextDue), "04/05/2024");
    EXPECT_EQ(form->messageText(), "Repeat billing set up for 1043.");
    EXPECT_EQ(*data::ParseMoney(form->receivablesText().toStdString()),
              *before - data::Money::FromCents(30000));

    // A quote is refused before the dialog opens.
    company.setText(data::Company::LastInvNo, "Q7");
    form.reset();
    open();
    ASSERT_EQ(current(), "Q7");
    prompter.expect(std::string(invoicing::kWrongType));
    Child<QAction>(form.get(), "RepeatSetupAct")->trigger();
    EXPECT_TRUE(prompter.done());
}

TEST_F(InvListFormTest, OpensOnTheNewestRecordsByDateWhateverTheirNumbers) {
    addCustomer("1001", 0);
    // Numbers that sort as text against their dates: 998 .. 1127, the newest dated first.
    for (int i = 0; i < 130; ++i)
        add({.no = std::to_string(998 + i),
             .date = {2024, 1 + (129 - i) / 28, 1 + (129 - i) % 28},
             .total = "10.00"});
    company.setText(Company::LastInvNo, "1127");  // the oldest by date, far from the newest
    open();
    // The page is the newest by date, its last row highlighted.
    EXPECT_EQ(current(), "998");
    EXPECT_EQ(form->list()->browser()->CurrentRow(), form->list()->browser()->FilledRows());
    EXPECT_EQ(form->list()->verticalScrollBar()->value(), storage::kScrollRange);
    // The last invoice made is highlighted when it is among the newest.
    form.reset();
    company.setText(Company::LastInvNo, "999");
    form = std::make_unique<Tinvlist>(ctx);
    ASSERT_TRUE(form->openFiles());
    EXPECT_EQ(current(), "999");
}

TEST_F(InvListFormTest, ColumnTitlesSortByTheirKeysAsTheDisplayMenuDoes) {
    addSet();
    company.setText(Company::LastInvNo, "1042");
    open();
    TIndexBrowser* list = form->list();
    ASSERT_EQ(list->Columns().size(), 11u);
    QSignalSpy spy(list, &TIndexBrowser::SortRequested);
    const int number = data::ColumnOfKey(list->Columns(), 1);
    ASSERT_GE(number, 0);
    emit list->horizontalHeader()->sectionClicked(number);
    EXPECT_EQ(form->displayKey(), 1);
    EXPECT_TRUE(Child<QAction>(form.get(), "ByKey1")->isChecked());
    EXPECT_EQ(current(), "1042");  // the record stays current
    EXPECT_EQ(list->CellText(1, number), "1041");
    // Money is right-aligned and shown as the row has it.
    const int total = 5;
    EXPECT_EQ(list->CellText(1, total), "150.00");
    EXPECT_TRUE(list->Columns()[total].money);
    // Through the menu, the title shows the order chosen.
    Child<QAction>(form.get(), "ByKey6")->trigger();
    EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(),
              data::ColumnOfKey(list->Columns(), 6));
}

TEST_F(InvListFormTest, MenusShowTheCommonShortcutsWithoutClashingLetters) {
    addSet();
    open();
    EXPECT_EQ(Child<QAction>(form.get(), "AddInvoice")->shortcut(), QKeySequence::New);
    EXPECT_EQ(Child<QAction>(form.get(), "FindAct")->shortcut(), QKeySequence::Find);
    EXPECT_EQ(Child<QAction>(form.get(), "PrintAct")->shortcut(), QKeySequence::Print);
    EXPECT_EQ(Child<QAction>(form.get(), "InvDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
    EXPECT_EQ(Child<QAction>(form.get(), "OverviewAct")->shortcut(), QKeySequence::HelpContents);
    EXPECT_TRUE(testing::MnemonicClashes(form.get()).empty())
        << testing::MnemonicClashes(form.get()).front();
    // Ctrl+F opens the find window from the list.
    bool found = false;
    WhenModal<TFindForm>([&](TFindForm* find) {
        found = true;
        find->reject();
    });
    form->list()->setFocus();
    QTest::keyClick(form->list(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace invarro::ui
