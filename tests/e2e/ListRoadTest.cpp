// The manager lists as a person uses them with the mouse and the keyboard only: a click on
// a column title sorts by it, the search box goes to what is typed, and Enter opens the
// highlighted record as a double-click does, in every manager.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>

#include "e2e/Road.h"

namespace invarro::testing {
namespace {

using ui::TIndexBrowser;

// A click on the title of a list's column, found by its caption.
void ClickTitle(TIndexBrowser* list, const QString& title) {
    ASSERT_NE(list, nullptr);
    QHeaderView* header = list->horizontalHeader();
    ASSERT_TRUE(header->isVisible()) << "the list shows no column titles";
    for (int c = 0; c < header->count(); ++c) {
        if (list->model()->headerData(c, Qt::Horizontal).toString() != title) continue;
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2,
                        header->height() / 2);
        Click(header->viewport(), Qt::LeftButton, at);
        return;
    }
    FAIL() << "no column titled " << title.toStdString();
}

// The texts of a column, top to bottom, as the list shows them.
std::vector<QString> Column(TIndexBrowser* list, int column) {
    std::vector<QString> cells;
    for (int r = 1; r <= list->model()->rowCount(); ++r)
        cells.push_back(list->CellText(r, column));
    return cells;
}

int ColumnTitled(TIndexBrowser* list, const QString& title) {
    for (int c = 0; c < list->model()->columnCount(); ++c)
        if (list->model()->headerData(c, Qt::Horizontal).toString() == title) return c;
    return -1;
}

bool Ascending(const std::vector<QString>& cells) {
    for (size_t i = 1; i < cells.size(); ++i)
        if (QString::compare(cells[i - 1], cells[i], Qt::CaseInsensitive) > 0) return false;
    return true;
}

class ListRoad : public RoadTest {};

TEST_F(ListRoad, TheInvoiceListSortsByATitleSearchesAndOpensTheRecordWithEnter) {
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        ASSERT_NE(list, nullptr);
        KeepPicture(manager, "invoice-manager");
        // It opens on the newest records by date: the highlighted row is the last one.
        const int dates = ColumnTitled(list, "Year/Mo/Dy");
        ASSERT_GE(dates, 0);
        const std::vector<QString> byDate = Column(list, dates);
        EXPECT_TRUE(Ascending(byDate));
        EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), dates);

        ClickTitle(list, "Invoice#");
        const int numbers = ColumnTitled(list, "Invoice#");
        EXPECT_EQ(list->horizontalHeader()->sortIndicatorSection(), numbers);
        EXPECT_EQ(list->CurrentKeyNumber(), 1);
        EXPECT_TRUE(Ascending(Column(list, numbers)));
        // The Display menu ticks the order the title chose.
        auto* byNumber = manager->findChild<QAction*>("ByKey1");
        ASSERT_NE(byNumber, nullptr);
        EXPECT_TRUE(byNumber->isChecked());

        // An invoice number typed in the search box: the list goes there as it is typed.
        const QString wanted = list->CellText(2, numbers);
        ASSERT_FALSE(wanted.isEmpty());
        QWidget* search = FieldLabelled(manager, "Search:");
        ASSERT_NE(search, nullptr) << "the search box has its label";
        Click(search);
        Type(wanted);
        EXPECT_EQ(list->CellText(list->browser()->CurrentRow(), numbers), wanted);

        // Enter opens the highlighted invoice's view.
        OnModal([] { Press(Qt::Key_Return); },
                [&](QWidget* view) {
                    EXPECT_EQ(view->objectName(), "TViewInv");
                    EXPECT_TRUE(view->windowTitle().endsWith("# " + wanted))
                        << view->windowTitle().toStdString();
                    Press(Qt::Key_Escape);
                });
        ClickButton(manager, "Close");
    });
}

TEST_F(ListRoad, TheCustomerListSortsByNumberAndBackAndFindsANameAsItIsTyped) {
    openFromMain("Customers", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "CustList");
        ASSERT_NE(list, nullptr);
        KeepPicture(manager, "customer-manager");
        const int names = ColumnTitled(list, "Name");
        const int numbers = ColumnTitled(list, "Number");
        ASSERT_GE(names, 0);
        ASSERT_GE(numbers, 0);
        // Money stands on the right of its column.
        const int balance = ColumnTitled(list, "Balance");
        ASSERT_GE(balance, 0);
        EXPECT_EQ(list->model()
                          ->data(list->model()->index(0, balance), Qt::TextAlignmentRole)
                          .value<Qt::Alignment>() &
                      Qt::AlignHorizontal_Mask,
                  Qt::AlignRight);

        ClickTitle(list, "Number");
        EXPECT_EQ(list->CurrentKeyNumber(), 2);
        EXPECT_TRUE(manager->findChild<QAction*>("ByNumberAct")->isChecked());
        ClickTitle(list, "Balance");  // no order by balance: nothing changes
        EXPECT_EQ(list->CurrentKeyNumber(), 2);
        ClickTitle(list, "Name");
        EXPECT_EQ(list->CurrentKeyNumber(), 1);
        EXPECT_TRUE(Ascending(Column(list, names)));

        // The third name of the list, typed in the search box a letter at a time.
        const QString wanted = list->CellText(3, names);
        ASSERT_GE(wanted.size(), 3);
        Click(FieldLabelled(manager, "Search:"));
        Type(wanted.left(3).toLower());
        EXPECT_TRUE(list->CellText(list->browser()->CurrentRow(), names)
                        .startsWith(wanted.left(3), Qt::CaseInsensitive));
        // The down arrow in the box moves the list, the box keeps the keys.
        const std::string before = list->CurrentKeyString();
        Press(Qt::Key_Down);
        EXPECT_NE(list->CurrentKeyString(), before) << "the list moved";
        EXPECT_EQ(QApplication::focusWidget(), Named<QLineEdit>(manager, "SearchBox"));
        ClickButton(manager, "Close");
    });
}

// Keys only: Alt and the button's letter open each manager from the main window, the arrows
// move in its list, Enter opens the highlighted record as a double-click does and Escape
// closes what is open.
TEST_F(ListRoad, EnterInEveryManagerOpensWhatADoubleClickOpens) {
    // The main window has the keys again after each manager closes.
    auto openWith = [&](Qt::Key letter, const std::function<void(QWidget*)>& handle) {
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        EXPECT_TRUE(OnModal([letter] { Press(letter, Qt::AltModifier); }, handle));
    };
    // Customers: the highlighted customer's statement.
    openWith(Qt::Key_C, [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "CustList");
        ASSERT_NE(list, nullptr);
        Press(Qt::Key_Down);
        Press(Qt::Key_Down);
        const std::string chosen = list->CurrentKeyString();
        bool opened = OnModal([] { Press(Qt::Key_Return); },
                              [&](QWidget* statement) {
                                  EXPECT_EQ(statement->objectName(), "TCustStmnt");
                                  auto* grid = Named<QTableWidget>(statement, "StmntGrid");
                                  ASSERT_NE(grid, nullptr);
                                  EXPECT_GT(grid->rowCount(), 0);
                                  Press(Qt::Key_Escape);
                              });
        EXPECT_TRUE(opened) << "Enter on a customer opens the statement";
        EXPECT_EQ(list->CurrentKeyString(), chosen) << "the list stays on the customer";
        EXPECT_TRUE(manager->isVisible());
        Press(Qt::Key_Escape);
    });
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // Products: the highlighted product in its editor.
    openWith(Qt::Key_D, [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "ProdBrowser");
        ASSERT_NE(list, nullptr);
        Press(Qt::Key_Down);
        const QString code = list->CellText(list->browser()->CurrentRow(), 0).trimmed();
        ASSERT_FALSE(code.isEmpty());
        bool opened =
            OnModal([] { Press(Qt::Key_Return); },
                    [&](QWidget* editor) {
                        EXPECT_EQ(editor->windowTitle(), "Edit Product");
                        auto* field = FieldLabelled(editor, "Product Code:");
                        ASSERT_NE(field, nullptr);
                        EXPECT_EQ(qobject_cast<QLineEdit*>(field)->text().trimmed(), code);
                        Press(Qt::Key_Escape);
                    });
        EXPECT_TRUE(opened) << "Enter on a product edits it";
        Press(Qt::Key_Escape);
    });

    // Invoices: the highlighted invoice's view.
    openWith(Qt::Key_I, [&](QWidget* manager) {
        ASSERT_NE(Named<TIndexBrowser>(manager, "InvBrowser1"), nullptr);
        Press(Qt::Key_Up);
        bool opened = OnModal([] { Press(Qt::Key_Enter, Qt::KeypadModifier); },
                              [&](QWidget* view) {
                                  EXPECT_EQ(view->objectName(), "TViewInv");
                                  Press(Qt::Key_Escape);
                              });
        EXPECT_TRUE(opened) << "Enter on the keypad opens the invoice too";
        Press(Qt::Key_Escape);
    });
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace invarro::testing
