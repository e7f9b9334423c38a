// The import and export windows driven offscreen: loading and splitting a file into the
// grid, columns dragged under other headings, the customer import from the manager to
// the rebuild, and the export window's choices written to a file.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "app/Startup.h"
#include "customers/CImport.h"
#include "customers/DemoImport.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/OwnFiles.h"
#include "data/Update.h"
#include "platform/Clock.h"
#include "products/DemoImport.h"
#include "products/PImport.h"
#include "products/ProdEdit.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "storage/Verify.h"
#include "support/Modal.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CustForm.h"
#include "ui/ExportForm.h"
#include "ui/ImportForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/ProdForm.h"

namespace invarro::ui {
namespace {

using data::Customer;
using platform::Answer;
using testing::Child;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

// Saves a picture of the window when INVARRO_SCREENSHOTS names a folder.
void Screenshot(QWidget* w, const char* name) {
    const char* folder = std::getenv("INVARRO_SCREENSHOTS");
    if (!folder) return;
    w->grab().save(QString(folder) + "/" + name + ".png");
}

const char* kLibreOfficeFile =
    "\"Müller & Söhne\",\"100\",\"Hauptstraße 5\",\"\",\"Köln\",\"\",,,,,\"0221 555\",,"
    "\"Wholesale\",,\"EU\",\"info@mueller.example\"\r\n"
    "\"O'Brien \"\"Bob\"\" Supply, Inc.\",\"\",\"12 Main St, Suite 4\",\"\",\"Ames, IA\",\"\","
    ",,,,\"(515) 555-0199\",,\"Retail\",\"OBRIEN\",,\r\n"
    "\r\n"
    "\"Acme Tools\",\"\",\"400 Depot Street\",,,,,,,,,,,,,\r\n";

class ImportExportTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        company.setText(data::Company::NextCustNo, "41");
        company.setText(data::Company::DefTerms, "Net 30 Days");
        storeCompany();
        ASSERT_TRUE(
            data::CreateBusinessFileblock(customerFile(), data::KindOf(data::FileKind::Customer)));
        storage::Fileblock* fb = storage::OpenFileblock(customerFile(), false);
        customers::CustomerEntry e = customers::NewCustomerEntry(company);
        e.number = "100";
        e.name = "Acme Tools";
        ASSERT_TRUE(data::AddBusinessRecord(fb, customers::NewCustomerRecord(e), prompter).ok());
        storage::CloseFileblock(fb);

        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        services.folder = dir.path();
        services.prompter = &prompter;
        testing::WriteFileBytes(dir.file("cust.csv"), kLibreOfficeFile);
    }
    std::string customerFile() const { return companyFile(data::FileKind::Customer); }
    TImportForm::Setup customerSetup() {
        TImportForm::Setup s;
        s.title = "Customer Import";
        s.headings.assign(customers::kImportHeadings.begin(), customers::kImportHeadings.end());
        s.forceCaption = "When importing, force billing address into shipping address";
        s.boundsSection = "CustImport";
        return s;
    }

    CustomerWindowContext ctx;
    WindowServices services;
};

TEST_F(ImportExportTest, LoadsIntoTheGridAndKeepsItWhenAFileCannotBeSplit) {
    TImportForm form(customerSetup(), services);
    form.show();
    EXPECT_EQ(form.labelText().toStdString(), data::kSelectFileText);
    EXPECT_FALSE(Child<QPushButton>(&form, "ImportBtn")->isEnabled());
    EXPECT_EQ(form.grid()->columnCount(), 16);
    EXPECT_EQ(form.grid()->horizontalHeaderItem(2)->text(), "Address Filed 1");

    ASSERT_TRUE(form.loadFile(QString::fromStdString(dir.file("cust.csv"))));
    EXPECT_EQ(form.labelText(), "cust.csv - 3 records.");
    EXPECT_TRUE(Child<QPushButton>(&form, "ImportBtn")->isEnabled());
    ASSERT_EQ(form.grid()->rowCount(), 3);
    EXPECT_EQ(form.grid()->item(0, 0)->text(), "Müller & Söhne");
    EXPECT_EQ(form.grid()->item(1, 0)->text(), "O'Brien \"Bob\" Supply, Inc.");
    EXPECT_EQ(form.grid()->item(1, 2)->text(), "12 Main St, Suite 4");
    const auto rows = form.rows();
    EXPECT_EQ(rows[2].line, 4);
    Screenshot(&form, "customer-import");

    testing::WriteFileBytes(dir.file("bad.csv"), "\"never closed,1\r\nx,2\r\n");
    prompter.expect(std::string(data::kWrongFormatText));
    EXPECT_FALSE(form.loadFile(QString::fromStdString(dir.file("bad.csv"))));
    EXPECT_EQ(form.labelText(), "cust.csv - 3 records.");
    EXPECT_EQ(form.grid()->rowCount(), 3);

    testing::WriteFileBytes(dir.file("empty.csv"), "\r\n  \r\n");
    ASSERT_TRUE(form.loadFile(QString::fromStdString(dir.file("empty.csv"))));
    EXPECT_EQ(form.labelText().toStdString(), data::kNoRecordsText);
    EXPECT_FALSE(Child<QPushButton>(&form, "ImportBtn")->isEnabled());
}

TEST_F(ImportExportTest, DraggedColumnsFeedTheHeadingTheyStandUnder) {
    testing::WriteFileBytes(dir.file("swapped.csv"), "100,\"Smith Ltd\"\r\n");
    TImportForm form(customerSetup(), services);
    ASSERT_TRUE(form.loadFile(QString::fromStdString(dir.file("swapped.csv"))));
    QHeaderView* header = form.grid()->horizontalHeader();
    header->moveSection(1, 0);  // the names' column to the front
    // The headings stay in their order by position.
    EXPECT_EQ(form.grid()->horizontalHeaderItem(header->logicalIndex(0))->text(), "Customer Name");
    EXPECT_EQ(form.grid()->horizontalHeaderItem(header->logicalIndex(1))->text(), "Number");
    const auto rows = form.rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].fields[0], "Smith Ltd");
    EXPECT_EQ(rows[0].fields[1], "100");
}

TEST_F(ImportExportTest, SeparatorChoiceSplitsTheFileAgain) {
    testing::WriteFileBytes(dir.file("semi.txt"), "\"Acme; West\";7;a,b\r\n");
    TImportForm form(customerSetup(), services);
    ASSERT_TRUE(form.loadFile(QString::fromStdString(dir.file("semi.txt"))));
    EXPECT_EQ(form.grid()->item(0, 1)->text(), ";7;a");
    Child<QComboBox>(&form, "SeparatorBox")->setCurrentIndex(2);  // "Character:" with ";"
    EXPECT_EQ(form.grid()->item(0, 0)->text(), "Acme; West");
    EXPECT_EQ(form.grid()->item(0, 1)->text(), "7");
    EXPECT_EQ(form.grid()->item(0, 2)->text(), "a,b");
}

// From the manager's command to the rebuilt files: the preview, the run, the message,
// the manager closing and the rebuild.
TEST_F(ImportExportTest, CustomerImportFromTheManager) {
    bool done = false;
    WhenModal<TCustForm>([&](TCustForm* manager) {
        WhenModal<TImportForm>([&](TImportForm* imp) {
            imp->chooseFile = [&] { return QString::fromStdString(dir.file("cust.csv")); };
            Child<QPushButton>(imp, "OpenBtn")->click();
            Child<QCheckBox>(imp, "ForceBox")->setChecked(true);
            data::DelimitedText text;
            text.rows = imp->rows();
            const auto rows = customers::CustomerImportRows(text);
            // Cancelled at the preview: nothing is written and the window stays.
            prompter.expect(customers::CustomerPreviewMessage(rows[0], true).text, Answer::Cancel);
            Child<QPushButton>(imp, "ImportBtn")->click();
            EXPECT_TRUE(imp->isVisible());
            prompter.expect(customers::CustomerPreviewMessage(rows[0], true).text, Answer::Ok);
            prompter.expect(std::string(data::kImportCompleteText));
            Child<QPushButton>(imp, "ImportBtn")->click();
            done = true;
        });
        manager->importCustomers();
    });
    ASSERT_TRUE(TCustForm::Run(ctx));
    ASSERT_TRUE(done);
    // The manager closed, the files were rebuilt: every customer has its keys.
    EXPECT_TRUE(storage::CheckFileblock(customerFile()).empty());
    storage::Fileblock* fb = storage::OpenFileblock(customerFile(), false);
    ASSERT_TRUE(storage::EngineOk);
    EXPECT_EQ(storage::KeyCount(fb, 1), 4);
    data::CustomerRecord probe;
    probe.setText(Customer::Name, "Acme Tools 102");
    auto acme = data::FindAtOrAfter<Customer>(fb, 1, probe);
    ASSERT_TRUE(acme);
    EXPECT_EQ(acme->record.text(Customer::Name), "Acme Tools 102");
    EXPECT_EQ(acme->record.text(Customer::ShipAddr1), "400 Depot Street");
    probe.setText(Customer::Name, "Müller & Söhne");
    auto mueller = data::FindAtOrAfter<Customer>(fb, 1, probe);
    ASSERT_TRUE(mueller);
    EXPECT_EQ(mueller->record.text(Customer::CustNo), "100B");
    EXPECT_EQ(mueller->record.text(Customer::BillAddr3), "Köln");
    EXPECT_EQ(mueller->record.text(Customer::Terms), "Net 30 Days");
    storage::CloseFileblock(fb);
    EXPECT_EQ(company.text(data::Company::NextCustNo), "103");
}

TEST_F(ImportExportTest, CustomerExportWritesTheChosenFieldsAndKind) {
    bool done = false;
    WhenModal<TCustForm>([&](TCustForm* manager) {
        WhenModal<TExportForm>([&](TExportForm* exp) {
            EXPECT_EQ(exp->windowTitle(), "Customer Export to File");
            EXPECT_TRUE(Child<QCheckBox>(exp, "NumberBox")->isChecked());
            EXPECT_TRUE(Child<QCheckBox>(exp, "EMailBox")->isChecked());
            EXPECT_FALSE(Child<QCheckBox>(exp, "NotesBox")->isChecked());
            EXPECT_TRUE(Child<QRadioButton>(exp, "CsvBtn")->isChecked());
            Screenshot(exp, "customer-export");
            Child<QCheckBox>(exp, "BillingBox")->setChecked(false);
            Child<QCheckBox>(exp, "EMailBox")->setChecked(false);

            // A double quote cannot separate values.
            Child<QRadioButton>(exp, "CharacterBtn")->setChecked(true);
            Child<QLineEdit>(exp, "CharacterEdit")->setText("\"");
            prompter.expect(
                "The values cannot be separated by this character. Choose another one.");
            EXPECT_FALSE(exp->exportNow());

            Child<QRadioButton>(exp, "CommaQuoteBtn")->setChecked(true);
            Child<QCheckBox>(exp, "Utf8Box")->setChecked(true);
            std::string proposed;
            exp->chooseFile = [&](const data::ExportFileProposal& p) {
                proposed = p.fileName;
                return QString::fromStdString(dir.file("out.txt"));
            };
            prompter.expect("All customers have been exported to text file.");
            Child<QPushButton>(exp, "ExportBtn")->click();
            EXPECT_EQ(proposed, "CustList.Txt");
            EXPECT_EQ(prompter.last().title, "Export Complete");
            EXPECT_EQ(exp->resultText(), "1 records exported.");
            EXPECT_FALSE(exp->isVisible());
            done = true;
        });
        manager->exportCustomers();
        manager->reject();
    });
    ASSERT_TRUE(TCustForm::Run(ctx));
    ASSERT_TRUE(done);
    EXPECT_EQ(testing::ReadFileBytes(dir.file("out.txt")),
              "\xEF\xBB\xBF\"Acme Tools\",\"100\"\r\n");
}

// Chosen in the save dialog and answered Yes to "replace?", a data file of the folder is
// still never written over; another name in the same folder is written.
TEST_F(ImportExportTest, TheExportNeverWritesOverADataFileWhateverTheAnswerToReplace) {
    const data::DataFolderInUseScope inUse(dir.path());
    const std::string dataFile = storage::DataFileName(customerFile());
    const std::string before = testing::ReadFileBytes(dataFile);
    bool asked = false, refused = false;
    WhenModal<TCustForm>([&](TCustForm* manager) {
        WhenModal<TExportForm>([&](TExportForm* exp) {
            WhenModal<QFileDialog>([&](QFileDialog* dialog) {
                auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
                ASSERT_TRUE(name);
                name->setText(QString::fromStdString(dataFile));
                WhenModal<QMessageBox>([&](QMessageBox* replace) {
                    asked = true;
                    replace->button(QMessageBox::Yes)->click();
                });
                QTest::keyClick(name, Qt::Key_Return);
            });
            prompter.expect(data::OwnFileProblem(dir.path(), dataFile));
            QTest::mouseClick(Child<QPushButton>(exp, "ExportBtn"), Qt::LeftButton);
            refused = prompter.done();
            EXPECT_EQ(prompter.last().icon, platform::Icon::Error);
            EXPECT_TRUE(exp->isVisible());
            exp->reject();
        });
        manager->exportCustomers();
        manager->reject();
    });
    ASSERT_TRUE(TCustForm::Run(ctx));
    EXPECT_TRUE(asked);
    EXPECT_TRUE(refused);
    EXPECT_EQ(testing::ReadFileBytes(dataFile), before);
}

// The product import closes the manager and rebuilds the product file before it says
// it is complete, so the products are found by code at once.
TEST_F(ImportExportTest, ProductImportFromTheManagerRebuildsAtOnce) {
    platform::FixedClock clock{{2025, 3, 15, 9, 0, 0}};
    ctx.clock = &clock;
    testing::WriteFileBytes(dir.file("prod.csv"),
                            "AB1,\"Blue Widget\",Y,9.95\r\n"
                            "ab1,\"Same code again\",N,\"1,250.00\"\r\n"
                            ",\"No code\",Y,abc\r\n"
                            "\"PIPE-3/4\",\"3/4\"\" copper pipe, 10 ft\",N,14.5\r\n");
    bool done = false;
    WhenModal<TEditProd>([&](TEditProd* manager) {
        WhenModal<TImportForm>([&](TImportForm* imp) {
            EXPECT_EQ(imp->windowTitle(), "Product Import");
            EXPECT_EQ(imp->grid()->columnCount(), 4);
            EXPECT_EQ(imp->findChild<QCheckBox*>("ForceBox"), nullptr);
            ASSERT_TRUE(imp->loadFile(QString::fromStdString(dir.file("prod.csv"))));
            EXPECT_EQ(imp->labelText(), "prod.csv - 4 records.");
            Screenshot(imp, "product-import");
            prompter.expect(std::string(products::kProductImportCompleteText));
            Child<QPushButton>(imp, "ImportBtn")->click();
            done = true;
        });
        manager->importProducts();
    });
    ASSERT_TRUE(TEditProd::Run(ctx));
    ASSERT_TRUE(done);
    const std::string file = data::FileblockName(dir.path(), data::FileKind::Product, "1");
    EXPECT_TRUE(storage::CheckFileblock(file).empty());
    for (const char* code : {"AB1", "DUP1", "2", "PIPE-3/4"}) {
        products::ProductLookup found = products::LookUpProduct(dir.path(), "1", code, prompter);
        ASSERT_TRUE(found.product) << code;
        EXPECT_EQ(found.product->text(data::Product::SetupDate), "03/15/2025");
    }
    auto pipe = products::LookUpProduct(dir.path(), "1", "pipe-3/4", prompter).product;
    EXPECT_EQ(pipe->text(data::Product::Description), "3/4\" copper pipe, 10 ft");
    EXPECT_EQ(pipe->text(data::Product::SellPrice), "14.50");
}

TEST_F(ImportExportTest, ProductExportShowsTheCountAndStaysOpen) {
    testing::WriteFileBytes(dir.file("prod.csv"), "B2,\"Blue Widget\",Y,9.95\r\nA1,Gadget,N,2\r\n");
    const std::string file = data::FileblockName(dir.path(), data::FileKind::Product, "1");
    ASSERT_TRUE(data::CreateBusinessFileblock(file, data::KindOf(data::FileKind::Product)));
    storage::Fileblock* fb = storage::OpenFileblock(file, false);
    data::DelimitedText text = data::ReadDelimitedFile(dir.file("prod.csv"), ',');
    platform::SilentProgress silent;
    products::ImportProducts(fb, products::ProductImportRows(text), "01/01/2025", silent, prompter);
    storage::CloseFileblock(fb);
    ASSERT_TRUE(products::RebuildProductFile(dir.path(), "1", silent));

    bool done = false;
    WhenModal<TEditProd>([&](TEditProd* manager) {
        WhenModal<TExportForm>([&](TExportForm* exp) {
            EXPECT_EQ(exp->windowTitle(), "Product Export to File");
            EXPECT_EQ(Child<QLabel>(exp, "AlwaysLabel")->text(), "Product Code (always)");
            Child<QCheckBox>(exp, "TaxableBox")->setChecked(false);
            Screenshot(exp, "product-export");
            std::string proposed;
            exp->chooseFile = [&](const data::ExportFileProposal& p) {
                proposed = p.fileName;
                return QString::fromStdString(dir.file("ProdList.CSV"));
            };
            EXPECT_TRUE(exp->exportNow());
            EXPECT_EQ(proposed, "ProdList.CSV");
            EXPECT_EQ(exp->resultText(), "2 records exported.");
            EXPECT_TRUE(exp->isVisible());
            exp->reject();
            done = true;
        });
        manager->exportProducts();
        manager->reject();
    });
    ASSERT_TRUE(TEditProd::Run(ctx));
    ASSERT_TRUE(done);
    EXPECT_EQ(testing::ReadFileBytes(dir.file("ProdList.CSV")),
              "A1,Gadget,2.00\r\nB2,\"Blue Widget\",9.95\r\n");
}

// The demo installation's sample files import with each of their cases: renamed and
// renumbered customers, "DUP" codes, an automatic code, amounts with commas.
TEST_F(ImportExportTest, DemoSampleFilesImport) {
    const std::string folder = dir.file("demo");
    ASSERT_TRUE(app::CreateDemoInstallation(folder, prompter).ok);
    std::optional<data::CompanyRecord> demo = app::ReadCompanyByNumber(folder, "1", prompter);
    ASSERT_TRUE(demo);
    company = *demo;
    ctx.dataFolder = folder;

    WhenModal<TCustForm>([&](TCustForm* manager) {
        WhenModal<TImportForm>([&](TImportForm* imp) {
            imp->resize(900, 360);
            ASSERT_TRUE(imp->loadFile(
                QString::fromStdString(folder + "/" + customers::kDemoCustomerImportFile)));
            EXPECT_EQ(imp->labelText(), "NewCustomers.CSV - 9 records.");
            Screenshot(imp, "demo-customer-import");
            data::DelimitedText text;
            text.rows = imp->rows();
            prompter.expect(
                customers::CustomerPreviewMessage(customers::CustomerImportRows(text)[0], false)
                    .text);
            prompter.expect(std::string(data::kImportCompleteText) +
                            " 1 value was changed to fit the file (a character it cannot hold "
                            "became \"?\", a value too long was cut, a line break became a "
                            "blank); the first was on line 9: Address Filed 1 \"Pier 3, Building "
                            "B\u00b6Rear Entrance\" became \"Pier 3, Building B Rear Entrance\".");
            Child<QPushButton>(imp, "ImportBtn")->click();
        });
        manager->importCustomers();
    });
    ASSERT_TRUE(TCustForm::Run(ctx));

    const std::string customersFile = data::FileblockName(folder, data::FileKind::Customer, "1");
    EXPECT_TRUE(storage::CheckFileblock(customersFile).empty());
    storage::Fileblock* fb = storage::OpenFileblock(customersFile, false);
    auto named = [&](const std::string& name) {
        data::CustomerRecord probe;
        probe.setText(Customer::Name, name);
        auto f = data::FindAtOrAfter<Customer>(fb, 1, probe);
        return f && f->record.text(Customer::Name) == name ? f->record.text(Customer::CustNo)
                                                           : std::string("missing");
    };
    EXPECT_EQ(named("Northern Lights Yoga"), "100B");
    EXPECT_NE(named("@Home Interiors"), "missing");
    EXPECT_NE(named("Penobscot Bay Chandlery"), "missing");
    EXPECT_NE(named("Café Société"), "missing");
    EXPECT_NE(named("O'Neil \"Doc\" Harrington, DDS"), "missing");
    const std::string bakery = named("Maple Street Bakery");
    EXPECT_NE(bakery, "missing");
    storage::CloseFileblock(fb);

    // The manager shows them after the rebuild.
    WhenModal<TCustForm>([&](TCustForm* manager) {
        manager->resize(760, 420);
        manager->list()->JumpToKey("LIGHTHOUSE");
        QTest::qWait(50);
        Screenshot(manager, "demo-customers-after-import");
        manager->reject();
    });
    ASSERT_TRUE(TCustForm::Run(ctx));

    WhenModal<TEditProd>([&](TEditProd* manager) {
        WhenModal<TImportForm>([&](TImportForm* imp) {
            ASSERT_TRUE(imp->loadFile(
                QString::fromStdString(folder + "/" + products::kDemoProductImportFile)));
            EXPECT_EQ(imp->labelText(), "NewProducts.CSV - 8 records.");
            Screenshot(imp, "demo-product-import");
            prompter.expect(std::string(products::kProductImportCompleteText) +
                            " 1 value was changed to fit the file (a character it cannot hold "
                            "became \"?\", a value too long was cut, a line break became a "
                            "blank); the first was on line 5: Invoice Line-Item Description "
                            "\"Business Cards, 500, recycled stock\" became \"Business Cards, "
                            "500, recycled st\".");
            Child<QPushButton>(imp, "ImportBtn")->click();
        });
        manager->importProducts();
    });
    ASSERT_TRUE(TEditProd::Run(ctx));
    const std::string productsFile = data::FileblockName(folder, data::FileKind::Product, "1");
    EXPECT_TRUE(storage::CheckFileblock(productsFile).empty());
    auto product = [&](const char* code) {
        return products::LookUpProduct(folder, "1", code, prompter).product;
    };
    ASSERT_TRUE(product("STK-OVAL3"));
    ASSERT_TRUE(product("CAFÉ-CRÈME"));
    EXPECT_EQ(product("STK-OVAL3")->text(data::Product::Description), "Oval Stickers 3\", per 250");
    EXPECT_EQ(product("FOLD-9X12")->text(data::Product::SellPrice), "1150.00");
    ASSERT_TRUE(product("BC-500"));
    EXPECT_EQ(product("BC-500")->text(data::Product::Description),
              "Business Cards, 500, 2-sided");  // the one on file stays as it was

    WhenModal<TEditProd>([&](TEditProd* manager) {
        manager->resize(760, 420);
        manager->list()->JumpToKey("DUP");
        QTest::qWait(50);
        Screenshot(manager, "demo-products-after-import");
        manager->reject();
    });
    ASSERT_TRUE(TEditProd::Run(ctx));
}

TEST_F(ImportExportTest, FilterPatternsMatchBothCases) {
    EXPECT_EQ(QtFileFilter("CSV File (*.CSV)|*.CSV|Record List (*.TXT)|*.TXT"),
              "CSV File (*.CSV *.csv);;Record List (*.TXT *.txt)");
}

}  // namespace
}  // namespace invarro::ui
