// The office work around the invoices, done from the user's seat on the demo: the label
// queue filled and previewed, a form letter merged for the queue into a PDF file, a
// backup and its restore, and the Report Wizard to a report window, its PDF and its chart.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintPreviewWidget>
#include <QSet>
#include <QTableView>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <filesystem>

#include "e2e/Road.h"
#include "support/PdfTools.h"

namespace invarro::testing {
namespace {

namespace fs = std::filesystem;

// In a file dialog: types the path into its name field and confirms with Enter.
void TypePathInto(QWidget* dialog, const std::string& path) {
    auto* chooser = qobject_cast<QFileDialog*>(dialog);
    ASSERT_NE(chooser, nullptr) << "not a file dialog: " << Describe(dialog);
    auto* name = chooser->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    FillIn(name, QString::fromStdString(path));
    Press(Qt::Key_Return);
}

// The customer numbers the label queue shows, top to bottom.
std::vector<std::string> Queued(QWidget* wizard) {
    std::vector<std::string> out;
    auto* list = Named<QTreeWidget>(wizard, "LabelList");
    if (!list) return out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.push_back(list->topLevelItem(i)->text(0).toStdString());
    return out;
}

class OfficeRoad : public RoadTest {};

// The whole customer list into the queue: every customer once, also when loaded twice;
// the preview shows the label sheet.
TEST_F(OfficeRoad, TheLabelQueueIsFilledAndPreviewed) {
    openFromMenu("Tools", "Label Wizard...", [&](QWidget* wizard) {
        ClickButton(wizard, "Load All Customers");
        const std::vector<std::string> once = Queued(wizard);
        EXPECT_EQ(once.size(), 36u) << "the demo's customers";
        EXPECT_EQ(Named<QLabel>(wizard, "QueueCount")->text(), "Records in Queue: 36");
        EXPECT_EQ(Named<QLabel>(wizard, "StatusLine")->text().toStdString(),
                  "36 records were added.");
        ClickButton(wizard, "Load All Customers");
        EXPECT_EQ(Queued(wizard), once) << "no one is queued twice";

        OnModal([&] { ClickButton(wizard, "Preview"); },
                [&](QWidget* preview) {
                    auto* pages = preview->findChild<QPrintPreviewWidget*>();
                    ASSERT_NE(pages, nullptr) << Describe(preview);
                    (void)QTest::qWaitFor([&] { return pages->pageCount() > 0; }, 5000);
                    // 36 labels on the 30-per-sheet layout of the demo take two sheets.
                    EXPECT_EQ(pages->pageCount(), 2);
                    KeepPicture(preview, "label-preview");
                    Press(Qt::Key_Escape);
                });
        FromMenu(wizard, "Label", "Close");
    });
}

// A letter typed in the Form Letter Wizard, printed to a PDF file for the two customers of
// the queue: one page each, every merge code replaced by the customer's data.
TEST_F(OfficeRoad, AFormLetterIsMergedForTheQueueIntoAPdfFile) {
    openFromMenu("Tools", "Label Wizard...", [&](QWidget* wizard) {
        ClickButton(wizard, "Load All Customers");
        auto* list = Named<QTreeWidget>(wizard, "LabelList");
        ASSERT_NE(list, nullptr);
        // Keep the first two: the others leave with Delete Record.
        while (list->topLevelItemCount() > 2) {
            QTreeWidgetItem* third = list->topLevelItem(2);
            Click(list->viewport(), Qt::LeftButton, list->visualItemRect(third).center());
            ClickButton(wizard, "Delete Record");
        }
        FromMenu(wizard, "Label", "Close");
    });
    const std::string pdf = dir.file("letters.pdf");
    const std::string letter = folder + "/balance-letter.rtf";
    openFromMenu("Tools", "Form Letter Wizard...", [&](QWidget* letters) {
        auto* editor = Named<QTextEdit>(letters, "Editor");
        ASSERT_NE(editor, nullptr);
        Click(editor);
        Type("Dear KRCSTNAME,");
        Press(Qt::Key_Return);
        Type("your balance with KRCMPNAME is KRCSTBAL.");
        // Print to a PDF file: the printer list's file entry and the file's name. Printing
        // saves the letter first: its save dialog comes once the print dialog has closed.
        OnModals([&] { FromMenu(letters, "File", "Print"); },
                 {[&](QWidget* print) {
                      auto* printers = print->findChild<QComboBox*>("printers");
                      ASSERT_NE(printers, nullptr) << Describe(print);
                      const int toFile = printers->count() - 1;
                      ASSERT_GE(toFile, 0);
                      printers->setFocus();
                      for (int i = printers->currentIndex(); i < toFile; ++i)
                          Press(Qt::Key_Down);
                      auto* file = print->findChild<QLineEdit*>("filename");
                      ASSERT_NE(file, nullptr);
                      FillIn(file, QString::fromStdString(pdf));
                      ClickButton(print, "Print");
                  },
                  [&](QWidget* save) { TypePathInto(save, letter); }});
        FromMenu(letters, "File", "Close");
    });
    ASSERT_TRUE(fs::exists(letter));
    ASSERT_TRUE(fs::exists(pdf));
    if (const char* keep = std::getenv("INVARRO_E2E_KEEP"); keep && *keep)
        fs::copy_file(pdf, std::string(keep) + "/road-letters.pdf",
                      fs::copy_options::overwrite_existing);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("Dear "), std::string::npos) << text;
    for (const char* code : {"KRCSTNAME", "KRCMPNAME", "KRCSTBAL"})
        EXPECT_EQ(text.find(code), std::string::npos) << code << " is left in\n" << text;
    EXPECT_EQ(PdfInfo(pdf)["Pages"], "2") << "a letter for each queued customer";
}

// A backup to a folder of the user's choice, a customer added after it, and the restore of
// that backup: the customer is gone again and the rest is there.
TEST_F(OfficeRoad, ABackupIsMadeAndRestored) {
    const std::string target = dir.file("usb-stick");
    fs::create_directories(target);
    openFromMenu("Tools", "Backup Data Files", [&](QWidget* backup) {
        ClickButton(backup, "AskBackButn");
        OnModal([&] { ClickButton(backup, "Button1"); },
                [&](QWidget* chooser) { TypePathInto(chooser, target); });
        EXPECT_EQ(Named<QLabel>(backup, "DriveLbl")->text().toStdString(), target);
        OnMessage([&] { ClickButton(backup, "BKGoBtn"); }, "Backup complete.");
    });
    const std::string archive = target + "/ZTBackup.zip";
    ASSERT_TRUE(fs::exists(archive));

    openFromMain("Customers", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    FillIn(FieldLabelled(editor, "Customer Name:"), "Late Addition Ltd");
                    ClickButton(editor, "Ok");
                });
        EXPECT_NE(RowHolding(Named<ui::TIndexBrowser>(manager, "CustList"), "Late Addition Ltd"),
                  0);
        ClickButton(manager, "Close");
    });
    openFromMenu("Tools", "Backup Data Files", [&](QWidget* backup) {
        OnMessage([&] { ClickButton(backup, "RestBtn"); }, "WARNING!!", "Yes");
        OnModal([&] { ClickButton(backup, "Button1"); },
                [&](QWidget* chooser) { TypePathInto(chooser, archive); });
        // The restore asks once more, runs after OK and says when it is done.
        auto box = [](QWidget* w) {
            auto* b = qobject_cast<QMessageBox*>(w);
            EXPECT_NE(b, nullptr) << Describe(w);
            return b;
        };
        OnModals([&] { ClickButton(backup, "BKGoBtn"); },
                 {[&](QWidget* confirm) {
                      QMessageBox* b = box(confirm);
                      ASSERT_NE(b, nullptr);
                      EXPECT_NE(b->text().toStdString().find(archive), std::string::npos);
                      ClickButton(b, "OK");
                  },
                  [&](QWidget* done) {
                      QMessageBox* b = box(done);
                      ASSERT_NE(b, nullptr);
                      EXPECT_EQ(b->text().toStdString(), "Restore files operation complete.");
                      ClickButton(b, "OK");
                  }});
    });
    openFromMain("Customers", [&](QWidget* manager) {
        auto* list = Named<ui::TIndexBrowser>(manager, "CustList");
        EXPECT_EQ(RowHolding(list, "Late Addition Ltd"), 0) << "the backup's files are back";
        EXPECT_GT(RowsShown(list).size(), 10u);
        ClickButton(manager, "Close");
    });
}

// A report chosen in the Report Wizard opens in the report window; its PDF reads as the
// report, and its top-ten chart draws bars.
TEST_F(OfficeRoad, TheReportWizardShowsAReportItsPdfAndItsChart) {
    openFromMain("Reports", [&](QWidget* wizard) {
        auto* reports = Named<QListWidget>(wizard, "ReportList");
        ASSERT_NE(reports, nullptr);
        const auto found = reports->findItems("Sales Report", Qt::MatchStartsWith);
        ASSERT_FALSE(found.isEmpty());
        Click(reports->viewport(), Qt::LeftButton, reports->visualItemRect(found[0]).center());
        const QString report = found[0]->text();
        OnModal([&] { ClickButton(wizard, "View"); },
                [&](QWidget* window) {
                    auto* grid = Named<QTableView>(window, "Grid");
                    ASSERT_NE(grid, nullptr);
                    ASSERT_GT(grid->model()->rowCount(), 3) << "the demo's sales";
                    KeepPicture(window, "report-window");

                    shell.opened.clear();
                    NoWindow([&] { ClickButton(window, "PDF"); });
                    ASSERT_EQ(shell.opened.size(), 1u);
                    const std::string text = PdfText(shell.opened[0]);
                    EXPECT_NE(text.find(report.toStdString()), std::string::npos) << text;

                    OnModal([&] { ClickButton(window, "Top 10 Bar Chart"); },
                            [&](QWidget* chart) {
                                EXPECT_EQ(chart->windowTitle(), "Invarro Top 10");
                                QWidget* area = Named<QWidget>(chart, "ChartArea");
                                ASSERT_NE(area, nullptr);
                                // Bars are drawn: the picture is more than a background.
                                const QImage image = area->grab().toImage();
                                QSet<QRgb> colours;
                                for (int y = 0; y < image.height(); y += 4)
                                    for (int x = 0; x < image.width(); x += 4)
                                        colours.insert(image.pixel(x, y));
                                EXPECT_GT(colours.size(), 3);
                                KeepPicture(chart, "top-ten");
                                Press(Qt::Key_Escape);
                            });
                    Press(Qt::Key_Escape);
                });
        if (wizard->isVisible()) Press(Qt::Key_Escape);
    });
}

}  // namespace
}  // namespace invarro::testing
