// The manager lists as a person uses them with the mouse and the keyboard only: a click on
// a column title sorts by it, the search box goes to what is typed, Enter opens the
// highlighted record as a double-click does, and the page keys go through every record, in
// every manager; on the books in files and on the same books moved to a server.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <set>

#include "e2e/Road.h"
#include "e2e/ServerSeat.h"

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

// The number of records a manager says it lists ("Customers: 36"); -1 when it says none.
int CountShown(QWidget* manager) {
    static const QRegularExpression count("^(Customers|Products|Records|Companies): ([0-9]+)$");
    for (QLabel* l : manager->findChildren<QLabel*>()) {
        const QRegularExpressionMatch m = count.match(l->text());
        if (l->isVisible() && m.hasMatch()) return m.captured(2).toInt();
    }
    return -1;
}

// The entries of the list's page, top to bottom, as (key, record number).
using Entry = std::pair<std::string, int32_t>;
std::vector<Entry> PageEntries(TIndexBrowser* list) {
    std::vector<Entry> page;
    for (int r = 1; r <= list->browser()->FilledRows(); ++r)
        page.emplace_back(list->browser()->Row(r).key, list->browser()->Row(r).recNo);
    return page;
}

// Pages through a manager's list with the keys as a person does, Ctrl+Home, Page Down to
// the end and Page Up back: every record comes once, each page in the index's order, the
// scroll bar (which follows the highlighted row) at the top on the first record and at
// the bottom on the last.
void PagesThroughEveryRecord(QWidget* manager, const char* listName) {
    SCOPED_TRACE(listName);
    auto* list = Named<TIndexBrowser>(manager, listName);
    ASSERT_NE(list, nullptr);
    const int count = CountShown(manager);
    ASSERT_GT(count, 0) << "the manager says how many records it lists";
    list->setFocus();
    Press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(list->browser()->CurrentRow(), 1);
    EXPECT_EQ(list->verticalScrollBar()->value(), 0);
    const Entry first = PageEntries(list).front();
    std::set<Entry> seen;
    std::vector<Entry> page = PageEntries(list);
    for (int pages = 0;; ++pages) {
        ASSERT_LT(pages, count + 1) << "Page Down does not reach the end";
        EXPECT_TRUE(std::is_sorted(page.begin(), page.end())) << "page " << pages;
        seen.insert(page.begin(), page.end());
        const Entry highlighted = page[size_t(list->browser()->CurrentRow() - 1)];
        Press(Qt::Key_PageDown);
        const std::vector<Entry> next = PageEntries(list);
        if (next[size_t(list->browser()->CurrentRow() - 1)] == highlighted) break;
        EXPECT_GT(next.front(), page.front()) << "page " << pages + 1 << " went back";
        page = next;
    }
    EXPECT_EQ(int(seen.size()), count);
    EXPECT_EQ(*seen.rbegin(), page.back()) << "the last page ends on the last record";
    Press(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(PageEntries(list)[size_t(list->browser()->CurrentRow() - 1)], *seen.rbegin());
    EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    for (int pages = 0; PageEntries(list).front() != first; ++pages) {
        ASSERT_LT(pages, count + 1) << "Page Up does not come back to the first record";
        Press(Qt::Key_PageUp);
    }
}

enum class Books { Files, Server };

class ListRoad : public RoadTest, public ::testing::WithParamInterface<Books> {
  protected:
    // On a server the demo's books are moved there once; as the roads only read them,
    // each further road works in them from a new folder connected to them.
    void makeBooks() override {
        static std::string books;
        if (GetParam() == Books::Files || books.empty()) RoadTest::makeBooks();
        if (HasFatalFailure() || GetParam() == Books::Files) return;
        PgCluster* cluster = nullptr;
        INVARRO_NEED_CLUSTER(cluster);
        if (books.empty())
            PutBooksOnServer(*cluster, folder, {}, &books);
        else
            JoinBooksOnServer(folder, books);
    }
    void TearDown() override {
        RoadTest::TearDown();
        if (GetParam() == Books::Server) app::UnmountBooks(folder);
    }
};

INSTANTIATE_TEST_SUITE_P(Books, ListRoad, ::testing::Values(Books::Files, Books::Server),
                         [](const ::testing::TestParamInfo<Books>& info) {
                             return info.param == Books::Files ? "Files" : "Server";
                         });

TEST_P(ListRoad, EveryManagerPagesThroughEveryRecord) {
    openFromMain("Customers", [&](QWidget* m) {
        PagesThroughEveryRecord(m, "CustList");
        ClickButton(m, "Close");
    });
    openFromMain("Products", [&](QWidget* m) {
        PagesThroughEveryRecord(m, "ProdBrowser");
        ClickButton(m, "Close");
    });
    openFromMain("Invoices", [&](QWidget* m) {
        PagesThroughEveryRecord(m, "InvBrowser1");
        ClickButton(m, "Close");
    });
    openFromMenu("File", "Company Manager...", [&](QWidget* m) {
        PagesThroughEveryRecord(m, "CompList");
        ClickButton(m, "Close");
    });
}

TEST_P(ListRoad, TheInvoiceListSortsByATitleSearchesAndOpensTheRecordWithEnter) {
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

TEST_P(ListRoad, TheCustomerListSortsByNumberAndBackAndFindsANameAsItIsTyped) {
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
TEST_P(ListRoad, EnterInEveryManagerOpensWhatADoubleClickOpens) {
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
