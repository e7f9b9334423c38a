// TIndexBrowser driven offscreen: keys, clicks, drags, the wheel and the scroll bar move
// the current row as the row logic says, and failures reach the Prompter.

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

#include "data/Ansi.h"
#include "storage/EngineFixture.h"
#include "support/ScriptedPrompter.h"
#include "ui/IndexBrowserControl.h"

namespace invarro::ui {
namespace {

using storage::Browser;
using storage::BrowserError;
using storage::EngineOp;
using storage::Fileblock;
using storage::RowRecord;
namespace err = storage::err;

constexpr int kRecLen = 40;

std::string Code(int i) {
    char k[16];
    std::snprintf(k, sizeof k, "K%04d", i);
    return k;
}

class IndexBrowserTest : public storage::EngineTest {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }

    void SetUp() override {
        EngineTest::SetUp();
        fb = createOpen(kRecLen, {{10, false}});
        control = std::make_unique<TIndexBrowser>();
        control->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        control->resize(320, 240);
        control->SetPrompter(&prompter);
    }
    void TearDown() override {
        control.reset();
        if (fb) storage::CloseFileblock(fb);
        EngineTest::TearDown();
    }

    void fill(int n, const char* prefix = "K") {
        for (int i = 1; i <= n; ++i) {
            char k[16];
            std::snprintf(k, sizeof k, "%s%04d", prefix, i);
            add(k);
        }
    }
    void add(const std::string& k) {
        std::string r = record(kRecLen, k);
        int32_t n = storage::AddRecord(fb, r.data());
        storage::AddKey(fb, 1, n, k);
        ASSERT_TRUE(storage::EngineOk);
        recOf[k] = n;
    }
    // Attaches a browser whose rows show the record text and fills the page.
    void attach() {
        auto b = std::make_unique<Browser>(fb, 1, buffer.data(), kRecLen);
        b->SetRetryPause([](int) {});
        control->SetOnBuildRow([this](TIndexBrowser*, RowRecord& row) {
            row.text = std::string(buffer.data() + 4);
            return 0;
        });
        control->Attach(std::move(b));
        control->JumpToKey("");
        control->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(control.get()));
    }
    std::string current() const { return control->CurrentKeyString(); }
    int row() const { return control->browser()->CurrentRow(); }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(control.get(), k, mods);
    }
    QPoint rowPoint(int r) const { return control->RowRect(r).center(); }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
        QPointF pos(at);
        QMouseEvent e(type, pos, control->viewport()->mapToGlobal(pos), button, held,
                      Qt::NoModifier);
        QApplication::sendEvent(control->viewport(), &e);
    }

    Fileblock* fb = nullptr;
    std::vector<char> buffer = std::vector<char>(kRecLen);
    std::map<std::string, int32_t> recOf;
    std::unique_ptr<TIndexBrowser> control;
    invarro::testing::ScriptedPrompter prompter;
};

TEST_F(IndexBrowserTest, WithoutABrowserObjectNothingHappens) {
    EXPECT_EQ(control->CurrentKeyNumber(), TIndexBrowser::kNoKeyNumber);
    EXPECT_EQ(control->CurrentRecordNumber(), 0);
    bool unchanged = true;
    EXPECT_EQ(control->ReadCurrentRecord(unchanged), storage::kNotReadyClass);
    EXPECT_FALSE(unchanged);
    control->show();
    key(Qt::Key_Down);
    control->JumpToKey("A");
    control->Refresh();
    EXPECT_EQ(control->CurrentKeyString(), "");
    EXPECT_EQ(control->sizeHint(), QSize(200, 100));
}

TEST_F(IndexBrowserTest, LayoutFollowsTheHeightFontHeaderAndFooter) {
    fill(100);
    QSignalSpy init(control.get(), &TIndexBrowser::FirstUserInit);
    attach();
    EXPECT_EQ(init.count(), 1);
    const int h = control->viewport()->height();
    EXPECT_EQ(control->RowsInView(), h / control->RowHeight());
    EXPECT_EQ(control->browser()->FilledRows(), control->RowsInView());

    // The header line is the table's header above the rows; the footer line takes the
    // room of one row under them.
    control->SetHeader("Number    Name");
    control->SetFooter("Customers");
    EXPECT_TRUE(control->horizontalHeader()->isVisible());
    EXPECT_EQ(control->model()->headerData(0, Qt::Horizontal).toString(), "Number    Name");
    const int withHeader = control->viewport()->height();
    EXPECT_LT(withHeader, h);
    EXPECT_EQ(control->RowsInView(), withHeader / control->RowHeight() - 1);
    EXPECT_EQ(control->RowRect(1).top(), 0);
    EXPECT_EQ(control->browser()->FilledRows(), control->RowsInView());
    EXPECT_EQ(control->RowAt(control->RowRect(control->RowsInView()).bottom() + 2), 0);  // footer
    EXPECT_EQ(control->RowAt(control->RowRect(3).center().y()), 3);
    control->SetHeader("");
    EXPECT_FALSE(control->horizontalHeader()->isVisible());

    // A window too low for a single row still has one.
    control->resize(320, 20);
    EXPECT_EQ(control->RowsInView(), 1);
    EXPECT_EQ(control->browser()->FilledRows(), 1);

    // A bigger font gives fewer rows.
    control->resize(320, 240);
    const int rows = control->RowsInView();
    QFont big = control->font();
    big.setPointSize(big.pointSize() * 2);
    control->setFont(big);
    EXPECT_LT(control->RowsInView(), rows);
}

TEST_F(IndexBrowserTest, ResizingKeepsTheCurrentEntryVisible) {
    fill(100);
    attach();
    const int rows = control->RowsInView();
    ASSERT_GE(rows, 8);
    for (int i = 0; i < rows + 4; ++i)
        key(Qt::Key_Down);
    const std::string entry = current();
    ASSERT_EQ(row(), rows);

    control->resize(320, control->height() - 5 * control->RowHeight());
    EXPECT_EQ(current(), entry);
    EXPECT_EQ(row(), control->RowsInView());
    control->resize(320, 400);
    EXPECT_EQ(current(), entry);
    EXPECT_LE(row(), control->RowsInView());
}

TEST_F(IndexBrowserTest, AWindowTallerThanAPageShowsAPageAndMovesOnItsLastRow) {
    fill(300);
    attach();
    control->resize(320, control->RowHeight() * 140);
    ASSERT_EQ(control->RowsInView(), storage::kBrowserMaxRows);
    for (int i = 0; i < storage::kBrowserMaxRows + 5; ++i)
        key(Qt::Key_Down);
    EXPECT_EQ(row(), storage::kBrowserMaxRows);
    EXPECT_EQ(current(), "K0106");
    EXPECT_EQ(control->browser()->Row(storage::kBrowserMaxRows).text, "K0106");
}

TEST_F(IndexBrowserTest, KeysMoveTheCurrentRow) {
    fill(60);
    attach();
    QSignalSpy changed(control.get(), &TIndexBrowser::RowChanged);
    const int rows = control->RowsInView();
    key(Qt::Key_Up);
    EXPECT_EQ(current(), "K0001");
    EXPECT_EQ(changed.count(), 0);
    for (int i = 0; i < 3; ++i)
        key(Qt::Key_Down);
    EXPECT_EQ(row(), 4);
    EXPECT_EQ(current(), "K0004");
    EXPECT_EQ(changed.count(), 3);

    key(Qt::Key_PageDown);
    EXPECT_EQ(row(), 4);
    EXPECT_EQ(control->browser()->Row(1).text, Code(rows + 1));

    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(current(), "K0060");
    EXPECT_EQ(row(), rows);
    EXPECT_EQ(control->verticalScrollBar()->value(), storage::kScrollRange);
    key(Qt::Key_Down);
    EXPECT_EQ(current(), "K0060");
    key(Qt::Key_Up);
    EXPECT_EQ(current(), "K0059");
    key(Qt::Key_PageUp);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(current(), "K0001");
    EXPECT_EQ(control->verticalScrollBar()->value(), 0);
}

// What a screen reader is told as the arrows move: a focus event on the cell of the current
// row after every move, also when the page scrolls under a row that stays where it is.
std::vector<QString> gFocusTold;
QObject* gWatched = nullptr;
void NoteFocus(QAccessibleEvent* event) {
    if (event->type() != QAccessible::Focus || event->object() != gWatched) return;
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(event->object());
    QAccessibleInterface* cell = list ? list->child(event->child()) : nullptr;
    gFocusTold.push_back(cell ? cell->text(QAccessible::Name) : QString());
}

TEST_F(IndexBrowserTest, EveryMoveTellsAScreenReaderTheNewCurrentRow) {
    fill(60);
    attach();
    control->activateWindow();
    control->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(control.get()));
    gFocusTold.clear();
    gWatched = control.get();
    // Events reach a screen reader only where the platform has an accessibility bridge
    // (not offscreen); ctest runs this under a virtual X display with the bus switched on.
    // The bridge switches on once it has reached the accessibility bus.
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        (void)QTest::qWaitFor(QAccessible::isActive, 5000);
    if (!QAccessible::isActive()) GTEST_SKIP() << "no accessibility bridge on this platform";
    ASSERT_TRUE(control->hasFocus());
    const QAccessible::UpdateHandler before = QAccessible::installUpdateHandler(NoteFocus);
    struct Restore {
        QAccessible::UpdateHandler h;
        ~Restore() {
            QAccessible::installUpdateHandler(h);
            gWatched = nullptr;
        }
    } restore{before};

    auto toldNow = [&](const char* step) {
        ASSERT_FALSE(gFocusTold.empty()) << step << ": nothing told";
        EXPECT_TRUE(gFocusTold.back().contains(QString::fromStdString(current())))
            << step << ": told " << gFocusTold.back().toStdString() << ", current " << current();
    };
    key(Qt::Key_Down);
    toldNow("down");
    const int rows = control->RowsInView();
    for (int i = 2; i < rows; ++i)
        key(Qt::Key_Down);
    ASSERT_EQ(row(), rows);
    gFocusTold.clear();
    key(Qt::Key_Down);  // the page scrolls; the current row stays the last one
    EXPECT_EQ(row(), rows);
    toldNow("down on the last row");
    gFocusTold.clear();
    key(Qt::Key_PageDown);
    toldNow("page down");
    gFocusTold.clear();
    key(Qt::Key_Home, Qt::ControlModifier);
    toldNow("first page");
    // Nothing moves at the top: nothing new is told.
    gFocusTold.clear();
    key(Qt::Key_Up);
    EXPECT_TRUE(gFocusTold.empty());
}

TEST_F(IndexBrowserTest, TypedCharactersJumpAndPlusRefreshes) {
    for (const char* k : {"ADAMS", "BAKER", "MILLER", "SCHMIDT", "SMITH", "ZIMMER"})
        add(k);
    add("\xD6ZT\xDCRK");  // ÖZTÜRK in Windows-1252
    attach();
    // The windows upper-case typed characters before the browser sees them.
    control->OnKeyPress = [](TIndexBrowser*, QChar& c) { c = c.toUpper(); };
    QTest::keyClicks(control.get(), "s");
    EXPECT_EQ(current(), "SCHMIDT");
    QTest::keyClick(control.get(), Qt::Key_Odiaeresis, Qt::NoModifier);
    EXPECT_EQ(current(), "\xD6ZT\xDCRK");
    QTest::keyClicks(control.get(), "b");
    EXPECT_EQ(current(), "BAKER");
    QTest::keyClicks(control.get(), "-!");
    EXPECT_EQ(current(), "BAKER");

    // "+" shows what changed behind the list's back.
    storage::DeleteKey(fb, 1, recOf["BAKER"], "BAKER");
    QTest::keyClicks(control.get(), "+");
    EXPECT_EQ(current(), "MILLER");

    // A handler may swallow the key.
    control->OnKeyPress = [](TIndexBrowser*, QChar& c) { c = QChar(); };
    QTest::keyClicks(control.get(), "z");
    EXPECT_EQ(current(), "MILLER");
}

TEST_F(IndexBrowserTest, HorizontalKeysMoveTheOffsetInSteps) {
    fill(5);
    attach();
    const int step = control->HorizStep();
    ASSERT_GT(step, 0);
    const int max = control->horizontalScrollBar()->maximum();
    EXPECT_EQ(max, std::max(0, 128 * step - control->viewport()->width()));
    key(Qt::Key_Right);
    EXPECT_EQ(control->HorizOfs(), step);
    key(Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(control->HorizOfs(), 11 * step);
    key(Qt::Key_Left);
    EXPECT_EQ(control->HorizOfs(), 10 * step);
    key(Qt::Key_End);
    EXPECT_EQ(control->HorizOfs(), max);
    key(Qt::Key_Right);
    EXPECT_EQ(control->HorizOfs(), max);
    key(Qt::Key_Home);
    EXPECT_EQ(control->HorizOfs(), 0);
    key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(control->HorizOfs(), 0);
    EXPECT_EQ(current(), "K0001");  // the rows did not move
}

TEST_F(IndexBrowserTest, ClicksAndDoubleClicksPickRows) {
    fill(4);
    attach();
    QSignalSpy changed(control.get(), &TIndexBrowser::RowChanged);
    QSignalSpy dbl(control.get(), &TIndexBrowser::DblClick);
    QTest::mouseClick(control->viewport(), Qt::LeftButton, {}, rowPoint(3));
    EXPECT_EQ(row(), 3);
    EXPECT_EQ(changed.count(), 1);
    // Below the last filled row nothing changes.
    QTest::mouseClick(control->viewport(), Qt::LeftButton, {}, rowPoint(6));
    EXPECT_EQ(row(), 3);
    // A right-click selects its row, for the context menu to act on; below the rows it
    // leaves the highlight where it is.
    QTest::mouseClick(control->viewport(), Qt::RightButton, {}, rowPoint(1));
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(changed.count(), 2);
    QTest::mouseClick(control->viewport(), Qt::RightButton, {}, rowPoint(6));
    EXPECT_EQ(row(), 1);
    QTest::mouseDClick(control->viewport(), Qt::LeftButton, {}, rowPoint(2));
    EXPECT_EQ(row(), 2);
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_EQ(control->CurrentRecordNumber(), recOf["K0002"]);
}

TEST_F(IndexBrowserTest, DraggingFollowsThePointerAndScrollsOutsideTheRows) {
    fill(200);
    attach();
    const int rows = control->RowsInView();
    mouse(QEvent::MouseButtonPress, rowPoint(2), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(row(), 2);
    mouse(QEvent::MouseMove, rowPoint(6), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(row(), 6);
    EXPECT_EQ(current(), "K0006");

    // Below the rows the list keeps moving down while the button is held.
    const QPoint below(10, control->RowRect(rows).bottom() + 3);
    mouse(QEvent::MouseMove, below, Qt::NoButton, Qt::LeftButton);
    QTest::qWait(12 * TIndexBrowser::kAutoScrollMs);
    const std::string moved = current();
    EXPECT_GT(moved, Code(rows));
    // Back over the rows the automatic movement stops.
    mouse(QEvent::MouseMove, rowPoint(3), Qt::NoButton, Qt::LeftButton);
    const std::string over = current();
    QTest::qWait(5 * TIndexBrowser::kAutoScrollMs);
    EXPECT_EQ(current(), over);
    EXPECT_EQ(row(), 3);

    // Above the rows it moves up, until the button is released.
    mouse(QEvent::MouseMove, QPoint(10, -5), Qt::NoButton, Qt::LeftButton);
    QTest::qWait(4 * TIndexBrowser::kAutoScrollMs);
    EXPECT_LT(current(), over);
    mouse(QEvent::MouseButtonRelease, QPoint(10, -5), Qt::LeftButton, Qt::NoButton);
    const std::string released = current();
    QTest::qWait(5 * TIndexBrowser::kAutoScrollMs);
    EXPECT_EQ(current(), released);
}

TEST_F(IndexBrowserTest, WheelTurnsIntoUpAndDown) {
    fill(50);
    attach();
    const QPoint at = rowPoint(1);
    auto turn = [&](int delta) {
        QWheelEvent e(QPointF(at), QPointF(control->viewport()->mapToGlobal(at)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(control->viewport(), &e);
    };
    turn(-240);
    EXPECT_EQ(current(), "K0003");
    turn(-60);
    EXPECT_EQ(current(), "K0003");
    turn(-60);  // two half notches make one
    EXPECT_EQ(current(), "K0004");
    turn(120);
    EXPECT_EQ(current(), "K0003");
}

TEST_F(IndexBrowserTest, ScrollBarMovesAndJumpsWhenTheThumbIsReleased) {
    fill(2000);
    attach();
    QScrollBar* v = control->verticalScrollBar();
    EXPECT_EQ(v->minimum(), 0);
    EXPECT_EQ(v->maximum(), 63);
    v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(current(), "K0002");
    v->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(current(), "K0001");
    v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(control->browser()->Row(1).text, Code(control->RowsInView() + 1));
    v->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(current(), "K2000");
    EXPECT_EQ(v->value(), 63);
    v->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(current(), "K0001");
    EXPECT_EQ(v->value(), 0);

    // Dragging the thumb does nothing until it is released.
    v->setSliderDown(true);
    v->setSliderPosition(32);
    EXPECT_EQ(current(), "K0001");
    v->setSliderDown(false);
    const int at = std::stoi(current().substr(1));
    EXPECT_GT(at, 850);
    EXPECT_LT(at, 1150);
    EXPECT_NEAR(v->value(), 32, 1);
}

TEST_F(IndexBrowserTest, FailuresAreShownAndTheListStaysUsable) {
    fill(60);
    attach();
    QSignalSpy failed(control.get(), &TIndexBrowser::Failed);
    const int rows = control->RowsInView();
    for (int i = 1; i < rows; ++i)
        key(Qt::Key_Down);
    ASSERT_EQ(row(), rows);
    const std::string before = current();

    prompter.expect("Class 4 error.  Isam Error 10140");
    storage::InjectFault(EngineOp::FindKey, 1, err::OsOther);
    key(Qt::Key_Down);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toString(), "Class 4 error.  Isam Error 10140");
    EXPECT_EQ(current(), before);
    EXPECT_EQ(row(), rows);
    key(Qt::Key_Down);
    EXPECT_NE(current(), before);

    // Operations the window calls raise the error to the window instead.
    storage::InjectFault(EngineOp::FindKey, 1, err::OsOther);
    EXPECT_THROW(control->JumpToKey("K0030"), BrowserError);
    EXPECT_EQ(prompter.seen().size(), 1u);
}

TEST_F(IndexBrowserTest, ReadCurrentRecordAndKeyNumber) {
    fill(10);
    attach();
    key(Qt::Key_Down);
    bool unchanged = false;
    EXPECT_EQ(control->ReadCurrentRecord(unchanged), 0);
    EXPECT_TRUE(unchanged);
    EXPECT_EQ(std::string(buffer.data() + 4), "K0002");
    EXPECT_EQ(control->CurrentKeyNumber(), 1);
    control->SetKeyNumber(0);
    EXPECT_EQ(control->CurrentKeyNumber(), 0);
    EXPECT_EQ(current(), "");
    EXPECT_EQ(control->CurrentRecordNumber(), recOf["K0001"]);
}

// Paints the control and checks the colours where the header, the highlighted row, a
// plain row and the footer lie. With INVARRO_SCREENSHOT_DIR set the picture is saved.
TEST_F(IndexBrowserTest, PaintsRowsHighlightHeaderAndFooter) {
    fill(40);
    attach();
    control->SetHeader("Number    Name                 Balance");
    control->SetFooter("Customers: 40");
    control->SetHeaderColor(QColor(200, 200, 160));
    control->SetFooterColor(QColor(160, 200, 200));
    control->SetHighlightColor(QColor(0, 0, 160));
    control->SetOnBuildRow([this](TIndexBrowser*, RowRecord& row) {
        std::string k(buffer.data() + 4);
        row.text = k + "     Customer " + k.substr(1) + "          1,234.50";
        return 0;
    });
    control->Refresh();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    QTest::qWait(20);

    // The header is drawn by the style in shades of its colour.
    const QImage head = control->horizontalHeader()->grab().toImage();
    const QColor band = head.pixelColor(head.width() - 3, head.height() / 2);
    EXPECT_NEAR(band.red(), 200, 40);
    EXPECT_NEAR(band.blue(), 160, 40);
    EXPECT_GT(band.green(), band.blue());
    QImage img = control->viewport()->grab().toImage();
    const int x = img.width() - 3;
    const QColor highlight = img.pixelColor(x, control->RowRect(3).center().y());
    EXPECT_LT(highlight.red(), 20);
    EXPECT_LT(highlight.green(), 20);
    EXPECT_NEAR(highlight.blue(), 160, 12);
    EXPECT_EQ(img.pixelColor(x, control->RowRect(5).center().y()), control->Color());
    EXPECT_EQ(img.pixelColor(x, control->RowRect(control->RowsInView() + 1).center().y()),
              QColor(160, 200, 200));
    // The rows carry text: some pixel of row 4 differs from the row's background.
    bool ink = false;
    const QRect r4 = control->RowRect(4);
    const QColor background = img.pixelColor(x, r4.center().y());
    for (int px = 0; px < 120 && !ink; ++px)
        for (int py = r4.top(); py <= r4.bottom() && !ink; ++py)
            ink = img.pixelColor(px, py) != background;
    EXPECT_TRUE(ink);

    const char* dir = std::getenv("INVARRO_SCREENSHOT_DIR");
    if (dir) {
        EXPECT_TRUE(control->grab().save(QString::fromUtf8(dir) + "/index-browser.png"));
    }

    // A row whose record could not be read keeps its place and shows the failure in red.
    storage::InjectFault(EngineOp::GetRecord, 2, err::ShortRead);
    EXPECT_THROW(control->Refresh(), BrowserError);
    QTest::qWait(20);
    ASSERT_LT(control->browser()->Row(4).status, 0);
    img = control->viewport()->grab().toImage();
    bool red = false;
    for (int px = 0; px < img.width() && !red; ++px)
        for (int py = r4.top(); py <= r4.bottom() && !red; ++py) {
            const QColor c = img.pixelColor(px, py);
            red = c.red() > 150 && c.green() < 100 && c.blue() < 100;
        }
    EXPECT_TRUE(red);
    EXPECT_EQ(control->browser()->Row(5).text.substr(0, 5), "K0005");
    if (dir) {
        EXPECT_TRUE(control->grab().save(QString::fromUtf8(dir) + "/index-browser-failed.png"));
    }
}

// ------------------------------------------------------------------ columns

class ColumnBrowserTest : public IndexBrowserTest {
  protected:
    // Rows of a code, a name and an amount, each field followed by one blank.
    void attachColumns() {
        auto b = std::make_unique<Browser>(fb, 1, buffer.data(), kRecLen);
        b->SetRetryPause([](int) {});
        control->SetOnBuildRow([this](TIndexBrowser*, RowRecord& row) {
            const std::string k(buffer.data() + 4);
            const std::string amount = k == "K0003" ? "-1,234.50" : "12.00";
            row.text = data::PadRight(k, 6) + " " + data::PadRight("Müller " + k.substr(1), 12) +
                       " " + data::PadLeft(amount, 10) + " ";
            return 0;
        });
        control->SetColumns(
            {{"Code", 6, false, 1}, {"Name", 12, false, 0}, {"Balance", 10, true, 0}});
        control->Attach(std::move(b));
        control->JumpToKey("");
        control->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(control.get()));
    }
    QVariant data(int row, int column, int role = Qt::DisplayRole) const {
        return control->model()->data(control->model()->index(row, column), role);
    }
    Qt::Alignment across(int row, int column) const {
        return data(row, column, Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    }
};

TEST_F(ColumnBrowserTest, EachFieldIsAColumnUnderItsTitleWithMoneyOnTheRight) {
    fill(30);
    attachColumns();
    QAbstractItemModel* m = control->model();
    ASSERT_EQ(m->columnCount(), 3);
    EXPECT_EQ(m->rowCount(), control->browser()->FilledRows());
    EXPECT_EQ(m->headerData(2, Qt::Horizontal).toString(), "Balance");
    EXPECT_TRUE(control->horizontalHeader()->isVisible());
    EXPECT_EQ(control->CellText(3, 0), "K0003");
    EXPECT_EQ(control->CellText(3, 1), "Müller 0003");
    EXPECT_EQ(control->CellText(3, 2), "-1,234.50");
    EXPECT_EQ(across(0, 2), Qt::AlignRight);
    EXPECT_EQ(across(0, 1), Qt::AlignLeft);
    // A screen reader hears the row whole, each field with its title.
    EXPECT_EQ(data(2, 0, Qt::AccessibleDescriptionRole).toString(),
              "Code: K0003, Name: Müller 0003, Balance: -1,234.50");
    // The model holds the page only, never the file.
    EXPECT_LE(m->rowCount(), control->RowsInView());
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(control->CellText(control->browser()->CurrentRow(), 0), "K0030");
    EXPECT_EQ(control->currentIndex().row() + 1, control->browser()->CurrentRow());
    // The vertical bar stays the browser's position and never shifts the rows.
    EXPECT_EQ(control->verticalScrollBar()->maximum(), storage::kScrollRange);
    EXPECT_EQ(control->verticalScrollBar()->value(), storage::kScrollRange);
    EXPECT_EQ(control->visualRect(m->index(0, 0)).top(), 0);
}

TEST_F(ColumnBrowserTest, ATitleWithAKeyAsksForThatOrderAndShowsItAsTheSort) {
    fill(5);
    attachColumns();
    QSignalSpy sort(control.get(), &TIndexBrowser::SortRequested);
    QHeaderView* header = control->horizontalHeader();
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 0);  // key 1 is the code column's
    auto click = [&](int section) {
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    click(1);  // the name column has no key: nothing is asked, the indicator stays
    EXPECT_EQ(sort.count(), 0);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    click(0);
    ASSERT_EQ(sort.count(), 1);
    EXPECT_EQ(sort.at(0).at(0).toInt(), 1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(ColumnBrowserTest, StoredWidthsApplyOnlyWhenTheyFitTheColumns) {
    fill(3);
    control->SetColumnWidths({90, 200, 120});
    attachColumns();
    EXPECT_EQ(control->ColumnWidths()[0], 90);
    EXPECT_EQ(control->ColumnWidths()[1], 200);
    // Widths kept for another layout of the list (fewer columns) are not forced on it.
    auto fresh = std::make_unique<TIndexBrowser>();
    fresh->SetColumnWidths({40, 40});
    fresh->SetColumns({{"Code", 6, false, 1}, {"Name", 12, false, 0}, {"Balance", 10, true, 0}});
    EXPECT_GT(fresh->ColumnWidths()[0], 40);
    // The columns are wide enough for their titles and fields.
    const QFontMetrics fm(fresh->font());
    EXPECT_GE(fresh->ColumnWidths()[1], fm.horizontalAdvance("Name"));
    EXPECT_GE(fresh->ColumnWidths()[2], fm.horizontalAdvance("-1,234.50"));
}

TEST_F(ColumnBrowserTest, SearchGoesToTheKeyRangeOfTheTypedText) {
    for (const char* k : {"ADAMS", "BAKER", "BALL", "MILLER", "\xD6ZT\xDCRK"})
        add(k);
    attachColumns();
    EXPECT_TRUE(control->SearchTyped("ba"));  // typed lower case, the keys are upper case
    EXPECT_EQ(current(), "BAKER");
    EXPECT_TRUE(control->SearchTyped("bal"));
    EXPECT_EQ(current(), "BALL");
    EXPECT_TRUE(control->SearchTyped("öz"));  // the keys hold Windows-1252 text
    EXPECT_EQ(current(), "\xD6ZT\xDCRK");
    // Nothing starts with it: the list stands on the next key and says it found none.
    EXPECT_FALSE(control->SearchTyped("C"));
    EXPECT_EQ(current(), "MILLER");
    EXPECT_FALSE(control->SearchTyped("ZZZ"));
    // An empty box goes back to the first page.
    EXPECT_TRUE(control->SearchTyped(""));
    EXPECT_EQ(current(), "ADAMS");
    EXPECT_EQ(row(), 1);
}

TEST_F(ColumnBrowserTest, LastPageAndSelectingARecordOnThePage) {
    fill(200);
    attachColumns();
    control->ShowLastPage();
    EXPECT_EQ(current(), "K0200");
    EXPECT_EQ(row(), control->browser()->FilledRows());
    EXPECT_TRUE(control->SelectRecord(recOf["K0199"]));
    EXPECT_EQ(current(), "K0199");
    EXPECT_FALSE(control->SelectRecord(recOf["K0001"]));  // not on the page: nothing moves
    EXPECT_EQ(current(), "K0199");
}

TEST_F(ColumnBrowserTest, ArrowsMoveInsideTheListAndTabLeavesIt) {
    fill(10);
    attachColumns();
    EXPECT_FALSE(control->tabKeyNavigation());
    key(Qt::Key_Down);
    key(Qt::Key_Right);  // the horizontal offset, not another cell
    EXPECT_EQ(current(), "K0002");
    EXPECT_EQ(control->currentIndex().row(), 1);
}

}  // namespace
}  // namespace invarro::ui
