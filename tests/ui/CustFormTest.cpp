// The customer manager, editor and picker, and the payment terms dialog, driven offscreen.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <functional>

#include "WindowFixture.h"
#include "customers/CustEdit.h"
#include "customers/CustPrint.h"
#include "data/Company.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/Update.h"
#include "platform/qt/PainterCanvas.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "storage/Transaction.h"
#include "support/Command.h"
#include "support/Modal.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/ChangeWatcher.h"
#include "ui/CustEdit.h"
#include "ui/CustForm.h"
#include "ui/FindForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/TermEdit.h"
#include "ui/ThemeIcons.h"

namespace invarro::ui {
namespace {

using data::Customer;
using platform::Answer;
using testing::Child;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class CustFormTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        company.setText(data::Company::NextCustNo, "41");
        storeCompany();

        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        ctx.labelQueue = &queue;
        ctx.selectedCustomer = &selected;
        ctx.mainStatus = [this](const QString& s) { mainStatus = s; };
    }
    void TearDown() override {
        form.reset();
        CompanyWindowTest::TearDown();
    }

    std::string customerFile() const { return companyFile(data::FileKind::Customer); }
    void addCustomers(std::initializer_list<std::pair<const char*, const char*>> list) {
        ASSERT_TRUE(
            data::CreateBusinessFileblock(customerFile(), data::KindOf(data::FileKind::Customer)));
        storage::Fileblock* fb = storage::OpenFileblock(customerFile(), false);
        for (auto [no, name] : list) {
            customers::CustomerEntry e = customers::NewCustomerEntry(company);
            e.number = no;
            e.name = name;
            e.phone1 = "(515) 555-0100";
            e.bill = {"12 Main Street", "", "Ames, IA 50010", ""};
            ASSERT_TRUE(
                data::AddBusinessRecord(fb, customers::NewCustomerRecord(e), prompter).ok());
        }
        storage::CloseFileblock(fb);
    }
    void open(TCustForm::Mode mode = TCustForm::Mode::Manage) {
        form = std::make_unique<TCustForm>(ctx, mode);
        ASSERT_TRUE(form->openFiles());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void openAndAddBehindTheList();
    void expectRefreshedKeepingAdams();
    std::string currentName() {
        int32_t recNo = 0;
        data::CustomerRecord r;
        if (!form->currentCustomer(recNo, r)) return "";
        return r.text(Customer::Name);
    }

    output::LabelQueue queue;
    data::CustomerRecord selected;
    QString mainStatus;
    CustomerWindowContext ctx;
    std::unique_ptr<TCustForm> form;
};

TEST_F(CustFormTest, OpensWithTitleHeaderAndCountAndCreatesAMissingFile) {
    prompter.expect("I am going to create a new, empty customer file for this company.");
    ctx.emailMode = true;
    open();
    EXPECT_EQ(prompter.last().title, "New Company");
    EXPECT_EQ(form->windowTitle(), "Customer Manager - (E-Mail Mode)");
    EXPECT_EQ(form->countText(), "Customers: 0");
    EXPECT_EQ(form->messageText(), "Right-click mouse or select from menu bar.");
    EXPECT_TRUE(form->list()->Header().startsWith("Name"));
    EXPECT_EQ(form->list()->Header().size(), 128);
    // A company that kept the list font it started with lists in the desktop's font.
    EXPECT_EQ(form->list()->font(), QApplication::font());
    EXPECT_TRUE(Child<QLabel>(form.get(), "CompanyLabel")->text().contains("Northside Supply"));
    // Statements open in e-mail mode too (printing and PDF); the batch e-mail run waits
    // for the mail client and is disabled, not faked.
    EXPECT_TRUE(Child<QWidget>(form.get(), "ViewStmtBtn")->isEnabled());
    EXPECT_FALSE(Child<QWidget>(form.get(), "BatchStmtBtn")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(form.get(), "NewBtn")->isEnabled());
}

TEST_F(CustFormTest, ToolButtonsShowTheirThemeIconBesideTheirCaption) {
    SetUpIconTheme();
    prompter.expect("I am going to create a new, empty customer file for this company.");
    open();
    const std::tuple<const char*, const char*, const char*> buttons[] = {
        {"NewBtn", "New", "document-new"},      {"EditBtn", "Edit", "document-edit"},
        {"DeleteBtn", "Delete", "edit-delete"}, {"FindBtn", "Find", "edit-find"},
        {"HelpBtn", "Help", "help-contents"},   {"CloseBtn", "Close", "window-close"},
    };
    for (auto [name, caption, icon] : buttons) {
        auto* b = Child<QToolButton>(form.get(), name);
        EXPECT_EQ(b->text(), caption);
        EXPECT_EQ(b->icon().name().toStdString(), icon);
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextBesideIcon) << name;
    }
    // The envelope has no theme icon: its button shows its caption alone, as before.
    EXPECT_TRUE(Child<QToolButton>(form.get(), "EnvelopeBtn")->icon().isNull());
}

TEST_F(CustFormTest, AnIndexThatCannotBeRebuiltEndsWithUnableToOpenDatabase) {
    addCustomers({{"1", "Acme Tools"}});
    std::filesystem::remove(storage::IndexFileName(customerFile()));
    prompter.expect("Index file is defective.  Rebuild?", Answer::No);
    prompter.expect("Unable to open database");
    TCustForm f(ctx, TCustForm::Mode::Manage);
    EXPECT_FALSE(f.openFiles());
}

TEST_F(CustFormTest, AddValidatesInOrderThenStoresAndShowsTheNewCustomer) {
    addCustomers({{"100", "Acme Tools"}});
    open();
    bool checked = false;
    WhenModal<TCustEdit>([&](TCustEdit* ed) {
        EXPECT_EQ(ed->windowTitle(), "Add Customer");
        EXPECT_EQ(Child(ed, "CNo")->text(), "41");
        EXPECT_EQ(Child(ed, "CNo")->maxLength(), 8);
        EXPECT_EQ(Child(ed, "CName")->maxLength(), 35);
        EXPECT_EQ(Child(ed, "EMadd")->maxLength(), 50);
        EXPECT_EQ(Child<QLabel>(ed, "CBal")->text(), "0.00");
        EXPECT_EQ(Child(ed, "CTE")->text(), "N");
        EXPECT_EQ(Child(ed, "CLimit")->text(), "0.00");
        EXPECT_EQ(Child<QComboBox>(ed, "CTerms")->currentText(), "Net 30 Days");
        EXPECT_GE(Child<QComboBox>(ed, "CTerms")->count(), 9);
        EXPECT_TRUE(Child<QCheckBox>(ed, "AutoCopy")->isChecked());
        EXPECT_EQ(ed->focusWidget(), Child(ed, "CNo"));

        // Auto-copy: typing a billing line fills the shipping line.
        QTest::keyClicks(Child(ed, "CAdd1Edit"), "400 Depot Street");
        EXPECT_EQ(Child(ed, "CShip1")->text(), "400 Depot Street");
        Child<QPushButton>(ed, "ClearShipBtn")->click();
        EXPECT_EQ(Child(ed, "CShip1")->text(), "");
        Child<QPushButton>(ed, "CopyBillBtn")->click();
        EXPECT_EQ(Child(ed, "CShip1")->text(), "400 Depot Street");

        // The number is taken.
        Child(ed, "CNo")->setText("100");
        Child(ed, "CName")->setText("John Smith");
        prompter.expect(
            "That customer number already exists. You will need to use a different number.");
        Child<QPushButton>(ed, "OKBtn")->click();
        EXPECT_TRUE(ed->isVisible());
        EXPECT_EQ(ed->focusWidget(), Child(ed, "CNo"));
        EXPECT_EQ(Child(ed, "ShortName")->text(), "JSmith");

        Child(ed, "CNo")->setText("41");
        Child(ed, "CLimit")->setText("abc");
        prompter.expect("The CREDIT LIMIT amount has an invalid value.");
        Child<QPushButton>(ed, "OKBtn")->click();
        EXPECT_EQ(ed->focusWidget(), Child(ed, "CLimit"));

        Child(ed, "CLimit")->setText("2,500");
        Child<QPushButton>(ed, "OKBtn")->click();
        checked = true;
    });
    form->newCustomer();
    ASSERT_TRUE(checked);
    EXPECT_EQ(currentName(), "John Smith");
    EXPECT_EQ(form->countText(), "Customers: 2");
    EXPECT_EQ(company.text(data::Company::NextCustNo), "42");
    int32_t recNo = 0;
    data::CustomerRecord r;
    ASSERT_TRUE(form->currentCustomer(recNo, r));
    EXPECT_EQ(r.text(Customer::CreditLimit), "2500.00");
    EXPECT_EQ(r.text(Customer::ShipAddr1), "400 Depot Street");
    EXPECT_EQ(r.text(Customer::Terms), "Net 30 Days");
}

TEST_F(CustFormTest, EditShowsTheRecordAndSavesTheChange) {
    addCustomers({{"100", "Acme Tools"}, {"200", "Baker Brothers"}});
    open();
    ASSERT_EQ(currentName(), "Acme Tools");
    bool checked = false;
    WhenModal<TCustEdit>([&](TCustEdit* ed) {
        EXPECT_EQ(ed->windowTitle(), "Edit Customer");
        EXPECT_EQ(Child(ed, "CNo")->text(), "100");
        EXPECT_EQ(Child(ed, "CName")->text(), "Acme Tools");
        EXPECT_EQ(Child(ed, "CAdd3Edit")->text(), "Ames, IA 50010");
        // Another customer's name is refused; Acme's own passes.
        Child(ed, "CName")->setText("baker brothers");
        prompter.expect(
            "That customer name already exists. You should not enter the same customer name "
            "with a different customer number.");
        Child<QPushButton>(ed, "OKBtn")->click();
        EXPECT_EQ(prompter.last().title, "Duplicate Customer Name");
        EXPECT_EQ(ed->focusWidget(), Child(ed, "CName"));
        Child(ed, "CName")->setText("Acme Tools");
        Child(ed, "CNo")->setText("150");
        Child(ed, "CPhone2")->setText("(515) 555-0199");
        Child<QCheckBox>(ed, "CRHold")->setChecked(true);
        Child<QPushButton>(ed, "OKBtn")->click();
        checked = true;
    });
    form->editCustomer();
    ASSERT_TRUE(checked);
    int32_t recNo = 0;
    data::CustomerRecord r;
    ASSERT_TRUE(form->currentCustomer(recNo, r));
    EXPECT_EQ(r.text(Customer::CustNo), "150");
    EXPECT_EQ(r.text(Customer::Phone2), "(515) 555-0199");
    EXPECT_EQ(r.text(Customer::CreditHold), "Y");
    // Editing never moves the company's next number.
    EXPECT_EQ(company.text(data::Company::NextCustNo), "41");
    // The editor's bounds were kept.
    data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_TRUE(ini.read("CEForm", "Width").has_value());
}

TEST_F(CustFormTest, EInvoicingDataIsCheckedOnOkAndKeptBesideTheCustomer) {
    addCustomers({{"100", "Acme Tools"}});
    open();
    bool checked = false;
    WhenModal<TCustEdit>([&](TCustEdit* ed) {
        EXPECT_EQ(Child(ed, "ECountry")->text(), "");
        QTest::keyClicks(Child(ed, "ECountry"), "de");
        QTest::keyClicks(Child(ed, "EVatId"), "DE 123 456 789");
        QTest::keyClicks(Child(ed, "EBuyerRef"), "04011000-1234512345-06");
        QTest::keyClicks(Child(ed, "EAddress"), "einkauf@acme.example");
        // A wrong check digit keeps the editor open and saves nothing.
        prompter.expect("The check digit of the VAT number DE123456789 is wrong.");
        QTest::mouseClick(Child<QPushButton>(ed, "OKBtn"), Qt::LeftButton);
        EXPECT_TRUE(ed->isVisible());
        EXPECT_EQ(ed->focusWidget(), Child(ed, "EVatId"));
        Child(ed, "EVatId")->setText("DE123456788");
        Child(ed, "CNo")->setText("120");
        QTest::mouseClick(Child<QPushButton>(ed, "OKBtn"), Qt::LeftButton);
        checked = true;
    });
    form->editCustomer();
    ASSERT_TRUE(checked);
    // Kept under the new number, and shown again the next time.
    EXPECT_EQ(data::ReadCustomerEInvoice(dir.path(), "1", "120", prompter),
              (data::CustomerEInvoice{"DE", "DE123456788", "04011000-1234512345-06",
                                      "einkauf@acme.example"}));
    EXPECT_EQ(data::ReadCustomerEInvoice(dir.path(), "1", "100", prompter),
              data::CustomerEInvoice{});
    checked = false;
    WhenModal<TCustEdit>([&](TCustEdit* ed) {
        EXPECT_EQ(Child(ed, "EVatId")->text(), "DE123456788");
        EXPECT_EQ(Child(ed, "EBuyerRef")->text(), "04011000-1234512345-06");
        // Emptied: the record goes.
        for (const char* f : {"ECountry", "EVatId", "EBuyerRef", "EAddress"})
            Child(ed, f)->clear();
        QTest::mouseClick(Child<QPushButton>(ed, "OKBtn"), Qt::LeftButton);
        checked = true;
    });
    form->editCustomer();
    ASSERT_TRUE(checked);
    EXPECT_EQ(data::ReadCustomerEInvoice(dir.path(), "1", "120", prompter),
              data::CustomerEInvoice{});
}

TEST_F(CustFormTest, ByNumberKeepsTheHighlightedCustomerAndTheOrderIsRemembered) {
    addCustomers({{"30", "Alpha Industries"}, {"10", "Zenith Labs"}, {"20", "Midway Motors"}});
    open();
    form->list()->setFocus();
    QTest::keyClick(form->list(), Qt::Key_Down);
    ASSERT_EQ(currentName(), "Midway Motors");
    form->setBrowseKey(2);
    EXPECT_EQ(currentName(), "Midway Motors");
    EXPECT_EQ(form->list()->CurrentKeyNumber(), 2);
    QTest::keyClick(form->list(), Qt::Key_Up);
    EXPECT_EQ(currentName(), "Zenith Labs");
    form.reset();
    open();
    EXPECT_EQ(TCustForm::BrowseKey(), 2);
    EXPECT_EQ(form->list()->CurrentKeyNumber(), 2);
    form->setBrowseKey(1);
    // Typing searches the name key upper-cased.
    QTest::keyClicks(form->list(), "z");
    EXPECT_EQ(currentName(), "Zenith Labs");
    // The bounds of the manager were written when it closed.
    data::IniFile ini(data::IniFilePath(dir.path()));
    EXPECT_FALSE(ini.read("CustForm", "Height").has_value());
    form->close();
    EXPECT_TRUE(data::IniFile(data::IniFilePath(dir.path())).read("CustForm", "Height"));
}

TEST_F(CustFormTest, FindPositionsTheListOnThePickedCustomer) {
    addCustomers({{"100", "Acme Tools"}, {"200", "Baker Brothers"}, {"300", "Carter Farms"}});
    open();
    ASSERT_EQ(currentName(), "Acme Tools");
    bool checked = false;
    WhenModal<TFindForm>([&](TFindForm* find) {
        EXPECT_EQ(find->windowTitle(), "Find Customer");
        auto* list = find->findChild<QTreeWidget*>("FindList");
        EXPECT_EQ(list->headerItem()->text(0), "Customer Name");
        EXPECT_EQ(list->headerItem()->text(1), "Number");
        // Part of a number finds the customer although it is not at the start of a key.
        QTest::keyClicks(find->findChild<QLineEdit*>("FindText"), "00");
        QTest::keyClick(find->findChild<QLineEdit*>("FindText"), Qt::Key_Return);
        ASSERT_EQ(find->rows().size(), 3u);
        find->sortByColumn(1);
        QTest::keyClick(list, Qt::Key_End);
        QTest::keyClick(list, Qt::Key_Return);
        checked = true;
    });
    QTest::mouseClick(Child<QToolButton>(form.get(), "FindBtn"), Qt::LeftButton);
    ASSERT_TRUE(checked);
    EXPECT_EQ(currentName(), "Carter Farms");
    EXPECT_TRUE(form->isVisible());
}

TEST_F(CustFormTest, LabelQueueClipboardAndDelete) {
    addCustomers({{"100", "Acme Tools"}, {"200", "Baker Brothers"}});
    open();
    form->addToLabelQueue();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.entries()[0].custNo, "100");
    EXPECT_EQ(form->messageText(), "Acme Tools added to label queue.");
    EXPECT_EQ(mainStatus, "Acme Tools added to label queue.");

    form->copyToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), "Acme Tools\n12 Main Street\n\nAmes, IA 50010\n");
    EXPECT_EQ(form->messageText(), "Customer: Acme Tools copied to clipboard.");

    prompter.expect("Are you sure you want to delete this customer?", Answer::Yes);
    QTest::keyClick(form->list(), Qt::Key_Delete);
    EXPECT_EQ(prompter.last().title, "Delete Customer#: 100");
    EXPECT_EQ(form->countText(), "Customers: 1");
    EXPECT_EQ(currentName(), "Baker Brothers");
}

TEST_F(CustFormTest, PickerReturnsTheCustomerChosenWithEnter) {
    addCustomers({{"100", "Acme Tools"}, {"200", "Baker Brothers"}, {"300", "Carter Farms"}});
    selected.setText(Customer::Name, "Baker Brothers");
    selected.setText(Customer::CustNo, "200");
    bool checked = false;
    WhenModal<TCustForm>([&](TCustForm* f) {
        EXPECT_EQ(f->messageText(), "Double-click or press <enter> to select.");
        int32_t recNo = 0;
        data::CustomerRecord r;
        ASSERT_TRUE(f->currentCustomer(recNo, r));
        EXPECT_EQ(r.text(Customer::Name), "Baker Brothers");
        QTest::keyClick(f->list(), Qt::Key_Down);
        QTest::keyClick(f->list(), Qt::Key_Return);
        checked = true;
    });
    std::optional<bool> picked = TCustForm::Pick(ctx, true);
    ASSERT_TRUE(checked);
    ASSERT_TRUE(picked.has_value());
    EXPECT_TRUE(*picked);
    EXPECT_EQ(selected.text(Customer::Name), "Carter Farms");
    EXPECT_EQ(selected.text(Customer::CustNo), "300");
}

TEST_F(CustFormTest, PickerClosedWithoutAPickLeavesTheSelection) {
    addCustomers({{"100", "Acme Tools"}});
    WhenModal<TCustForm>([&](TCustForm* f) { f->reject(); });
    std::optional<bool> picked = TCustForm::Pick(ctx, false);
    ASSERT_TRUE(picked.has_value());
    EXPECT_FALSE(*picked);
    EXPECT_EQ(selected.text(Customer::Name), "");
}

TEST_F(CustFormTest, TermsDialogAddsSortedAndWritesOnClose) {
    bool checked = false;
    WhenModal<TTermEdit>([&](TTermEdit* d) {
        auto* list = Child<QListWidget>(d, "ListBox1");
        EXPECT_EQ(d->windowTitle(), "Edit Payment Terms");
        EXPECT_EQ(list->count(), 9);
        EXPECT_EQ(list->currentRow(), 0);
        EXPECT_FALSE(Child(d, "Edit1")->isEnabled());
        Child<QPushButton>(d, "Button3")->click();
        EXPECT_TRUE(Child(d, "Edit1")->isEnabled());
        EXPECT_EQ(Child<QLabel>(d, "Label1")->text(),
                  "Enter new payment term and select Ok button...");
        QTest::keyClicks(Child(d, "Edit1"), "Net 15 Days");
        Child<QPushButton>(d, "Button4")->click();
        EXPECT_FALSE(Child(d, "Edit1")->isEnabled());
        EXPECT_EQ(list->item(6)->text(), "Net 10 Days");
        EXPECT_EQ(list->item(7)->text(), "Net 15 Days");
        EXPECT_EQ(list->item(8)->text(), "Net 20 Days");
        Child<QPushButton>(d, "OKBtn")->click();
        checked = true;
    });
    TTermEdit::Run(prompter, dir.path());
    ASSERT_TRUE(checked);
    const std::string file = testing::ReadFileBytes(dir.file("KRTERMS.DAT"));
    EXPECT_NE(file.find("Net 10 Days\r\nNet 15 Days\r\nNet 20 Days\r\n"), std::string::npos);
}

TEST_F(CustFormTest, TermsDialogEditsTheTermHighlightedWithTheKeys) {
    bool checked = false;
    WhenModal<TTermEdit>([&](TTermEdit* d) {
        auto* list = Child<QListWidget>(d, "ListBox1");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        ASSERT_EQ(list->currentRow(), 2);
        const QString third = list->item(2)->text();
        Child<QPushButton>(d, "Button1")->click();
        EXPECT_EQ(Child<QLineEdit>(d, "Edit1")->text(), third);
        d->reject();
        checked = true;
    });
    TTermEdit::Run(prompter, dir.path());
    ASSERT_TRUE(checked);
}

TEST_F(CustFormTest, CardAndEnvelopeComeOutAsPdf) {
    customers::CustomerEntry e = customers::NewCustomerEntry(company);
    e.name = "Harborview Dental Group";
    e.bill = {"1420 Marina Blvd", "San Leandro, CA 94577", "", ""};
    data::CustomerRecord c = customers::NewCustomerRecord(e);
    company.setText(data::Company::EnvLineSpacing, "60");
    company.setText(data::Company::EnvSendAddrLeft, "1000");
    company.setText(data::Company::EnvOrientation, "L");
    platform::FixedClock clock({2024, 3, 3, 14, 5, 0});
    const std::string card = dir.file("card.pdf");
    const std::string envelope = dir.file("envelope.pdf");
    {
        platform::qt::PainterCanvas canvas(nullptr);
        canvas.setOpenWhenDone(false);
        ASSERT_TRUE(customers::PrintCustomerCard(canvas, c, company, clock, card));
        ASSERT_TRUE(customers::PrintEnvelope(canvas, c, company, envelope));
    }
    const std::string cardText =
        testing::RunCommand("pdftotext -layout " + testing::ShellQuote(card) + " -").output;
    EXPECT_NE(cardText.find("Customer: Harborview Dental Group"), std::string::npos);
    EXPECT_NE(cardText.find("Tax Exempt: No"), std::string::npos);
    EXPECT_NE(cardText.find("Printed: Sunday, March 3, 2024, 02:05 PM"), std::string::npos);
    const std::string info = testing::RunCommand("pdfinfo " + testing::ShellQuote(envelope)).output;
    EXPECT_NE(info.find("Title:           Envelope\n"), std::string::npos) << info;
    EXPECT_NE(info.find("792 x 612 pts"), std::string::npos) << info;  // landscape
    const std::string envText =
        testing::RunCommand("pdftotext " + testing::ShellQuote(envelope) + " -").output;
    EXPECT_NE(envText.find("San Leandro, CA 94577"), std::string::npos);
}

TEST_F(CustFormTest, TitlesSortTheSearchBoxGoesToANameAndWidthsAreKept) {
    addCustomers({{"300", "Carter Farms"},
                  {"100", "Baker Brothers"},
                  {"200", "Adams Hardware"},
                  {"150", "Cole & Sons"}});
    open();
    TIndexBrowser* list = form->list();
    ASSERT_EQ(list->Columns().size(), 6u);
    EXPECT_EQ(list->CellText(1, 0), "Adams Hardware");
    EXPECT_EQ(list->CellText(1, 2), "0.00");
    // The Number title sorts by number, as "By Number" does; Balance has no order.
    emit list->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(TCustForm::BrowseKey(), 2);
    EXPECT_TRUE(Child<QAction>(form.get(), "ByNumberAct")->isChecked());
    EXPECT_EQ(list->CellText(1, 1), "100");
    emit list->horizontalHeader()->sectionClicked(2);
    EXPECT_EQ(TCustForm::BrowseKey(), 2);

    // The search box goes by the current order: a number now, a name after sorting by name.
    auto* search = Child<QLineEdit>(form.get(), "SearchBox");
    EXPECT_TRUE(search->placeholderText().endsWith("Number"));
    QTest::keyClicks(search, "15");
    EXPECT_EQ(currentName(), "Cole & Sons");
    emit list->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(TCustForm::BrowseKey(), 1);
    EXPECT_EQ(currentName(), "Cole & Sons");  // the customer stays highlighted
    search->clear();
    QTest::keyClicks(search, "car");
    EXPECT_EQ(currentName(), "Carter Farms");
    EXPECT_EQ(search->toolTip(), "");
    QTest::keyClicks(search, "x");  // nothing starts with "carx"
    EXPECT_EQ(search->toolTip(), "No record starts with this");
    // Arrows typed in the box move the list; the box keeps the focus.
    search->setFocus();
    search->clear();
    QTest::keyClicks(search, "b");
    QTest::keyClick(search, Qt::Key_Down);
    EXPECT_EQ(currentName(), "Carter Farms");

    // Widths the user gave the columns come back the next time.
    list->setColumnWidth(0, 321);
    form->close();
    form.reset();
    const data::IniFile ini(data::IniFilePath(dir.path()));
    ASSERT_TRUE(ini.read("CustForm", "ColumnWidths").has_value());
    open();
    EXPECT_EQ(form->list()->ColumnWidths()[0], 321);
}

// Three customers listed by the second key with Adams Hardware highlighted; then another
// window adds Zeta Supply (050) behind the list's back.
void CustFormTest::openAndAddBehindTheList() {
    addCustomers({{"300", "Carter Farms"}, {"100", "Baker Brothers"}, {"200", "Adams Hardware"}});
    open();
    form->setBrowseKey(2);
    form->list()->SearchTyped("200");
    ASSERT_EQ(currentName(), "Adams Hardware");
    storage::Fileblock* fb = form->list()->browser()->fileblock();
    customers::CustomerEntry e = customers::NewCustomerEntry(company);
    e.number = "050";
    e.name = "Zeta Supply";
    ASSERT_TRUE(data::AddBusinessRecord(fb, customers::NewCustomerRecord(e), prompter).ok());
}

void CustFormTest::expectRefreshedKeepingAdams() {
    EXPECT_EQ(form->list()->CurrentKeyNumber(), 2);
    EXPECT_EQ(currentName(), "Adams Hardware");
    EXPECT_EQ(form->countText(), "Customers: 4");
    EXPECT_EQ(form->list()->CellText(1, 1), "050");
    form->setBrowseKey(1);
}

TEST_F(CustFormTest, RefreshKeepsTheOrderAndTheHighlightedCustomer) {
    ASSERT_NO_FATAL_FAILURE(openAndAddBehindTheList());
    RecordListWindow& window = *form;
    window.refreshList();
    expectRefreshedKeepingAdams();
}

// Another program adds a customer: the manager hears of it through the change watcher and
// refreshes within about a second, keeping its order and the highlighted customer. A change
// of another fileblock leaves it alone, and nothing is asked while a transaction is open.
TEST_F(CustFormTest, AChangeMadeElsewhereRefreshesTheListWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(openAndAddBehindTheList());
    std::vector<std::string> told;
    ChangeWatcher::instance().setSource([&] { return std::exchange(told, {}); });

    told = {storage::FileblockName(companyFile(data::FileKind::Invoice))};
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_TRUE(told.empty());
    EXPECT_EQ(form->countText(), "Customers: 3");

    ASSERT_TRUE(storage::BeginTransaction());
    told = {storage::FileblockName(customerFile() + ".DAT")};
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_FALSE(told.empty());  // not asked: the names wait for the transaction's end
    storage::RollbackTransaction();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->countText() == "Customers: 4"; }, 1500));
    ChangeWatcher::instance().setSource({});
    expectRefreshedKeepingAdams();
}

}  // namespace
}  // namespace invarro::ui
