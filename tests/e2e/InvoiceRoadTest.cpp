// The road of an invoice, walked as a person walks it on the demo: the invoice editor's
// line grid with product codes confirmed by Enter and by Tab, the product picker, leaving
// a filled-in invoice, and the Invoice Manager's filter and context menu.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <sstream>

#include "e2e/Road.h"

namespace invarro::testing {
namespace {

using ui::TIndexBrowser;

class InvoiceEditorRoad : public RoadTest {
  protected:
    // Opens the Invoice Manager and in it a new invoice; work runs in the editor.
    void inNewInvoice(const std::function<void(QWidget* editor, QTableWidget* grid)>& work) {
        openFromMain("Invoices", [&](QWidget* manager) {
            OnModal([&] { ClickButton(manager, "New"); },
                    [&](QWidget* editor) {
                        auto* grid = Named<QTableWidget>(editor, "StringGrid1");
                        ASSERT_NE(grid, nullptr);
                        work(editor, grid);
                    });
            ClickButton(manager, "Close");
        });
    }
    // Leaves the editor without saving, saying yes when it asks.
    static void cancelAndDiscard(QWidget* editor) {
        OnMessage([&] { ClickButton(editor, "Cancel"); }, "Discard", "Yes");
    }
};

// Enter on a typed product code looks the product up, as Tab does; neither opens a window.
TEST_F(InvoiceEditorRoad, ProductCodesConfirmedWithEnterOrTabFillTheirLines) {
    inNewInvoice([&](QWidget* editor, QTableWidget* grid) {
        ClickCell(grid, 0, 1);
        Type("BC-500");
        NoWindow([] { Press(Qt::Key_Return); });
        EXPECT_EQ(CellText(grid, 0, 1), "BC-500");
        EXPECT_EQ(CellText(grid, 0, 3), "Business Cards, 500, 2-sided");
        EXPECT_EQ(CellText(grid, 0, 4), "64.95");
        EXPECT_EQ(CellText(grid, 0, 5), "Y");
        EXPECT_EQ(grid->currentColumn(), 2) << "the quantity is next";

        ClickCell(grid, 1, 1);
        Type("des-hr");
        NoWindow([] { Press(Qt::Key_Tab); });
        EXPECT_EQ(CellText(grid, 1, 1), "DES-HR");
        EXPECT_EQ(CellText(grid, 1, 3), "Graphic Design, per hour");
        EXPECT_EQ(CellText(grid, 1, 4), "65.00");
        EXPECT_EQ(CellText(grid, 1, 5), "N");
        KeepPicture(editor, "invoice-editor");

        // Enter on a code already in its cell (no editor open) looks it up again, and a code
        // that is no product asks to add it.
        ClickCell(grid, 2, 1);
        Type("NO-SUCH");
        OnMessage([] { Press(Qt::Key_Return); }, "That product code was not found", "No");
        EXPECT_EQ(CellText(grid, 2, 3), "");
        EXPECT_EQ(CellText(grid, 2, 4), "0.00");
        cancelAndDiscard(editor);
    });
}

// Enter on an empty code cell opens the product picker; the product picked fills the row
// and the cursor stands on its quantity, ready for typing.
TEST_F(InvoiceEditorRoad, APickedProductLeavesTheCursorOnItsQuantity) {
    inNewInvoice([&](QWidget* editor, QTableWidget* grid) {
        ClickCell(grid, 1, 1);
        OnModal([] { Press(Qt::Key_Return); },
                [&](QWidget* picker) {
                    EXPECT_EQ(picker->objectName(), "TEditProd");
                    // A letter typed and the arrows find it; Enter chooses.
                    GoToRow(Named<TIndexBrowser>(picker, "ProdBrowser"), "D", "DES-HR");
                    Press(Qt::Key_Return);
                });
        EXPECT_EQ(CellText(grid, 1, 1), "DES-HR");
        EXPECT_EQ(CellText(grid, 1, 3), "Graphic Design, per hour");
        EXPECT_EQ(grid->currentRow(), 1);
        EXPECT_EQ(grid->currentColumn(), 2);
        EXPECT_TRUE(grid->hasFocus() || grid->isAncestorOf(QApplication::focusWidget()))
            << "the focus is on " << KeyTarget()->objectName().toStdString();
        // The quantity typed goes into the quantity cell.
        Type("3");
        Press(Qt::Key_Tab);
        EXPECT_EQ(CellText(grid, 1, 2), "3");
        EXPECT_EQ(CellText(grid, 1, 6), "195.00");

        // Find Product in the same way.
        ClickCell(grid, 2, 1);
        OnModal([&] { ClickButton(editor, "Find Product"); },
                [&](QWidget* picker) {
                    GoToRow(Named<TIndexBrowser>(picker, "ProdBrowser"), "B", "BC-500");
                    Press(Qt::Key_Return);
                });
        EXPECT_EQ(CellText(grid, 2, 1), "BC-500");
        EXPECT_EQ(grid->currentColumn(), 2);
        EXPECT_TRUE(grid->hasFocus() || grid->isAncestorOf(QApplication::focusWidget()))
            << "the focus is on " << KeyTarget()->objectName().toStdString();
        cancelAndDiscard(editor);
    });
}

// A click on the cell that already has the cursor, and typing at once: the keys go into
// that cell (they used to be taken as a search that jumped to another line). A click and
// a pause open the cell for editing, and a double-click on a code still opens the picker.
TEST_F(InvoiceEditorRoad, KeysTypedRightAfterAClickOnTheCurrentCellGoIntoIt) {
    inNewInvoice([&](QWidget* editor, QTableWidget* grid) {
        ClickCell(grid, 0, 1);
        Type("DES-HR");
        Press(Qt::Key_Return);
        QTest::qWait(50);
        ClickCell(grid, 2, 1);
        ClickCell(grid, 2, 1);  // the cursor is already there
        NoWindow([] {
            Type("BC-500");
            Press(Qt::Key_Return);
        });
        EXPECT_EQ(CellText(grid, 0, 1), "DES-HR") << "the first line is as it was";
        EXPECT_EQ(CellText(grid, 2, 1), "BC-500");
        EXPECT_EQ(CellText(grid, 2, 3), "Business Cards, 500, 2-sided");

        // Click, pause: the cell opens with its text for changing.
        ClickCell(grid, 2, 3);
        ClickCell(grid, 2, 3);
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        auto* cellEditor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        ASSERT_NE(cellEditor, nullptr) << "no cell editor opened";
        EXPECT_EQ(cellEditor->text(), "Business Cards, 500, 2-sided");
        Press(Qt::Key_Escape);

        // A double-click on a code cell that has the cursor opens the product picker.
        ClickCell(grid, 3, 1);
        OnModal(
            [&] {
                const QPoint at = grid->visualItemRect(grid->item(3, 1)).center();
                QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            },
            [&](QWidget* picker) {
                EXPECT_EQ(picker->objectName(), "TEditProd");
                Press(Qt::Key_Escape);
            });
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        EXPECT_FALSE(qobject_cast<QLineEdit*>(QApplication::focusWidget()))
            << "no cell editor after the picker";
        cancelAndDiscard(editor);
    });
}

// A discount of taxed and untaxed lines lowers the tax only by its share on the taxed
// ones: it becomes a pair of lines, the taxed share (discount × taxed ÷ base) and the
// untaxed rest, each saying what it is a discount on, and the tax stays the rate times
// the taxed lines.
TEST_F(InvoiceEditorRoad, ADiscountOfTaxedAndUntaxedLinesLowersTheTaxByItsTaxedShare) {
    inNewInvoice([&](QWidget* editor, QTableWidget* grid) {
        auto line = [&](int row, const QString& what, const QString& price, const QString& t) {
            ClickCell(grid, row, 3);
            Type(what);
            Press(Qt::Key_Tab);
            QTest::qWait(20);
            Type(price);
            Press(Qt::Key_Tab);
            QTest::qWait(20);
            Type(t);
            Press(Qt::Key_Tab);
            QTest::qWait(20);
        };
        ClickCell(grid, 0, 2);
        Type("1");
        Press(Qt::Key_Tab);
        line(0, "Brochures, printed", "700.00", "Y");
        ClickCell(grid, 1, 2);
        Type("1");
        Press(Qt::Key_Tab);
        line(1, "Consulting, untaxed", "617.50", "N");
        ClickCell(grid, 2, 1);
        Type("DISCOUNT10");
        NoWindow([] { Press(Qt::Key_Return); });
        QTest::qWait(50);

        EXPECT_EQ(CellText(grid, 2, 3), "10% Discount on taxed $700.00");
        EXPECT_EQ(CellText(grid, 2, 5), "Y");
        EXPECT_EQ(CellText(grid, 2, 6), "-70.00");
        EXPECT_EQ(CellText(grid, 3, 1), "DISCOUNT10");
        EXPECT_EQ(CellText(grid, 3, 3), "10% Discount on untaxed $617.50");
        EXPECT_EQ(CellText(grid, 3, 5), "N");
        EXPECT_EQ(CellText(grid, 3, 6), "-61.75");
        EXPECT_EQ(grid->currentRow(), 4) << "the cursor goes on below the pair";
        // Net 1,185.75; tax 5.5 % of 630.00 = 34.65 (not of 568.25).
        EXPECT_EQ(Named<QLineEdit>(editor, "INet")->text(), "1,185.75");
        EXPECT_EQ(Named<QLineEdit>(editor, "ITax")->text(), "34.65");
        KeepPicture(editor, "invoice-editor-shared-discount");

        // The untaxed line goes: the discount is one taxed line again.
        ClickCell(grid, 1, 1);
        NoWindow([&] { ClickButton(editor, "DeleteLine"); });
        EXPECT_EQ(CellText(grid, 2, 3), "10% Discount on $700.00");
        EXPECT_EQ(CellText(grid, 2, 6), "-70.00");
        EXPECT_EQ(CellText(grid, 2, 5), "Y");
        EXPECT_EQ(CellText(grid, 3, 1), "") << "the untaxed half went with its lines";
        EXPECT_EQ(Named<QLineEdit>(editor, "ITax")->text(), "34.65");
        cancelAndDiscard(editor);
    });
}

// Escape (once to leave the cell, once for the window) asks before a filled-in invoice is
// thrown away; No keeps it, Yes lets it go. An untouched invoice closes without a question.
TEST_F(InvoiceEditorRoad, EscapeAsksBeforeAFilledInInvoiceIsThrownAway) {
    openFromMain("Invoices", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget*) { NoWindow([] { Press(Qt::Key_Escape); }); });

        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    auto* grid = Named<QTableWidget>(editor, "StringGrid1");
                    ClickCell(grid, 0, 1);
                    Type("BC-500");
                    Press(Qt::Key_Tab);
                    QTest::qWait(50);
                    Type("2");
                    Press(Qt::Key_Escape);
                    std::string asked;
                    OnMessage([] { Press(Qt::Key_Escape); }, "Discard", "No", &asked);
                    EXPECT_NE(asked.find('?'), std::string::npos) << asked;
                    ASSERT_TRUE(editor->isVisible()) << "No keeps the invoice";
                    EXPECT_EQ(CellText(grid, 0, 1), "BC-500");
                    OnMessage([] { Press(Qt::Key_Escape); }, "Discard", "Yes");
                    EXPECT_FALSE(editor->isVisible());
                });
        ClickButton(manager, "Close");
    });
}

// Repeat Billing Setup on an open invoice says, before anything is done, that its amount
// leaves the receivables and when the first invoice comes; when that is today or past it
// offers to generate the first invoice at once, and Yes does both together.
TEST_F(InvoiceEditorRoad, RepeatSetupSaysWhatHappensAndCanGenerateTheFirstInvoice) {
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        ASSERT_NE(list, nullptr);
        // An open invoice without payments whose number can take "G" and a count. The row
        // reads in columns: date, type, number, customer, short name, total, balance due,
        // paid.
        auto field = [](const std::string& row, size_t at, size_t width) {
            std::istringstream in(row.size() > at ? row.substr(at, width) : std::string());
            std::string word;
            in >> word;
            return word;
        };
        auto suitable = [&](const std::string& row) {
            const std::string number = field(row, 13, 9), total = field(row, 43, 12);
            return row.size() > 80 && row[11] == 'I' && !number.empty() && number.size() <= 5 &&
                   field(row, 69, 12) == "0.00" && field(row, 56, 12) == total && total != "0.00" &&
                   total[0] != '-';
        };
        ClickRow(list, 1);
        Press(Qt::Key_Home);
        for (int i = 0; i < 400 && !suitable(HighlightedRow(list)); ++i)
            Press(Qt::Key_Down);
        const std::string row = HighlightedRow(list);
        ASSERT_TRUE(suitable(row)) << "no open invoice to set up; at " << row;
        const std::string number = field(row, 13, 9), total = field(row, 43, 12);

        std::string said;
        const int came = OnModals([&] { FromMenu(manager, "Invoice", "Repeat Billing Setup"); },
                                  {[&](QWidget* setup) {
                                       EXPECT_EQ(setup->windowTitle(), "Repeat Invoice Setup");
                                       Click(Named<QCheckBox>(setup, "CheckBox1"));
                                       KeepPicture(setup, "repeat-setup");
                                       ClickButton(setup, "OKButton");
                                   },
                                   [&](QWidget* box) {
                                       auto* m = qobject_cast<QMessageBox*>(box);
                                       ASSERT_NE(m, nullptr) << Describe(box);
                                       said = m->text().toStdString();
                                       KeepPicture(box, "repeat-setup-notice");
                                       ClickButton(box, "Yes");
                                   }});
        ASSERT_EQ(came, 2) << "the setup did not ask first";
        EXPECT_NE(said.find("Invoice " + number + " of " + total), std::string::npos) << said;
        EXPECT_NE(said.find("no longer a receivable"), std::string::npos) << said;
        EXPECT_NE(said.find("The first invoice, " + number + "G1"), std::string::npos) << said;
        EXPECT_NE(said.find("Generate it now"), std::string::npos) << said;
        EXPECT_EQ(Named<QLabel>(manager, "MessagePanel")->text().toStdString(),
                  "Repeat billing set up for " + number + "; invoice " + number + "G1 generated.");
        ClickButton(manager, "Close");
    });
}

// The manager's count says how many rows the filter leaves, and a right-click selects the
// row it is on before its menu acts.
TEST_F(InvoiceEditorRoad, TheManagerCountsFilteredRowsAndRightClickSelects) {
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        auto* count = Named<QLabel>(manager, "CountPanel");
        ASSERT_TRUE(list && count);
        const QString all = count->text();
        ASSERT_TRUE(all.startsWith("Records: ")) << all.toStdString();
        const int total = all.mid(9).toInt();
        ASSERT_GT(total, 20);

        // Right-click the third row: it becomes the selected one, and the menu's Customer
        // Data shows its invoice.
        Press(Qt::Key_Home);
        const std::vector<std::string> rows = RowsShown(list);
        ASSERT_GE(rows.size(), 3u);
        ClickRow(list, 1);
        ClickRow(list, 3, Qt::RightButton);
        EXPECT_EQ(HighlightedRow(list), rows[2]);
        QMenu* menu = Named<QMenu>(manager, "PopupMenu");
        ASSERT_NE(menu, nullptr) << "no menu opened";
        // The row reads date, type, number, ...
        std::istringstream words(rows[2]);
        std::string date, type, number;
        words >> date >> type >> number;
        OnModal([&] { ChooseInMenu(menu, "Customer Data"); },
                [&](QWidget* view) {
                    bool shown = false;
                    for (QLabel* l : view->findChildren<QLabel*>())
                        if (l->text().toStdString().find(number) != std::string::npos) shown = true;
                    EXPECT_TRUE(shown) << "invoice " << number << " is not in the view";
                    Press(Qt::Key_Escape);
                });

        // The filter on the selected row's customer: the count is the rows shown.
        ClickButton(manager, "Filter On/Off");
        const std::vector<std::string> kept = RowsShown(list);
        ASSERT_FALSE(kept.empty());
        ASSERT_LT(int(kept.size()), list->RowsInView()) << "all the customer's rows fit";
        EXPECT_EQ(count->text(), QString("Records: %1").arg(kept.size()));
        KeepPicture(manager, "invoice-manager-filtered");
        ClickButton(manager, "Filter On/Off");
        EXPECT_EQ(count->text(), all);
        ClickButton(manager, "Close");
    });
}

}  // namespace
}  // namespace invarro::testing
