// The small windows and platform faces: the calendar, the password dialog, the message
// boxes, the status window, the wheel as arrow keys and the single instance.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QLockFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <csignal>
#include <future>

#include "app/Installation.h"
#include "data/IniFile.h"
#include "platform/qt/QtProgress.h"
#include "platform/qt/QtPrompter.h"
#include "platform/qt/SingleInstance.h"
#include "platform/qt/TerminationSignals.h"
#include "storage/Engine.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CalendarForm.h"
#include "ui/PasswordDialog.h"
#include "ui/WheelKeys.h"

namespace invarro::ui {
namespace {

using platform::Answer;
using platform::Buttons;
using platform::Icon;
using platform::Message;
using platform::qt::QtPrompter;
using platform::qt::SingleInstance;
using testing::TempDir;

class WindowsTest : public ::testing::Test {
  protected:
    void SetUp() override { testing::QtApp(); }
};

// ------------------------------------------------------------------------ calendar

TEST_F(WindowsTest, CalendarShowsTheDateBothWays) {
    TCalendarForm form(nullptr, data::DateOrder::MonthFirst);
    form.setDate(data::Date{2024, 3, 5});
    EXPECT_EQ(form.windowTitle(), "Date Selection");
    EXPECT_EQ(form.DateText->text(), "03/05/2024");
    EXPECT_EQ(form.LongDate->text(), "Tuesday, March 5, 2024");
    EXPECT_EQ(form.MonthList->count(), 12);
    EXPECT_EQ(form.MonthList->currentText(), "March");
    ASSERT_EQ(form.YearList->count(), 7);
    EXPECT_EQ(form.YearList->itemText(0), "2021");
    EXPECT_EQ(form.YearList->itemText(6), "2027");
    EXPECT_EQ(form.YearList->currentText(), "2024");

    TCalendarForm dayFirst(nullptr, data::DateOrder::DayFirst);
    dayFirst.setDate(data::Date{2024, 3, 5});
    EXPECT_EQ(dayFirst.DateText->text(), "05/03/2024");
}

TEST_F(WindowsTest, ChoosingAMonthStartsOnItsFirstDayAndYearsFollow) {
    TCalendarForm form(nullptr, data::DateOrder::MonthFirst);
    form.setDate(data::Date{2024, 3, 25});
    form.MonthList->setCurrentIndex(6);
    emit form.MonthList->activated(6);
    EXPECT_EQ(form.date(), (data::Date{2024, 7, 1}));
    EXPECT_EQ(form.DateText->text(), "07/01/2024");

    // A chosen year keeps month and day where it can: 29 February 2024 to 2023.
    form.setDate(data::Date{2024, 2, 29});
    form.YearList->setCurrentIndex(2);
    emit form.YearList->activated(2);
    EXPECT_EQ(form.date(), (data::Date{2023, 2, 28}));
    EXPECT_EQ(form.YearList->itemText(0), "2020") << "the list moves with the shown year";

    // A typed year that is not a number gives way to the calendar's year.
    form.YearList->setEditText("20x4");
    emit form.YearList->lineEdit()->editingFinished();
    EXPECT_EQ(form.YearList->currentText(), "2023");
    EXPECT_EQ(form.date(), (data::Date{2023, 2, 28}));
    form.YearList->setEditText("2030");
    emit form.YearList->lineEdit()->editingFinished();
    EXPECT_EQ(form.date(), (data::Date{2030, 2, 28}));
}

TEST_F(WindowsTest, DoubleClickChoosesExceptWhenOnlyViewing) {
    TCalendarForm pick(nullptr, data::DateOrder::MonthFirst);
    pick.setDate(data::Date{2024, 3, 5});
    pick.show();
    emit pick.Calendar->activated(QDate(2024, 3, 5));
    EXPECT_EQ(pick.result(), QDialog::Accepted);

    TCalendarForm view(nullptr, data::DateOrder::MonthFirst, true);
    view.show();
    emit view.Calendar->activated(QDate(2024, 3, 5));
    EXPECT_TRUE(view.isVisible());
    EXPECT_FALSE(view.CancelBtn->isVisibleTo(&view));
}

TEST_F(WindowsTest, CalendarPickerReturnsTheChoiceOrNothing) {
    QWidget owner;
    owner.setGeometry(100, 100, 600, 400);
    owner.show();
    data::DateOrder order = data::DateOrder::MonthFirst;
    CalendarPicker picker(&owner, &order);
    QTimer::singleShot(50, [&] {
        auto* form = qobject_cast<TCalendarForm*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->windowTitle(), "Delete Date Selection");
        EXPECT_EQ(form->date(), (data::Date{2019, 6, 1}));
        // Centred over the main window.
        EXPECT_LE(std::abs(form->frameGeometry().center().x() - owner.frameGeometry().center().x()),
                  2);
        form->MonthList->setCurrentIndex(0);
        emit form->MonthList->activated(0);
        form->OKBtn->click();
    });
    EXPECT_EQ(picker.pickDate("Delete Date Selection", data::Date{2019, 6, 1}),
              (data::Date{2019, 1, 1}));
    QTimer::singleShot(50, [&] {
        if (auto* form = qobject_cast<TCalendarForm*>(QApplication::activeModalWidget()))
            form->CancelBtn->click();
    });
    EXPECT_FALSE(picker.pickDate("Date Selection", data::Date{2019, 6, 1}));
}

// ------------------------------------------------------------------------ password dialog

TEST_F(WindowsTest, PasswordDialogStartsEmptyEachTime) {
    int helps = 0;
    TPasswordDlg dlg(nullptr, [&] { ++helps; });
    EXPECT_EQ(dlg.Password->maxLength(), 20);
    EXPECT_EQ(dlg.Password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.CancelBtn->text(), "&Cancel");

    QTimer::singleShot(50, [&] {
        EXPECT_EQ(dlg.windowTitle(), "Password Required");
        EXPECT_FALSE(dlg.HelpBtn->isVisibleTo(&dlg));
        QTest::keyClicks(dlg.Password, "Osprey");
        dlg.OKBtn->click();
    });
    app::PasswordEntry e = dlg.askPassword("Password Required", false);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.text, "Osprey");

    QTimer::singleShot(50, [&] {
        EXPECT_EQ(dlg.Password->text(), "") << "emptied for the next question";
        EXPECT_TRUE(dlg.HelpBtn->isVisibleTo(&dlg));
        dlg.HelpBtn->click();
        QTest::keyClicks(dlg.Password, "abc");
        dlg.CancelBtn->click();
    });
    e = dlg.askPassword("Password Setup", true);
    EXPECT_FALSE(e.ok);
    EXPECT_EQ(e.text, "abc");
    EXPECT_EQ(helps, 1);
}

// ------------------------------------------------------------------------ message boxes

TEST_F(WindowsTest, MessageBoxesCarryTitleTextIconButtonsAndDefault) {
    auto box = QtPrompter::BuildBox(
        Message{"Delete Paid Records", "Continue?", Icon::Question, Buttons::YesNo, Answer::No},
        nullptr);
    EXPECT_EQ(box->windowTitle(), "Delete Paid Records");
    EXPECT_EQ(box->text(), "Continue?");
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));

    box = QtPrompter::BuildBox(Message{"", "Ok?", Icon::Error, Buttons::OkCancel, Answer::Yes},
                               nullptr);
    EXPECT_EQ(box->windowTitle(), "ZT Invarro");  // the application title when none is given
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Ok)) << "Yes is not offered";

    box = QtPrompter::BuildBox(
        Message{"T", "Three", Icon::Warning, Buttons::YesNoCancel, Answer::Cancel}, nullptr);
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Cancel));

    EXPECT_EQ(QtPrompter::AnswerOf(QMessageBox::Yes, Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(QtPrompter::AnswerOf(QMessageBox::NoButton, Buttons::YesNo), Answer::No);
    EXPECT_EQ(QtPrompter::AnswerOf(QMessageBox::NoButton, Buttons::YesNoCancel), Answer::Cancel);
}

TEST_F(WindowsTest, PrompterReturnsTheButtonPressed) {
    QtPrompter prompter;
    QTimer::singleShot(50, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(prompter.ask(Message{"Please Confirm", "Exit anyway?", Icon::Question, Buttons::YesNo,
                                   Answer::Yes}),
              Answer::No);
}

TEST_F(WindowsTest, AnAbandonedPrompterAnswersWithEscape) {
    QtPrompter prompter;
    QTimer::singleShot(50, [&] { prompter.abandon(); });
    EXPECT_EQ(prompter.ask(Message{"Please Confirm", "Continue?", Icon::Question, Buttons::YesNo,
                                   Answer::Yes}),
              Answer::No);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(prompter.ask(Message{"T", "Sure?", Icon::Question, Buttons::OkCancel, Answer::Ok}),
              Answer::Cancel)
        << "later questions are not shown";
}

// ------------------------------------------------------------------------ status window

TEST_F(WindowsTest, StatusWindowShowsItsLinesAndGoesAway) {
    QWidget owner;
    platform::qt::QtProgress progress(&owner);
    progress.start("Rebuild Status", 3);
    ASSERT_NE(progress.window(), nullptr);
    EXPECT_EQ(progress.window()->windowTitle(), "Rebuild Status");
    EXPECT_TRUE(progress.window()->isVisible());
    EXPECT_EQ(progress.window()->windowModality(), Qt::ApplicationModal);
    progress.setLine(0, "Key number: 2");
    progress.setLine(2, "Records written: 50");
    progress.setLine(7, "ignored");
    EXPECT_TRUE(progress.step());
    EXPECT_EQ(progress.line(0), "Key number: 2");
    EXPECT_EQ(progress.line(2), "Records written: 50");
    EXPECT_EQ(progress.window()->findChild<QLabel*>("StatusLine3")->text(), "Records written: 50");
    progress.finish();
    EXPECT_EQ(progress.window(), nullptr);

    platform::qt::QtProgress cancellable(&owner, true);
    cancellable.start("Statements", 2);
    cancellable.window()->findChild<QPushButton*>("StatusCancel")->click();
    EXPECT_FALSE(cancellable.step());
}

// ------------------------------------------------------------------------ wheel

TEST_F(WindowsTest, WheelTurnsIntoArrowKeys) {
    std::unique_ptr<WheelKeys> filter(WheelKeys::Install());
    QListWidget list;
    for (int i = 0; i < 20; ++i)
        list.addItem(QString::number(i));
    list.setCurrentRow(5);
    list.show();
    list.setFocus();
    QApplication::setActiveWindow(&list);
    auto wheel = [&](int dy) {
        QWheelEvent e(QPointF(10, 10), list.mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, dy),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(list.viewport(), &e);
    };
    wheel(-120);  // back: Down
    EXPECT_EQ(list.currentRow(), 6);
    wheel(240);  // two notches forward: Up twice
    EXPECT_EQ(list.currentRow(), 4);
    wheel(60);  // half a notch does nothing yet
    EXPECT_EQ(list.currentRow(), 4);
    wheel(60);
    EXPECT_EQ(list.currentRow(), 3);
}

// ------------------------------------------------------------------------ single instance

TEST_F(WindowsTest, OneNamePerFolderHoweverItIsWritten) {
    TempDir dir;
    EXPECT_EQ(SingleInstance::KeyFor(QString::fromStdString(dir.path())),
              SingleInstance::KeyFor(QString::fromStdString(dir.path() + "/")));
    EXPECT_EQ(SingleInstance::KeyFor(QString::fromStdString(dir.path())),
              SingleInstance::KeyFor(QString::fromStdString(dir.path() + "/sub/..")));
    EXPECT_NE(SingleInstance::KeyFor(QString::fromStdString(dir.path())),
              SingleInstance::KeyFor(QString::fromStdString(dir.file("other"))));
}

TEST_F(WindowsTest, ASecondInstanceAsksTheFirstToShowItself) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    SingleInstance first(folder);
    ASSERT_EQ(first.start(2000), SingleInstance::Outcome::First);
    int raised = 0;
    QObject::connect(&first, &SingleInstance::raiseRequested, [&] { ++raised; });

    // While the first decides, a second start waits and gives up.
    auto undecided = std::async(std::launch::async, [&] {
        SingleInstance second(folder);
        return second.start(300);
    });
    EXPECT_EQ(undecided.get(), SingleInstance::Outcome::Undecided);

    auto asked = std::async(std::launch::async, [&] {
        SingleInstance second(folder);
        return second.start(5000);
    });
    while (asked.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QApplication::processEvents();
    EXPECT_EQ(asked.get(), SingleInstance::Outcome::AlreadyRunning);
    QApplication::processEvents();
    // The start that gave up had asked as well; its request is answered when the first
    // gets to it.
    EXPECT_EQ(raised, 2);
}

TEST_F(WindowsTest, ASocketLeftBehindIsTakenOver) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.path());
    {
        SingleInstance gone(folder);
        ASSERT_EQ(gone.start(2000), SingleInstance::Outcome::First);
    }
    SingleInstance next(folder);
    EXPECT_EQ(next.start(2000), SingleInstance::Outcome::First);
}

// The folder's lock dies with its program: one killed while it held it (even between making
// the lock file and writing into it) leaves nothing that locks the folder, and the lock
// file is the owner's alone.
TEST_F(WindowsTest, ALockHeldByAKilledProgramDoesNotLockTheFolder) {
    TempDir dir;
    const QString folder = QString::fromStdString(dir.file("books"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t holder = ::fork();
    if (holder == 0) {
        SingleInstance held(folder);
        const bool first = held.hold(2000) == SingleInstance::Outcome::First;
        char c = first ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        for (;;)
            ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    {
        SingleInstance other(folder);
        EXPECT_EQ(other.hold(300), SingleInstance::Outcome::Undecided);
    }
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    SingleInstance next(folder);
    EXPECT_EQ(next.start(2000), SingleInstance::Outcome::First);
    struct stat st {};
    ASSERT_EQ(::stat(next.lockPath().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(next.lockPath().startsWith(folder));
    ::close(ready[0]);
    ::close(ready[1]);
}

// The program itself: a second start on the same folder ends at once with status 0 and
// the first keeps running.
TEST_F(WindowsTest, SecondProgramStartEndsAndLeavesTheFirstRunning) {
    TempDir dir;
    const std::string folder = dir.file("data");
    storage::InitEngine(30);
    testing::ScriptedPrompter quiet;
    ASSERT_TRUE(app::CreateInstallation(folder, quiet).ok);
    storage::ExitEngine();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(INVARRO_PROGRAM, {"--data", QString::fromStdString(folder)});
    ASSERT_TRUE(first.waitForStarted(5000));

    // Wait until the first answers on its socket.
    SingleInstance probe(QString::fromStdString(folder));
    QLocalSocket socket;
    QElapsedTimer waited;
    waited.start();
    bool up = false;
    while (!up && waited.elapsed() < 15000) {
        socket.connectToServer(probe.serverName());
        up = socket.waitForConnected(200);
        if (!up) QTest::qWait(100);
    }
    socket.disconnectFromServer();
    ASSERT_TRUE(up) << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(INVARRO_PROGRAM, {"--data", QString::fromStdString(folder + "/")});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    QTest::qWait(300);
    EXPECT_EQ(first.state(), QProcess::Running);

    // Asked to end from outside, the first ends in order: bounds stored, files closed.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    data::IniFile ini(data::IniFilePath(folder));
    EXPECT_EQ(ini.readInteger("MainForm", "Width", 0), 635);
    storage::InitEngine(30);
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/Company", true);
    EXPECT_TRUE(storage::EngineOk) << "left open: " << storage::EngineError;
    if (fb) storage::CloseFileblock(fb);
    storage::ExitEngine();
}

TEST_F(WindowsTest, TerminationSignalsArriveOnTheWindowThread) {
    platform::qt::TerminationSignals termination;
    std::vector<int> seen;
    QObject::connect(&termination, &platform::qt::TerminationSignals::terminationRequested,
                     [&](int n) { seen.push_back(n); });
    ::raise(SIGHUP);
    QElapsedTimer waited;
    waited.start();
    while (seen.empty() && waited.elapsed() < 2000)
        QApplication::processEvents();
    EXPECT_EQ(seen, std::vector<int>{SIGHUP});
}

}  // namespace
}  // namespace invarro::ui
