// The label wizard and the form letter wizard, driven offscreen, printing into PDF files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "output/Demo.h"
#include "output/Labelwiz.h"
#include "output/RtfReader.h"
#include "platform/qt/Printer.h"
#include "storage/Backend.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/Modal.h"
#include "support/PdfTools.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/ChangeWatcher.h"
#include "ui/CustForm.h"
#include "ui/FindForm.h"
#include "ui/Labelwiz.h"
#include "ui/LetterDocument.h"
#include "ui/REMain.h"

namespace invarro::ui {
namespace {

using data::Customer;
using platform::Answer;
using testing::Child;
using testing::MnemonicClashes;
using testing::ReadFileBytes;
using testing::RunCommand;
using testing::ScriptedPrompter;
using testing::ShellQuote;
using testing::TempDir;
using testing::WhenModal;
using testing::WriteFileBytes;

// Saves a picture of the window when INVARRO_SHOTS names a folder.
void Shot(QWidget* w, const char* name) {
    if (const char* folder = std::getenv("INVARRO_SHOTS"))
        w->grab().save(QString::fromUtf8(folder) + "/" + name + ".png");
}

std::string PdfText(const std::string& file) {
    auto r = RunCommand("pdftotext -layout " + ShellQuote(file) + " -");
    EXPECT_EQ(r.status, 0) << file;
    return r.output;
}

class LabelLetterTest : public testing::CompanyWindowTest {
  protected:
    void SetUp() override {
        CompanyWindowTest::SetUp();
        company.setText(data::Company::CoAddr1, "12 Harbor Road");
        company.setText(data::Company::AgingDays1, "30");
        company.setText(data::Company::AgingDays2, "60");
        company.setText(data::Company::AgingDays3, "90");
        const std::string name = companyFile(data::FileKind::Customer);
        ASSERT_TRUE(data::CreateBusinessFileblock(name, data::KindOf(data::FileKind::Customer)));
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        ASSERT_TRUE(storage::EngineOk);
        struct Sample {
            const char* no;
            const char* name;
            const char* sort;
            const char* over90;
        };
        for (const Sample& s : {Sample{"100", "Acme Tools", "NORTH", "0.00"},
                                Sample{"200", "Bolt & Nut, Inc.", "south", "75.00"},
                                Sample{"300", "Cleo Kramer KRCSTNOTES", "North-West", "0.00"}}) {
            data::CustomerRecord c = data::NewRecord<Customer>();
            c.setText(Customer::CustNo, s.no);
            c.setText(Customer::Name, s.name);
            c.setText(Customer::BillAddr1, "Suite 4, Floor 2");
            c.setText(Customer::BillAddr3, std::string("Ames, IA 5001") + s.no[0]);
            c.setText(Customer::MailSortCode, s.sort);
            c.setText(Customer::AgeOver90, s.over90);
            c.setText(Customer::Notes, "private notes");
            ASSERT_TRUE(data::AddBusinessRecord(fb, c, prompter).ok());
        }
        storage::CloseFileblock(fb);

        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        ctx.labelQueue = &queue;
        ctx.selectedCustomer = &selected;
        ctx.labelsWaiting = [this](bool on) { waiting = on; };

        QPrinter& printer = platform::qt::ProgramPrinter();
        savedFormat = printer.outputFormat();
        savedFile = printer.outputFileName();
        savedResolution = printer.resolution();
        printer.setOutputFormat(QPrinter::PdfFormat);
        // Label layouts are in printer dots: these are for a 300-dot printer.
        printer.setResolution(300);
        printer.setOutputFileName(QString::fromStdString(dir.file("printed.pdf")));
        chooser = [this](const QString&, const QString& folder, const QString&, bool,
                         const QString&) {
            EXPECT_EQ(folder.toStdString(), dir.path());
            return QString::fromStdString(nextFile);
        };
    }
    void TearDown() override {
        CompanyWindowTest::TearDown();
        QPrinter& printer = platform::qt::ProgramPrinter();
        printer.setOutputFormat(savedFormat);
        printer.setOutputFileName(savedFile);
        printer.setResolution(savedResolution);
    }

    output::LabelLayout sheet() const {
        output::LabelLayout l;
        l.description = "Three across, ten down";
        l.leftMargin = "60";
        l.topMargin = "150";
        l.columns = "3";
        l.rows = "10";
        l.labelWidth = "780";
        l.labelHeight = "300";
        l.font = output::Font{"Arial", 10, output::kBlack, 0};
        return l;
    }

    output::LabelQueue queue;
    data::CustomerRecord selected;
    bool waiting = false;
    CustomerWindowContext ctx;
    FileChooser chooser;
    std::string nextFile;
    QPrinter::OutputFormat savedFormat = QPrinter::NativeFormat;
    QString savedFile;
    int savedResolution = 0;
};

// ------------------------------------------------------------------------ label wizard

TEST_F(LabelLetterTest, WithoutALastLayoutPrintingWaitsForOne) {
    TLabelWiz w(ctx);
    EXPECT_EQ(w.statusText(), "Open a label layout file (Label Menu)...");
    EXPECT_FALSE(w.printingEnabled());
    EXPECT_FALSE(Child<QWidget>(&w, "PrintBtn")->isEnabled());

    // A remembered layout that is gone is forgotten.
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("gone.LBL")));
    TLabelWiz again(ctx);
    EXPECT_FALSE(data::FileExists(dir.file("Lastlbl.DAT")));
    EXPECT_EQ(again.statusText(), "Open a label layout file (Label Menu)...");
}

// Fitted to a screen too narrow for the layout and the queue side by side, the wizard puts
// the queue under the layout: it scrolls up and down only, nothing cut at the right.
TEST_F(LabelLetterTest, OnANarrowScreenTheQueueGoesUnderTheLayout) {
    TLabelWiz w(ctx);
    FitDialogToScreen(&w);
    w.show();
    QApplication::processEvents();
    QGroupBox* layout = nullptr;
    QGroupBox* queue = nullptr;
    for (QGroupBox* box : w.findChildren<QGroupBox*>()) {
        if (box->title() == "Label Layout") layout = box;
        if (box->title() == "Print Queue") queue = box;
    }
    ASSERT_NE(layout, nullptr);
    ASSERT_NE(queue, nullptr);
    const QRect room = ClientArea(&w);
    const int sideBySide = layout->minimumSizeHint().width() + queue->minimumSizeHint().width();
    if (sideBySide <= room.width()) GTEST_SKIP() << "this screen has room for both side by side";
    EXPECT_GE(queue->mapTo(&w, QPoint(0, 0)).y(),
              layout->mapTo(&w, QPoint(0, layout->height())).y())
        << "the queue stands under the layout";
    if (auto* scroll = w.findChild<QScrollArea*>("ScrolledArea")) {
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    }
    EXPECT_LE(w.width(), room.width());
}

TEST_F(LabelLetterTest, TheLastLayoutOpensAndStartAndCopiesAreOne) {
    ASSERT_TRUE(output::WriteLabelLayout(dir.file("sheet.LBL"), sheet()));
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("sheet.LBL")));
    TLabelWiz w(ctx);
    w.show();
    EXPECT_TRUE(w.printingEnabled());
    EXPECT_EQ(Child(&w, "LDesc")->text(), "Three across, ten down");
    EXPECT_EQ(Child(&w, "LCols")->text(), "3");
    EXPECT_EQ(Child(&w, "LCols")->maxLength(), 1);
    EXPECT_EQ(Child(&w, "StartLabel")->text(), "1");
    EXPECT_EQ(Child(&w, "Copies")->text(), "1");
    EXPECT_EQ(w.statusText(), "Ready. Add and remove records as needed or select print button.");
    EXPECT_EQ(w.layoutFromControls(), sheet());
}

// The measures are dots; beside each the wizard shows what it comes to on paper, at the
// resolution the layout was measured in, which is kept beside the layout when it is saved.
TEST_F(LabelLetterTest, MeasuresShowInInchesOrMillimetresAtTheLayoutsResolution) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(output::WriteLabelLayout(dir.file("sheet.LBL"), sheet()));
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("sheet.LBL")));
    {
        TLabelWiz w(ctx);
        w.setFileChooser(chooser);
        EXPECT_EQ(Child(&w, "LDpi")->text(), "300");
        EXPECT_EQ(Child<QLabel>(&w, "LLeftShown")->text(), "(0.20 in)");
        EXPECT_EQ(Child<QLabel>(&w, "LTopShown")->text(), "(0.50 in)");
        EXPECT_EQ(Child<QLabel>(&w, "LWidthShown")->text(), "(2.60 in)");
        EXPECT_EQ(Child<QLabel>(&w, "LHeightShown")->text(), "(1.00 in)");
        Child(&w, "LDpi")->setText("600");
        EXPECT_EQ(Child<QLabel>(&w, "LHeightShown")->text(), "(0.50 in)");
        nextFile = dir.file("fine.LBL");
        ASSERT_TRUE(w.saveLayoutAs());
    }
    EXPECT_EQ(output::ReadLabelResolution(data::IniFile(data::IniFilePath(dir.path())),
                                          dir.file("fine.LBL")),
              600);
    // Opened again, the layout comes with its resolution; elsewhere in millimetres.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TLabelWiz again(ctx);
    EXPECT_EQ(Child(&again, "LDpi")->text(), "600");
    EXPECT_EQ(Child<QLabel>(&again, "LHeightShown")->text(), "(12.7 mm)");
    QLocale::setDefault(saved);
}

TEST_F(LabelLetterTest, AHostileLayoutFileIsRefusedWithItsName) {
    WriteFileBytes(dir.file("bad.LBL"), std::string(100, '\xFF'));
    TLabelWiz w(ctx);
    w.setFileChooser(chooser);
    nextFile = dir.file("bad.LBL");
    prompter.expect("The file " + nextFile +
                    " is not a label layout file: it holds 100 bytes; a label layout holds 444.");
    w.openLayoutCommand();
    EXPECT_FALSE(w.printingEnabled());
}

TEST_F(LabelLetterTest, TheQueueFillsEmptiesSavesLoadsAndExports) {
    TLabelWiz w(ctx);
    w.setFileChooser(chooser);
    w.show();
    w.loadAll();
    EXPECT_EQ(w.statusText(), "3 records were added.");
    EXPECT_EQ(w.list()->topLevelItemCount(), 3);
    EXPECT_EQ(w.list()->topLevelItem(1)->text(1), "Bolt & Nut, Inc.");
    EXPECT_EQ(w.list()->topLevelItem(2)->text(2), "North-West");
    EXPECT_TRUE(waiting);
    Shot(&w, "labelwiz");

    // The aging button for the period beyond the third category, on an empty queue.
    w.clearAll();
    w.loadAging(3);
    EXPECT_EQ(w.statusText(), "1 records were added.");
    w.loadAging(1);
    EXPECT_EQ(w.statusText(), "No records were found.");
    Child(&w, "lblfilter")->setText("north");
    w.loadFiltered();
    EXPECT_EQ(w.statusText(), "2 records were added.");
    Child(&w, "lblfilter")->setText("nowhere");
    prompter.expect(
        "No matching records were found in the Customer Mailing List Sort Code or Customer "
        "Type fields.");
    w.loadFiltered();
    Child(&w, "lblfilter")->clear();
    prompter.expect("You have not entered any search filter. Do you want to load all customers?",
                    Answer::No);
    w.loadFiltered();
    EXPECT_EQ(prompter.last().defaultButton, Answer::No);
    EXPECT_EQ(queue.size(), 3u);
    Child(&w, "lblfilter")->setText("south");
    w.loadFiltered();
    EXPECT_EQ(w.statusText(), "0 records were added. Already in the queue: 1.");
    w.loadAll();
    EXPECT_EQ(queue.size(), 3u);

    w.list()->setCurrentItem(w.list()->topLevelItem(1));
    w.deleteRecord();
    EXPECT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue.entries()[0].custNo, "200");
    EXPECT_EQ(queue.entries()[1].custNo, "300");

    nextFile = dir.file("queue.LST");
    w.saveRecords();
    EXPECT_EQ(w.statusText(), "Records saved to file: queue.LST.");
    EXPECT_FALSE(waiting);
    w.clearAll();
    EXPECT_EQ(w.statusText(), "All records were removed from the queue.");
    EXPECT_TRUE(queue.empty());
    prompter.expect("You do not have any customer records to save.");
    w.saveRecords();
    prompter.expect("You do not have any records listed to export addresses for.");
    w.exportAddresses();
    w.loadRecords();
    EXPECT_EQ(w.statusText(), "2 records are selected.");
    EXPECT_EQ(queue.size(), 2u);

    nextFile = dir.file("addresses.TXT");
    prompter.expect(
        "This will create a text file of addresses for all customers in the print queue. "
        "Continue?",
        Answer::Yes);
    prompter.expect("All addresses have been exported to text file.");
    w.exportAddresses();
    EXPECT_EQ(w.statusText(), "Address text saved to file: addresses.TXT.");
    const std::string text = ReadFileBytes(nextFile);
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "\"Bolt & Nut, Inc.\",\"Suite 4, Floor 2\",\"Ames, IA 50012\"");
}

// Another program renames a queued customer: within a second the queue shows the new name,
// in its place, with the same row highlighted. A change of another file leaves it alone.
TEST_F(LabelLetterTest, TheQueueShowsCustomersChangedElsewhere) {
    TLabelWiz w(ctx);
    w.show();
    w.loadAll();
    ASSERT_EQ(w.list()->topLevelItemCount(), 3);
    w.list()->setCurrentItem(w.list()->topLevelItem(2));
    {
        const std::string name = companyFile(data::FileKind::Customer);
        storage::Fileblock* fb = storage::OpenFileblock(name, false);
        ASSERT_TRUE(fb);
        data::CustomerRecord probe;
        probe.setText(Customer::CustNo, "200");
        const auto before = data::FindAtOrAfter<Customer>(fb, 2, probe);
        ASSERT_TRUE(before);
        data::CustomerRecord after = before->record;
        after.setText(Customer::Name, "Bolt & Nut Renamed");
        ASSERT_TRUE(
            data::ChangeBusinessRecord(fb, before->recNo, before->record, after, prompter).ok());
        storage::CloseFileblock(fb);
    }
    std::vector<std::string> told = {storage::FileblockName(companyFile(data::FileKind::Invoice))};
    ChangeWatcher::instance().setSource([&] { return std::exchange(told, {}); });
    QTest::qWait(2 * ChangeWatcher::kIntervalMs + 100);
    EXPECT_EQ(w.list()->topLevelItem(1)->text(1), "Bolt & Nut, Inc.");
    told = {storage::FileblockName(companyFile(data::FileKind::Customer) + ".DAT")};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.list()->topLevelItem(1)->text(1) == "Bolt & Nut Renamed"; }, 1500));
    ChangeWatcher::instance().setSource({});
    EXPECT_EQ(queue.entries()[1].name, "Bolt & Nut Renamed");
    EXPECT_EQ(w.list()->topLevelItemCount(), 3);
    EXPECT_EQ(w.list()->indexOfTopLevelItem(w.list()->currentItem()), 2);
    Shot(&w, "labelwiz-refreshed");
}

TEST_F(LabelLetterTest, LoadingEveryoneTwiceQueuesEachCustomerOnce) {
    TLabelWiz w(ctx);
    w.show();
    auto* loadAll = Child<QPushButton>(&w, "LoadAllBtn");
    QTest::mouseClick(loadAll, Qt::LeftButton);
    EXPECT_EQ(w.statusText(), "3 records were added.");
    QTest::mouseClick(loadAll, Qt::LeftButton);
    EXPECT_EQ(w.statusText(), "0 records were added. Already in the queue: 3.");
    EXPECT_EQ(w.list()->topLevelItemCount(), 3);

    // The other loads pass over who is queued already (and say so, not that nobody was
    // found), and so does a load after a delete.
    QTest::mouseClick(Child<QPushButton>(&w, "Aging4Btn"), Qt::LeftButton);
    EXPECT_EQ(w.statusText(), "0 records were added. Already in the queue: 1.");
    QTest::keyClicks(Child(&w, "lblfilter"), "north");
    QTest::mouseClick(Child<QPushButton>(&w, "FilterLoadBtn"), Qt::LeftButton);
    EXPECT_EQ(w.statusText(), "0 records were added. Already in the queue: 2.");
    w.list()->setCurrentItem(w.list()->topLevelItem(1));
    QTest::mouseClick(Child<QPushButton>(&w, "DeleteBtn"), Qt::LeftButton);
    QTest::mouseClick(loadAll, Qt::LeftButton);
    EXPECT_EQ(w.statusText(), "1 records were added. Already in the queue: 2.");
    EXPECT_EQ(w.list()->topLevelItemCount(), 3);
    EXPECT_EQ(w.list()->topLevelItem(2)->text(0), "200");
    EXPECT_EQ(queue.size(), 3u);
}

TEST_F(LabelLetterTest, EveryAltLetterLeadsToOnePlace) {
    TLabelWiz w(ctx);
    w.show();
    EXPECT_EQ(MnemonicClashes(&w), std::vector<std::string>{});
    // Alt+L is the Label menu, not a field.
    QTest::keyClick(&w, Qt::Key_L, Qt::AltModifier);
    EXPECT_NE(QApplication::focusWidget(), Child<QWidget>(&w, "LLeft"));
}

TEST_F(LabelLetterTest, ACustomerFileThatCannotBeOpenedExportsAndPrintsNothing) {
    ASSERT_TRUE(output::WriteLabelLayout(dir.file("sheet.LBL"), sheet()));
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("sheet.LBL")));
    TLabelWiz w(ctx);
    w.setFileChooser(chooser);
    w.show();
    w.loadAll();
    ASSERT_EQ(queue.size(), 3u);
    ASSERT_TRUE(waiting);
    nextFile = dir.file("addresses.TXT");
    WriteFileBytes(nextFile, "earlier export\r\n");
    // The index is gone and the user declines the rebuild: no customer can be read.
    const std::string name = data::FileblockName(dir.path(), data::FileKind::Customer, "1");
    ASSERT_TRUE(data::RemoveFile(storage::IndexFileName(name)));
    const std::string status = w.statusText().toStdString();

    prompter.expect(
        "This will create a text file of addresses for all customers in the print queue. "
        "Continue?",
        Answer::Yes);
    prompter.expect("OK to overwrite " + nextFile, Answer::Yes);
    prompter.expect(std::string(data::kIndexDefective), Answer::No);
    prompter.expect("Unable to open database");
    w.exportAddresses();
    EXPECT_EQ(ReadFileBytes(nextFile), "earlier export\r\n");
    EXPECT_EQ(w.statusText().toStdString(), status);

    prompter.expect(std::string(data::kIndexDefective), Answer::No);
    prompter.expect("Unable to open database");
    w.printLabels();
    EXPECT_FALSE(data::FileExists(dir.file("printed.pdf")));
    EXPECT_EQ(w.statusText().toStdString(), status);
    EXPECT_TRUE(waiting);
}

TEST_F(LabelLetterTest, BadAgingDaysStopTheAgingButtons) {
    company.setText(data::Company::AgingDays3, "x");
    TLabelWiz w(ctx);
    prompter.expect(
        "Category 3 has a bad value in your aging days (Company Setup). Unable to process.");
    w.loadAging(0);
    EXPECT_TRUE(queue.empty());
}

TEST_F(LabelLetterTest, PrintingChecksQueueLayoutAndStartThenPrintsTheSheet) {
    ASSERT_TRUE(output::WriteLabelLayout(dir.file("sheet.LBL"), sheet()));
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("sheet.LBL")));
    TLabelWiz w(ctx);
    w.setFileChooser(chooser);
    w.show();
    prompter.expect("You do not have any customer records listed in the print queue.");
    w.printLabels();

    w.loadAll();
    Child(&w, "LDesc")->clear();
    prompter.expect(
        "You have an empty layout definition field. The description and all layout settings "
        "are required. Unable to print. You can use the Label - Open menu to load an existing "
        "layout file.");
    w.printLabels();
    Child(&w, "LDesc")->setText("Three across");

    Child(&w, "StartLabel")->setText("31");
    prompter.expect(
        "Start at Label must be a label of the first sheet: 1 to 30 with this layout. Unable "
        "to print.");
    w.printLabels();
    EXPECT_FALSE(data::FileExists(dir.file("printed.pdf")));

    // A changed layout asks to be saved first; the sheet prints either way.
    Child(&w, "StartLabel")->setText("2");
    Child(&w, "Copies")->setText("2");
    Child(&w, "LTop")->setText("200");
    prompter.expect(
        "Your layout settings have changed. You must save your changes if you want to print "
        "using them. Do you want to save the new changes?",
        Answer::Yes);
    nextFile = dir.file("sheet.LBL");
    prompter.expect("OK to overwrite " + nextFile, Answer::Yes);
    w.printLabels();
    EXPECT_EQ(w.statusText(), "Complete. 6 label(s) sent to printer.");
    EXPECT_FALSE(waiting);
    EXPECT_EQ(output::ReadLabelLayout(nextFile)->topMargin, "200");
    const std::string pdf = PdfText(dir.file("printed.pdf"));
    EXPECT_NE(pdf.find("Acme Tools"), std::string::npos) << pdf;
    EXPECT_NE(pdf.find("Cleo Kramer KRCSTNOTES"), std::string::npos) << pdf;
    if (const char* folder = std::getenv("INVARRO_SHOTS"))
        std::filesystem::copy_file(dir.file("printed.pdf"), std::string(folder) + "/labels.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
}

TEST_F(LabelLetterTest, PreviewAndCalibrationRulerGoThroughTheCanvas) {
    ASSERT_TRUE(output::WriteLabelLayout(dir.file("sheet.LBL"), sheet()));
    ASSERT_TRUE(output::WriteLastLabelPath(dir.path(), dir.file("sheet.LBL")));
    TLabelWiz w(ctx);
    w.show();
    w.loadAll();
    bool previewed = false;
    WhenModal<QDialog>([&](QDialog* preview) {
        EXPECT_EQ(preview->objectName(), "LabelPreview");
        previewed = true;
        preview->reject();
    });
    w.printPreview();
    EXPECT_TRUE(previewed);
    EXPECT_FALSE(data::FileExists(dir.file("printed.pdf"))) << "a preview prints nothing";

    prompter.expect(
        "This feature will print the calibration ruler on your printer. You can use it to help "
        "you calculate margin settings. Continue?",
        Answer::Yes);
    prompter.expect(
        "Use the top ruler for vertical height measurement and the bottom ruler to measure "
        "horizontal width.\n\nBe sure to include any spacing between labels in your height and "
        "width measurements.\n\nIt appears this printer is printing around 300 DPI "
        "(dots-per-inch). Each line represents 50 DPI.");
    w.calibrationRuler();
    EXPECT_EQ(w.statusText(), "Calibration ruler sent to printer.");
    EXPECT_NE(PdfText(dir.file("printed.pdf")).find("1000"), std::string::npos);
}

TEST_F(LabelLetterTest, FindCustomerAddsThePickedCustomer) {
    TLabelWiz w(ctx);
    w.show();
    bool picked = false;
    WhenModal<TFindForm>([&](TFindForm* find) {
        EXPECT_EQ(find->windowTitle(), "Find Customer");
        QTest::keyClicks(find->findChild<QLineEdit*>("FindText"), "Bolt");
        QTest::keyClick(find->findChild<QLineEdit*>("FindText"), Qt::Key_Return);
        EXPECT_EQ(find->rows().size(), 1u);
        auto* list = find->findChild<QTreeWidget*>("FindList");
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_Return);
        picked = true;
    });
    w.findAndAdd();
    ASSERT_TRUE(picked);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue.entries()[0], (output::LabelEntry{"200", "Bolt & Nut, Inc.", "south", ""}));
    EXPECT_EQ(w.statusText(), "1 records were added.");
}

TEST_F(LabelLetterTest, TheCustomerManagerOpensTheWizardOnItsOwnOpenFile) {
    TCustForm form(ctx, TCustForm::Mode::Manage);
    ASSERT_TRUE(form.openFiles());
    bool shown = false;
    WhenModal<TLabelWiz>([&](TLabelWiz* w) {
        w->loadAll();
        EXPECT_EQ(w->statusText(), "3 records were added.");
        w->reject();
        shown = true;
    });
    form.labelWizard();
    EXPECT_TRUE(shown);
    EXPECT_EQ(queue.size(), 3u);
    // The manager's file is still open and usable.
    EXPECT_EQ(form.countText(), "Customers: 3");
}

// ------------------------------------------------------------------------ letters

TEST(LetterDocument, TheEditorKeepsEveryFormatOfALetter) {
    testing::QtApp();
    output::RtfDocument doc;
    output::RtfParagraph title;
    title.alignment = output::Alignment::Center;
    title.runs = {
        output::RtfRun{"Dear ", output::Font{"Arial", 14, output::kBlack, 0}},
        output::RtfRun{"KRCSTNAME",
                       output::Font{"Arial", 14, {200, 0, 0}, output::kBold | output::kItalic}}};
    doc.paragraphs.push_back(title);
    output::RtfParagraph indented;
    indented.firstIndent = -360;
    indented.leftIndent = 720;
    indented.rightIndent = 300;
    indented.bullet = true;
    indented.runs = {output::RtfRun{
        "item one\twith tab\nand a break",
        output::Font{"Times New Roman", 10, output::kBlack, output::kUnderline}, 21}};
    doc.paragraphs.push_back(indented);
    output::RtfParagraph second = indented;
    second.runs[0].text = "item two";
    doc.paragraphs.push_back(second);
    output::RtfParagraph empty;
    empty.runs = {output::RtfRun{"", output::Font{"Courier New", 16, output::kBlack, 0}}};
    doc.paragraphs.push_back(empty);
    output::RtfParagraph right;
    right.alignment = output::Alignment::Right;
    right.runs = {
        output::RtfRun{"Zoë — €5", output::Font{"Arial", 10, output::kBlack, output::kStrikeOut}}};
    doc.paragraphs.push_back(right);

    QTextDocument text;
    ToTextDocument(doc, text);
    EXPECT_EQ(text.blockCount(), 5);
    EXPECT_TRUE(text.findBlockByNumber(1).textList());
    EXPECT_EQ(text.findBlockByNumber(1).textList(), text.findBlockByNumber(2).textList());
    EXPECT_EQ(FromTextDocument(text), output::NormalizedDocument(doc));
}

class LetterTest : public LabelLetterTest {
  protected:
    void SetUp() override {
        LabelLetterTest::SetUp();
        queue.add({"300", "", "", ""});
        queue.add({"100", "", "", ""});
        queue.add({"200", "", "", ""});
    }
};

// Keeps the merged letters instead of printing them.
class KeptLetters : public output::LetterSink {
  public:
    bool printLetter(const output::RtfDocument& letter, const std::string& title,
                     std::string*) override {
        texts.push_back(output::DocumentText(letter));
        titles.push_back(title);
        return true;
    }
    std::vector<std::string> texts;
    std::vector<std::string> titles;
};

TEST_F(LetterTest, OpensWithItsCaptionAndTheMergeCodes) {
    TREMain w(ctx);
    EXPECT_EQ(w.windowTitle(), "Form Letter Wizard - Untitled");
    ASSERT_EQ(w.codeList()->count(), 30);
    EXPECT_EQ(w.codeList()->currentIndex(), 0);
    EXPECT_EQ(w.codeList()->currentText(), "KRCMPADD1 - Default Company Address Line 1");
    EXPECT_EQ(Child<QComboBox>(&w, "FontSize")->currentText(), "10");
}

TEST_F(LetterTest, PrintingMakesOneLetterPerCustomerAndLeavesTheEditorAlone) {
    TREMain w(ctx);
    w.setFileChooser(chooser);
    KeptLetters kept;
    w.setLetterSink(&kept);
    w.setPrintDialog([] { return true; });
    w.show();

    prompter.expect(
        "You do not have any text to print. You need to create or open an existing letter.");
    w.print();

    QTextCursor cursor(w.editor()->document());
    cursor.insertText("Dear KRCSTNAME,\nkrcstname and KRCSTNO owe KRCSTAOV90.\nKRCMPNAME");
    const QString before = w.editor()->document()->toHtml();
    Shot(&w, "letter");
    nextFile = dir.file("Reminder.RTF");
    w.print();
    EXPECT_EQ(w.windowTitle(), "Form Letter Wizard - Reminder.RTF");
    ASSERT_EQ(kept.texts.size(), 3u);
    EXPECT_EQ(kept.texts[0],
              "Dear Cleo Kramer KRCSTNOTES,\nkrcstname and 300 owe 0.00.\nNorthside Supply");
    EXPECT_EQ(kept.texts[1].substr(0, 16), "Dear Acme Tools,");
    EXPECT_EQ(kept.texts[2],
              "Dear Bolt & Nut, Inc.,\nkrcstname and 200 owe 75.00.\nNorthside "
              "Supply");
    EXPECT_EQ(kept.titles[0], "Reminder.RTF");
    EXPECT_EQ(w.editor()->document()->toHtml(), before);
    EXPECT_FALSE(w.modified());
    EXPECT_TRUE(w.editor()->isVisible());
    EXPECT_FALSE(data::FileExists(dir.file("KRLetter.TMP")));
    // The letter on file keeps its codes.
    auto saved = output::ReadRtfFile(dir.file("Reminder.RTF"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(output::DocumentText(*saved),
              "Dear KRCSTNAME,\nkrcstname and KRCSTNO owe KRCSTAOV90.\nKRCMPNAME");

    queue.clear();
    prompter.expect("You do not have any customer records listed in the Label print queue.");
    w.print();
}

TEST_F(LetterTest, TheMergedLettersComeOutOfThePrinter) {
    TREMain w(ctx);
    w.setFileChooser(chooser);
    w.setPrintDialog([] { return true; });
    QTextCursor cursor(w.editor()->document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    bold.setFontPointSize(16);
    cursor.insertText("KRCMPNAME", bold);
    cursor.insertBlock();
    cursor.insertText("Dear KRCSTNAME,", QTextCharFormat());
    nextFile = dir.file("Letter.RTF");
    w.print();
    // A printer that writes a PDF file gets every letter in one file, each on a page of
    // its own, in queue order: a file of the letter's own name in the "pdf" folder (an
    // untitled letter's "Letters"), not the file the printer wrote before.
    const std::string file = dir.file("pdf/Letters.pdf");
    EXPECT_FALSE(data::FileExists(dir.file("printed.pdf")));
    EXPECT_EQ(testing::PdfInfo(file)["Pages"], "3");
    EXPECT_NE(testing::PdfText(file, 1).find("Dear Cleo Kramer KRCSTNOTES,"), std::string::npos);
    EXPECT_NE(testing::PdfText(file, 2).find("Dear Acme Tools,"), std::string::npos);
    const std::string last = testing::PdfText(file, 3);
    EXPECT_NE(last.find("Dear Bolt & Nut, Inc.,"), std::string::npos) << last;
    EXPECT_NE(last.find("Northside Supply"), std::string::npos) << last;
    if (const char* folder = std::getenv("INVARRO_SHOTS"))
        std::filesystem::copy_file(file, std::string(folder) + "/letter.pdf",
                                   std::filesystem::copy_options::overwrite_existing);
}

TEST_F(LetterTest, APrintToAFileThatIsThereAsksBeforeReplacingIt) {
    TREMain w(ctx);
    w.setFileChooser(chooser);
    QPrinter& printer = platform::qt::ProgramPrinter();
    std::string proposed;
    w.setPrintDialog([&] {
        proposed = printer.outputFileName().toStdString();
        return true;
    });
    QTextCursor(w.editor()->document()).insertText("Dear KRCSTNAME,");
    nextFile = dir.file("Reminder.RTF");
    w.print();
    EXPECT_EQ(proposed, dir.file("pdf/Letters.pdf"));  // untitled until saved
    EXPECT_TRUE(data::FileExists(proposed));
    w.print();
    const std::string file = dir.file("pdf/Reminder.pdf");
    EXPECT_EQ(proposed, file);
    ASSERT_TRUE(data::FileExists(file));
    const auto written = std::filesystem::last_write_time(file);
    std::filesystem::last_write_time(file, written - std::chrono::hours(1));

    // Asked, and left as it is.
    prompter.expect("The file " + file + " already exists. Do you want to replace it?",
                    platform::Answer::No);
    w.print();
    EXPECT_EQ(std::filesystem::last_write_time(file), written - std::chrono::hours(1));
    // Asked, and replaced.
    prompter.expect("The file " + file + " already exists. Do you want to replace it?",
                    platform::Answer::Yes);
    w.print();
    EXPECT_GT(std::filesystem::last_write_time(file), written - std::chrono::hours(1));
    EXPECT_EQ(testing::PdfInfo(file)["Pages"], "3");
}

TEST_F(LetterTest, ToolButtonsAndTheRulerFormatTheParagraphAndTheSelection) {
    TREMain w(ctx);
    w.show();
    QTextCursor cursor(w.editor()->document());
    cursor.insertText("first paragraph");
    cursor.insertBlock();
    cursor.insertText("second");
    QTextCursor select(w.editor()->document()->firstBlock());
    select.movePosition(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
    w.editor()->setTextCursor(select);
    Child<QToolButton>(&w, "BoldBtn")->click();
    Child<QToolButton>(&w, "CenterBtn")->click();
    Child<QToolButton>(&w, "BulletBtn")->click();
    auto* size = Child<QComboBox>(&w, "FontSize");
    size->setCurrentText("");  // an empty size is 10 points
    size->setCurrentText("14");
    const output::RtfDocument doc = FromTextDocument(*w.editor()->document());
    ASSERT_EQ(doc.paragraphs.size(), 2u);
    const output::RtfParagraph& p = doc.paragraphs[0];
    EXPECT_EQ(p.alignment, output::Alignment::Center);
    EXPECT_TRUE(p.bullet);
    ASSERT_EQ(p.runs.size(), 2u);
    EXPECT_EQ(p.runs[0].text, "first");
    EXPECT_TRUE(p.runs[0].font.bold());
    EXPECT_EQ(p.runs[0].font.size, 14);
    EXPECT_FALSE(p.runs[1].font.bold());
    EXPECT_FALSE(doc.paragraphs[1].bullet);
    EXPECT_EQ(doc.paragraphs[1].alignment, output::Alignment::Left);

    // Dragging the left indent marker indents the paragraph; the first line keeps its place.
    QWidget* ruler = Child<QWidget>(&w, "Ruler");
    const int origin = w.editor()->viewport()->mapTo(&w, QPoint(0, 0)).x() - ruler->x() +
                       int(w.editor()->document()->documentMargin());
    const int bottom = ruler->height() - 3;
    QTest::mousePress(ruler, Qt::LeftButton, {}, QPoint(origin, bottom));
    QMouseEvent move(QEvent::MouseMove, QPointF(origin + 48, bottom), QPointF(), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ruler, &move);
    QTest::mouseRelease(ruler, Qt::LeftButton, {}, QPoint(origin + 48, bottom));
    const output::RtfParagraph moved = FromTextDocument(*w.editor()->document()).paragraphs[0];
    EXPECT_EQ(moved.leftIndent, 720) << "48 pixels are half an inch";
    EXPECT_EQ(moved.firstIndent, -720);
    EXPECT_TRUE(w.modified());
}

TEST_F(LetterTest, SavesAndOpensRtfAndTextLettersAndAsksBeforeLosingChanges) {
    TREMain w(ctx);
    w.setFileChooser(chooser);
    QTextCursor cursor(w.editor()->document());
    QTextCharFormat italic;
    italic.setFontItalic(true);
    cursor.insertText("Grüße, KRCSTNAME", italic);
    EXPECT_TRUE(w.modified());

    nextFile = dir.file("a.RTF");
    ASSERT_TRUE(w.saveAs());
    EXPECT_FALSE(w.modified());
    const output::RtfDocument written = FromTextDocument(*w.editor()->document());

    nextFile = dir.file("a.TXT");
    ASSERT_TRUE(w.saveAs());
    EXPECT_EQ(ReadFileBytes(nextFile),
              "Gr\xFC\xDF"
              "e, KRCSTNAME\r\n");

    nextFile = dir.file("a.RTF");
    prompter.expect("OK to overwrite " + nextFile, Answer::No);
    EXPECT_FALSE(w.saveAs());
    EXPECT_EQ(w.fileName().toStdString(), dir.file("a.TXT"));

    ASSERT_TRUE(w.openFile(QString::fromStdString(dir.file("a.RTF"))));
    EXPECT_EQ(FromTextDocument(*w.editor()->document()), written);
    EXPECT_EQ(w.windowTitle(), "Form Letter Wizard - a.RTF");

    // A plain file named .RTF opens as text.
    WriteFileBytes(dir.file("plain.RTF"), "Line one\r\nLine \xE9two\r\n");
    ASSERT_TRUE(w.openFile(QString::fromStdString(dir.file("plain.RTF"))));
    EXPECT_EQ(w.editor()->toPlainText().toStdString(), "Line one\nLine étwo");

    w.editor()->insertPlainText("x");
    prompter.expect("Save changes to plain.RTF?", Answer::Cancel);
    EXPECT_FALSE(w.newLetter());
    prompter.expect("Save changes to plain.RTF?", Answer::No);
    EXPECT_TRUE(w.newLetter());
    EXPECT_EQ(w.windowTitle(), "Form Letter Wizard - Untitled");
    EXPECT_TRUE(w.editor()->toPlainText().isEmpty());
}

TEST(DemoLetters, TheDemoReminderMergesForTheDemoCustomers) {
    testing::QtApp();
    TempDir dir;
    const std::string folder = dir.file("demo");
    storage::SetPoolFloor(0);
    ASSERT_EQ(storage::InitEngine(30), 30);
    ScriptedPrompter prompter;
    ASSERT_TRUE(app::CreateDemoInstallation(folder, prompter).ok);
    data::CompanyRecord company = *data::ReadLastCompany(folder);
    output::LabelQueue queue;
    CustomerWindowContext ctx;
    testing::SetUpWindowContext(ctx, folder, company, prompter);
    ctx.labelQueue = &queue;

    QPrinter& printer = platform::qt::ProgramPrinter();
    const auto savedFormat = printer.outputFormat();
    const QString savedFile = printer.outputFileName();
    const int savedResolution = printer.resolution();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(300);
    {
        TLabelWiz labels(ctx);
        labels.show();
        EXPECT_TRUE(labels.printingEnabled()) << "the demo's layout opens by itself";
        Child(&labels, "lblfilter")->setText("east");
        labels.loadFiltered();
        ASSERT_GE(queue.size(), 2u);
        Shot(&labels, "demo-labelwiz");
        printer.setOutputFileName(QString::fromStdString(dir.file("labels.pdf")));
        labels.printLabels();
        EXPECT_TRUE(labels.statusText().startsWith("Complete. "))
            << labels.statusText().toStdString();
    }
    {
        TREMain letter(ctx);
        // The user names the file in the print dialog.
        letter.setPrintDialog([&] {
            printer.setOutputFileName(QString::fromStdString(dir.file("letter.pdf")));
            return true;
        });
        letter.show();
        ASSERT_TRUE(
            letter.openFile(QString::fromStdString(folder + "/" + output::kDemoLetterFile)));
        Shot(&letter, "demo-letter");
        letter.print();
        const std::string pdf = PdfText(dir.file("letter.pdf"));
        EXPECT_EQ(pdf.find("KRC"), std::string::npos) << pdf;
        EXPECT_NE(pdf.find("Dear " + queue.entries().back().name + ","), std::string::npos) << pdf;
        EXPECT_NE(pdf.find("Harbor Light Print & Design"), std::string::npos) << pdf;
    }
    if (const char* shots = std::getenv("INVARRO_SHOTS")) {
        for (const char* f : {"labels.pdf", "letter.pdf"})
            std::filesystem::copy_file(dir.file(f), std::string(shots) + "/demo-" + f,
                                       std::filesystem::copy_options::overwrite_existing);
    }
    printer.setOutputFormat(savedFormat);
    printer.setOutputFileName(savedFile);
    printer.setResolution(savedResolution);
    storage::ExitEngine();
}

}  // namespace
}  // namespace invarro::ui
