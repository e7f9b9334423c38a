// The product manager, editor and picker, driven offscreen.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>

#include "WindowFixture.h"
#include "data/Company.h"
#include "data/EInvoiceData.h"
#include "data/Fileblocks.h"
#include "data/IniFile.h"
#include "data/Update.h"
#include "platform/qt/PainterCanvas.h"
#include "products/ProdEdit.h"
#include "products/ProdPrint.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/Modal.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/FindForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ListViewer.h"
#include "ui/ProdEdit.h"
#include "ui/ProdForm.h"

namespace invarro::ui {
namespace {

using data::Product;
using platform::Answer;
using testing::Child;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class ProdFormTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
    }
    void TearDown() override {
        form.reset();
        CompanyWindowTest::TearDown();
    }

    std::string productFile() const { return companyFile(data::FileKind::Product); }
    void addProducts(
        std::initializer_list<std::tuple<const char*, const char*, const char*>> list) {
        if (!std::filesystem::exists(storage::DataFileName(productFile()))) {
            ASSERT_TRUE(data::CreateBusinessFileblock(productFile(),
                                                      data::KindOf(data::FileKind::Product)));
        }
        storage::Fileblock* fb = storage::OpenFileblock(productFile(), false);
        for (auto [code, description, price] : list) {
            products::ProductEntry e = products::NewProductEntry("02/01/2024");
            e.code = code;
            e.description = description;
            e.price = price;
            products::AddProduct(fb, e, "02/01/2024", prompter);
        }
        storage::CloseFileblock(fb);
    }
    void open(TEditProd::Mode mode = TEditProd::Mode::Manage) {
        form = std::make_unique<TEditProd>(ctx, mode);
        ASSERT_TRUE(form->openFiles());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    data::ProductRecord current(TEditProd* f = nullptr) {
        int32_t recNo = 0;
        data::ProductRecord r;
        (f ? f : form.get())->currentProduct(recNo, r);
        return r;
    }
    std::string currentCode(TEditProd* f = nullptr) {
        return data::TrimmedText(current(f).text(Product::ProdCode));
    }

    platform::FixedClock clock{{2024, 3, 3, 14, 5, 0}};
    ProductWindowContext ctx;
    std::unique_ptr<TEditProd> form;
};

TEST_F(ProdFormTest, OpensWithItsHeaderMenusAndAnEmptyNewFile) {
    open();
    EXPECT_TRUE(std::filesystem::exists(storage::DataFileName(productFile())));
    EXPECT_EQ(form->windowTitle(), "Product Manager");
    EXPECT_EQ(form->countText(), "Products: 0");
    EXPECT_EQ(form->messageText(), "Right-click mouse or select from menu bar.");
    EXPECT_TRUE(form->list()->Header().startsWith("Code       Description"));
    EXPECT_EQ(form->list()->Header().size(), 128);
    auto* popup = Child<QMenu>(form.get(), "PopupMenu");
    QStringList captions;
    for (QAction* a : popup->actions())
        if (!a->isSeparator()) captions << a->text();
    EXPECT_EQ(captions, (QStringList{"&New", "&Edit", "&Delete", "&Find", "&Print", "Product &List",
                                     "Print &Window", "E&xport to Text File",
                                     "Import from Text File", "&Close"}));
    EXPECT_TRUE(Child<QWidget>(form.get(), "ExportBtn")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(form.get(), "ImportBtn")->isEnabled());
    EXPECT_TRUE(Child<QWidget>(form.get(), "NewBtn")->isEnabled());
    EXPECT_EQ(Child<QToolButton>(form.get(), "SpeedButton1")->text(), "Find");
    EXPECT_FALSE(Child<QToolButton>(form.get(), "ProdListButn")->toolTip().isEmpty());
    // Nothing to act on in an empty list.
    form->editProduct();
    form->deleteProduct();
    form->printProduct();
}

TEST_F(ProdFormTest, AddChecksInOrderAndStoresTheProduct) {
    addProducts({{"HAM-16", "Claw Hammer 16 oz", "18.95"}});
    open();
    bool checked = false;
    WhenModal<TUpdProd>([&](TUpdProd* ed) {
        EXPECT_EQ(ed->windowTitle(), "Add Product");
        EXPECT_EQ(Child(ed, "PNum")->maxLength(), 10);
        EXPECT_EQ(Child(ed, "PDesc")->maxLength(), 32);
        EXPECT_EQ(Child(ed, "PSell")->maxLength(), 10);
        EXPECT_EQ(Child(ed, "PSell")->text(), "0.00");
        EXPECT_EQ(Child<QCheckBox>(ed, "CheckBox1")->text(), "&Taxable");
        EXPECT_EQ(ed->setupDateText(), "Setup Date: 03/03/2024");
        EXPECT_EQ(ed->changedDateText(), "Last Changed:");

        prompter.expect("You need to enter a product code.");
        Child<QPushButton>(ed, "OkBtn")->click();
        EXPECT_EQ(ed->focusWidget(), Child(ed, "PNum"));

        QTest::keyClicks(Child(ed, "PNum"), "ham-16");
        prompter.expect("You need to enter a product description or name.");
        Child<QPushButton>(ed, "OkBtn")->click();
        EXPECT_EQ(ed->focusWidget(), Child(ed, "PDesc"));

        QTest::keyClicks(Child(ed, "PDesc"), "Framing Hammer 20 oz");
        Child(ed, "PSell")->setText("abc");
        prompter.expect(
            "This Product Code already exists for: Claw Hammer 16 oz. Use a different code.");
        Child<QPushButton>(ed, "OkBtn")->click();
        EXPECT_EQ(prompter.last().title, "Product Code");
        EXPECT_EQ(ed->focusWidget(), Child(ed, "PNum"));
        EXPECT_TRUE(ed->isVisible());

        Child(ed, "PNum")->setText("HAM-20");
        Child<QCheckBox>(ed, "CheckBox1")->setChecked(true);
        Child<QPlainTextEdit>(ed, "PNote")->setPlainText(QString(200, 'n'));
        EXPECT_EQ(Child<QPlainTextEdit>(ed, "PNote")->toPlainText().size(), 150);
        Child<QPushButton>(ed, "OkBtn")->click();
        checked = true;
    });
    form->newProduct();
    ASSERT_TRUE(checked);
    EXPECT_EQ(form->countText(), "Products: 2");
    data::ProductRecord r = current();
    EXPECT_EQ(r.text(Product::ProdCode), "HAM-20");
    EXPECT_EQ(r.text(Product::SellPrice), "0.00");
    EXPECT_EQ(r.byte(Product::Taxable), 1);
    EXPECT_EQ(r.text(Product::SetupDate), "03/03/2024");
    EXPECT_TRUE(data::IniFile(data::IniFilePath(dir.path())).read("PUForm", "Width"));
}

TEST_F(ProdFormTest, EditShowsTheDatesAndAnUnchangedOkWritesNothing) {
    addProducts({{"A1", "Anchor Bolt", "1.5"}, {"B2", "Bracket", "2.25"}});
    open();
    ASSERT_EQ(currentCode(), "A1");
    const data::ProductRecord before = current();
    bool checked = false;
    WhenModal<TUpdProd>([&](TUpdProd* ed) {
        EXPECT_EQ(ed->windowTitle(), "Edit Product");
        EXPECT_EQ(Child(ed, "PNum")->text(), "A1");
        EXPECT_EQ(Child(ed, "PSell")->text(), "1.50");
        EXPECT_EQ(ed->setupDateText(), "Setup Date: 02/01/2024");
        Child<QPushButton>(ed, "OkBtn")->click();
        checked = true;
    });
    QTest::keyClick(form->list(), Qt::Key_Return);  // Enter edits outside selection mode
    ASSERT_TRUE(checked);
    EXPECT_EQ(current(), before);

    checked = false;
    WhenModal<TUpdProd>([&](TUpdProd* ed) {
        Child(ed, "PNum")->setText("b2");
        prompter.expect("This Product Code already exists for: Bracket. Use a different code.");
        Child<QPushButton>(ed, "OkBtn")->click();
        Child(ed, "PNum")->setText("a1");  // its own code in another case passes
        Child(ed, "PSell")->setText("1,234.5");
        Child<QPushButton>(ed, "OkBtn")->click();
        checked = true;
    });
    form->editProduct();
    ASSERT_TRUE(checked);
    data::ProductRecord r = current();
    EXPECT_EQ(r.text(Product::ProdCode), "a1");
    EXPECT_EQ(r.text(Product::SellPrice), "1234.50");
    EXPECT_EQ(r.text(Product::ChangedDate), "03/03/2024");
    EXPECT_TRUE(form->list()->CurrentKeyString() == "A1        ");
}

TEST_F(ProdFormTest, TheUnitCodeIsCheckedOnOkAndFollowsTheProductsCode) {
    addProducts({{"A1", "Anchor Bolt", "1.5"}});
    open();
    bool checked = false;
    WhenModal<TUpdProd>([&](TUpdProd* ed) {
        EXPECT_EQ(Child(ed, "PUnit")->text(), "");
        QTest::keyClicks(Child(ed, "PUnit"), "pcs");
        prompter.expect(
            "\"PCS\" is not a unit code (UN/ECE Recommendation 20) this program knows: C62 one "
            "piece, HUR hour, DAY day, KGM kilogram, MTR metre, LTR litre, SET set, LS lump sum, "
            "...");
        QTest::mouseClick(Child<QPushButton>(ed, "OkBtn"), Qt::LeftButton);
        EXPECT_TRUE(ed->isVisible());
        EXPECT_EQ(ed->focusWidget(), Child(ed, "PUnit"));
        Child(ed, "PUnit")->setText("kgm");
        Child(ed, "PNum")->setText("A2");
        QTest::mouseClick(Child<QPushButton>(ed, "OkBtn"), Qt::LeftButton);
        checked = true;
    });
    form->editProduct();
    ASSERT_TRUE(checked);
    EXPECT_EQ(data::ReadProductUnitCode(dir.path(), "1", "A2", prompter), "KGM");
    EXPECT_EQ(data::ReadProductUnitCode(dir.path(), "1", "A1", prompter), "");
    checked = false;
    WhenModal<TUpdProd>([&](TUpdProd* ed) {
        EXPECT_EQ(Child(ed, "PUnit")->text(), "KGM");
        Child(ed, "PUnit")->clear();
        QTest::mouseClick(Child<QPushButton>(ed, "OkBtn"), Qt::LeftButton);
        checked = true;
    });
    form->editProduct();
    ASSERT_TRUE(checked);
    EXPECT_EQ(data::ReadProductUnitCode(dir.path(), "1", "A2", prompter), "");
}

TEST_F(ProdFormTest, DeletingTheLastProductLeavesACountOfZero) {
    addProducts({{"ONLY", "The only one", "5"}});
    open();
    EXPECT_EQ(form->countText(), "Products: 1");
    prompter.expect("Are you sure you want to delete this product?", Answer::Yes);
    QTest::keyClick(form->list(), Qt::Key_Delete);
    EXPECT_EQ(prompter.last().title, "Delete Product Code: ONLY");
    EXPECT_EQ(form->countText(), "Products: 0");
    EXPECT_EQ(currentCode(), "");
}

TEST_F(ProdFormTest, ByDescriptionKeepsTheProductAndFindPositions) {
    addProducts(
        {{"C3", "Alpha Widget", "1"}, {"A1", "Charlie Widget", "2"}, {"B2", "Bravo Widget", "3"}});
    open();
    form->setBrowseKey(1);
    ASSERT_EQ(currentCode(), "A1");
    form->setBrowseKey(2);
    EXPECT_EQ(currentCode(), "A1");
    QTest::keyClick(form->list(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(currentCode(), "C3");
    bool checked = false;
    WhenModal<TFindForm>([&](TFindForm* find) {
        EXPECT_EQ(find->windowTitle(), "Find Product");
        QTest::keyClicks(find->findChild<QLineEdit*>("FindText"), "bravo");
        QTest::keyClick(find->findChild<QLineEdit*>("FindText"), Qt::Key_Return);
        ASSERT_EQ(find->rows().size(), 1u);
        QTest::keyClick(find->findChild<QTreeWidget*>("FindList"), Qt::Key_Return);
        checked = true;
    });
    QTest::mouseClick(Child<QToolButton>(form.get(), "SpeedButton1"), Qt::LeftButton);
    ASSERT_TRUE(checked);
    EXPECT_EQ(currentCode(), "B2");
    form->setBrowseKey(1);
    EXPECT_EQ(TEditProd::BrowseKey(), 1);
}

TEST_F(ProdFormTest, ProductListAsksTheOrderAndShowsTheListByCode) {
    addProducts({{"B2", "Alpha Widget", "1"}, {"A1", "Bravo Widget", "2"}});
    open();
    prompter.expect(
        "The products will be sorted by description. Would you rather sort by product code?",
        Answer::Cancel);
    form->productList();
    EXPECT_FALSE(std::filesystem::exists(dir.file("TXTTEMP.TXT")));

    bool shown = false;
    WhenModal<TListViewer>([&](TListViewer* v) {
        EXPECT_EQ(v->windowTitle(), "Product List by Code");
        EXPECT_FALSE(std::filesystem::exists(dir.file("TXTTEMP.TXT")));
        ASSERT_GE(v->lines().size(), 9u);
        EXPECT_EQ(v->lines()[0], "Northside Supply");
        EXPECT_EQ(v->lines()[3].substr(0, 12), "Bravo Widget");
        EXPECT_EQ(v->lines()[6].substr(0, 12), "Alpha Widget");
        v->reject();
        shown = true;
    });
    prompter.expect(
        "The products will be sorted by description. Would you rather sort by product code?",
        Answer::Yes);
    form->productList();
    EXPECT_TRUE(shown);
    EXPECT_EQ(prompter.last().title, "Product List");
}

TEST_F(ProdFormTest, PickerStartsOnTheCodeAndReturnsTheWholeRecord) {
    addProducts(
        {{"A1", "Anchor Bolt", "1.5"}, {"B2", "Bracket", "2.25"}, {"C3", "Chain Link", "3.75"}});
    bool checked = false;
    WhenModal<TEditProd>([&](TEditProd* f) {
        EXPECT_EQ(f->messageText(), "Double-click or press <enter> to select.");
        EXPECT_FALSE(Child<QWidget>(f, "DeleteBtn")->isEnabled());
        EXPECT_FALSE(Child<QWidget>(f, "ImportBtn")->isEnabled());
        EXPECT_EQ(currentCode(f), "B2");
        QTest::keyClick(f->list(), Qt::Key_Down);
        QTest::keyClick(f->list(), Qt::Key_Return);
        checked = true;
    });
    std::optional<data::ProductRecord> picked = PickProduct(nullptr, ctx, "b2", "Bracket");
    ASSERT_TRUE(checked);
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->text(Product::ProdCode), "C3");
    EXPECT_EQ(picked->text(Product::Description), "Chain Link");
    EXPECT_EQ(picked->text(Product::SellPrice), "3.75");
    EXPECT_EQ(picked->text(Product::SetupDate), "02/01/2024");

    // Escape returns nothing, as does a close through the menu.
    checked = false;
    WhenModal<TEditProd>([&](TEditProd* f) {
        EXPECT_EQ(currentCode(f), "A1");  // an empty start: the first product
        QTest::keyClick(f->list(), Qt::Key_Escape);
        checked = true;
    });
    EXPECT_FALSE(PickProduct(nullptr, ctx, "", ""));
    EXPECT_TRUE(checked);
    checked = false;
    WhenModal<TEditProd>([&](TEditProd* f) {
        // A code past the last one leaves the list at its end.
        EXPECT_EQ(currentCode(f), "C3");
        f->findChild<QAction*>("CloseAct")->trigger();
        checked = true;
    });
    EXPECT_FALSE(PickProduct(nullptr, ctx, "ZZZ", ""));
    EXPECT_TRUE(checked);

    // A double-click on a row picks it (row 1 is the first below the header).
    WhenModal<TEditProd>([&](TEditProd* f) {
        QTest::mouseDClick(f->list()->viewport(), Qt::LeftButton, {},
                           f->list()->RowRect(1).center());
        if (f->isVisible()) f->reject();  // no pick: fail below rather than hang
    });
    picked = PickProduct(nullptr, ctx, "B2", "");
    ASSERT_TRUE(picked);
    EXPECT_EQ(picked->text(Product::ProdCode), "A1");
}

TEST_F(ProdFormTest, APickerWhoseFileCannotBeOpenedReturnsNothing) {
    std::filesystem::create_directory(storage::DataFileName(productFile()));
    prompter.expect("Unable to open database");
    EXPECT_FALSE(PickProduct(nullptr, ctx, "A1", ""));
    prompter.expect("Unable to open database");
    EXPECT_FALSE(TEditProd::Run(ctx));
}

TEST_F(ProdFormTest, ADefectiveIndexIsRebuiltOnRequest) {
    addProducts({{"A1", "Anchor Bolt", "1.5"}, {"B2", "Bracket", "2.25"}});
    std::filesystem::remove(storage::IndexFileName(productFile()));
    prompter.expect("Index file is defective.  Rebuild?", Answer::Yes);
    open();
    EXPECT_EQ(form->countText(), "Products: 2");
}

TEST_F(ProdFormTest, TheProductPageComesOutAsPdf) {
    products::ProductEntry e = products::NewProductEntry("02/01/2024");
    e.code = "LOGO-PKG";
    e.description = "Logo Design Package";
    e.price = "1,250";
    e.notes = "Three concepts, two revision rounds.";
    data::ProductRecord p = products::NewProductRecord(e, "02/01/2024");
    const std::string file = dir.file("product.pdf");
    {
        platform::qt::PainterCanvas canvas(nullptr);
        canvas.setOpenWhenDone(false);
        ASSERT_TRUE(products::PrintProduct(canvas, p, company, clock, file));
    }
    const std::string text =
        testing::RunCommand("pdftotext -layout " + testing::ShellQuote(file) + " -").output;
    EXPECT_NE(text.find("Product: Logo Design Package"), std::string::npos) << text;
    EXPECT_NE(text.find("Sales Price: 1,250.00"), std::string::npos);
    EXPECT_NE(text.find("Taxable: No"), std::string::npos);
    EXPECT_NE(text.find("Three concepts, two revision rounds."), std::string::npos);
    EXPECT_NE(text.find("Printed: Sunday, March 3, 2024, 02:05 PM"), std::string::npos);
    const std::string info = testing::RunCommand("pdfinfo " + testing::ShellQuote(file)).output;
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
}

}  // namespace
}  // namespace invarro::ui
