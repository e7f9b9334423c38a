// Several programs working in the same books on a server at once, from the user's seat:
// this program's desktop, a second desktop program (this test program run again as a
// process of its own, on a folder of its own, driven by the keys and the mouse as this one
// is) and the command line on a third folder. What the command line and the second desktop
// post shows in this program's open invoice list within about a second, the selected row
// kept, and in the receivables total above it; a customer both desktops edit is saved by
// the first to save it, and the other is told it changed meanwhile; an invoice this
// program edits while the command line pays it is refused the same way; the second
// desktop's invoice, whose proposed number the command line took meanwhile, is saved under
// the next one and says so. Nothing is overwritten.

#include <gtest/gtest.h>

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/ServerMove.h"
#include "e2e/Road.h"
#include "e2e/ServerSeat.h"

namespace invarro::testing {
namespace {

namespace fs = std::filesystem;
using ui::TIndexBrowser;

constexpr const char* kSecondProgram = "INVARRO_E2E_SECOND_PROGRAM";
constexpr const char* kCustomer = "Maple Street Bakery";  // the demo's customer 101
constexpr const char* kFirstsPhone = "(802) 555-0122";
constexpr const char* kSecondsPhone = "(802) 555-0177";

// The two desktop programs tell each other where they are by files in a folder both see.
void Signal(const std::string& folder, const std::string& what) {
    std::ofstream(folder + "/" + what) << "1";
}
bool WaitForSignal(const std::string& folder, const std::string& what, int ms = 60000) {
    return QTest::qWaitFor([&] { return fs::exists(folder + "/" + what); }, ms);
}

// An amount as a window shows it ("1,234.56") in cents.
int64_t Cents(std::string shown) {
    std::erase(shown, ',');
    std::erase(shown, '.');
    return std::stoll(shown);
}
// Cents as a list shows them ("87.04").
std::string Shown(int64_t cents) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%02lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100));
    return text;
}

// Milliseconds on the system clock, which both desktop programs read.
int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The message boxes that open while act runs and until none came for a second, each answered
// Yes, else with its default button; what they said (and when, in when).
std::vector<std::string> MessagesAfter(const std::function<void()>& act,
                                       std::vector<int64_t>* when = nullptr) {
    std::vector<std::string> said;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        said.push_back(box->text().toStdString());
        if (when) when->push_back(NowMs());
        QAbstractButton* answer = box->button(QMessageBox::Yes);
        if (!answer) answer = box->defaultButton();
        if (!answer) answer = box->escapeButton();
        if (!answer && !box->buttons().isEmpty()) answer = box->buttons().first();
        if (answer) answer->click();
    });
    timer.start();
    act();
    // Until no box came for a second (a save may go on after its question was answered).
    for (size_t seen = said.size() + 1; seen != said.size();) {
        seen = said.size();
        QTest::qWait(1000);
    }
    return said;
}

// The second desktop program: this test program run again with only SecondDesktop's test,
// its output in a log file.
class SecondProgram {
  public:
    SecondProgram(const std::string& folder, const std::string& meeting, const std::string& log) {
        const std::string self = fs::read_symlink("/proc/self/exe").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            ::setenv(kSecondProgram, (folder + "\n" + meeting).c_str(), 1);
            ::execl(self.c_str(), self.c_str(), "--gtest_filter=SecondDesktop.*",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~SecondProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // Its exit status once it ended within ms (events of this program go on meanwhile);
    // -1 when it did not end.
    int wait(int ms) {
        int status = -1;
        const bool ended = QTest::qWaitFor(
            [&] { return pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) == pid_; }, ms);
        if (!ended || pid_ <= 0) return -1;
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
};

// The demo's books on a server; this program works in them from the first folder, the
// second desktop program from a second and the command line from a third.
class TogetherRoad : public OnServer<RoadTest> {
  protected:
    std::vector<std::string> joining() const override { return {second, third}; }
    std::string second = dir.file("second"), third = dir.file("third"),
                meeting = dir.file("meeting");
};

TEST_F(TogetherRoad, TwoDesktopsAndTheCommandLineWorkInTheSameBooks) {
    fs::create_directories(meeting);
    SecondProgram other(second, meeting, dir.file("second.log"));
    auto otherLog = [&] { return ReadFileBytes(dir.file("second.log")); };
    // Opened on the server's books, the main window says so in a panel it keeps whole.
    ExpectServerPanelWholeAtNarrowest(*form, "main-window-narrowest-opened-on-a-server");
    // Once the second program works in the books too, Books on a Server names both, and
    // the status bar counts them when the dialog closes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return app::ProgramsInBooks(folder).size() == 2; }, 15000))
        << otherLog();
    openFromMenu("Tools", "Books on a Server...", [&](QWidget* d) {
        const std::string where = Named<QLabel>(d, "WhereTheBooksAre")->text().toStdString();
        EXPECT_NE(where.find("2 programs are working in them"), std::string::npos) << where;
        Press(Qt::Key_Escape);
    });
    const std::string panel = Named<QLabel>(form.get(), "ServerPanel")->text().toStdString();
    EXPECT_NE(panel.find(": 2 people working"), std::string::npos) << panel;

    // The command line posts an invoice dated as a row this program's open invoice list
    // shows; the list shows it beside that row within about a second, the row still
    // highlighted.
    std::string number;  // of the command line's invoice
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        ASSERT_NE(list, nullptr);
        list->setFocus();
        Press(Qt::Key_End, Qt::ControlModifier);
        ClickRow(list, 8);
        auto* receivables = Named<QLabel>(manager, "ARBal");
        ASSERT_NE(receivables, nullptr);
        const int64_t before = Cents(receivables->text().toStdString());
        const std::string chosen = HighlightedRow(list);
        const int chosenRow = list->browser()->CurrentRow();
        ASSERT_EQ(chosenRow, 8);
        // The row's date, Year/Mo/Dy, as the command line takes it.
        const std::string ymd = chosen.substr(0, 10);
        const std::string date = ymd.substr(5, 2) + "/" + ymd.substr(8, 2) + "/" + ymd.substr(0, 4);
        const CommandResult posted =
            RunCli(third, "invoice new --customer 101 --line BC-500:2 --date " + date + " --memo " +
                              ShellQuote("Posted by the command line"));
        ASSERT_EQ(posted.status, 0) << posted.output;
        // Its last line is the new invoice's number.
        std::istringstream lines(posted.output);
        std::string line;
        while (std::getline(lines, line))
            if (!line.empty() && line.find(' ') == std::string::npos) number = line;
        ASSERT_FALSE(number.empty()) << posted.output;
        QElapsedTimer shown;
        shown.start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return RowHolding(list, number) != 0; }, 5000))
            << "invoice " << number << " does not show in the open list";
        EXPECT_LT(shown.elapsed(), 2000) << "the list took " << shown.elapsed() << " ms";
        std::printf("the open invoice list showed invoice %s after %lld ms\n", number.c_str(),
                    static_cast<long long>(shown.elapsed()));
        EXPECT_EQ(HighlightedRow(list), chosen) << "the highlighted row stays";
        EXPECT_EQ(list->browser()->CurrentRow(), chosenRow);
        EXPECT_GT(RowHolding(list, number), chosenRow);
        // The receivables total above the list has the new invoice in it.
        std::smatch total;
        ASSERT_TRUE(std::regex_search(posted.output, total, std::regex("total ([0-9,.]+)")))
            << posted.output;
        EXPECT_EQ(Cents(receivables->text().toStdString()), before + Cents(total[1].str()))
            << receivables->text().toStdString();
        KeepPicture(manager, "invoice-list-after-the-command-line-posted");

        // This program edits the new invoice while the command line pays part of it: the
        // edit is refused as changed meanwhile, the payment stays.
        ClickRow(list, RowHolding(list, number));
        std::vector<int64_t> saidAt;
        const std::vector<std::string> said = MessagesAfter(
            [&] {
                OnModal([&] { ClickButton(manager, "Edit"); },
                        [&](QWidget* editor) {
                            FillIn(Named<QLineEdit>(editor, "INVNOTES"), "Edited here");
                            const CommandResult paid =
                                RunCli(third, "payment 101 50.00 --invoice " + number);
                            ASSERT_EQ(paid.status, 0) << paid.output;
                            ClickButton(editor, "Ok");
                        });
            },
            &saidAt);
        EXPECT_EQ(said, (std::vector<std::string>{
                            "This invoice will cause this customer to be over their credit "
                            "limit.  Do you want to proceed anyway?",
                            "The record has changed in the meantime.", "Modify operation failed"}));
        // The list shows the payment: a partly paid invoice, 50.00 less due, which is no
        // longer to be edited.
        const std::string row = HighlightedRow(list);
        EXPECT_NE(row.find(" Z " + number + " "), std::string::npos) << row;
        EXPECT_NE(row.find(Shown(Cents(total[1].str()) - 5000)), std::string::npos) << row;
        OnMessage([&] { ClickButton(manager, "Edit"); }, "may not be edited");
        ClickButton(manager, "Close");
    });

    // Both desktops edit the same customer: the second saves first; this one is told the
    // customer changed meanwhile and overwrites nothing.
    openFromMain("Customers", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "CustList");
        ASSERT_NE(list, nullptr);
        GoToRow(list, "M", kCustomer);
        const int row = list->browser()->CurrentRow();
        OnModal([&] { ClickButton(manager, "Edit"); },
                [&](QWidget* editor) {
                    FillIn(FieldLabelled(editor, "Phone 1:"), kFirstsPhone);
                    Signal(meeting, "first-is-editing");
                    ASSERT_TRUE(WaitForSignal(meeting, "second-saved"))
                        << "the second program did not save:\n"
                        << otherLog();
                    // Told the customer changed meanwhile, and that the change was not
                    // saved; the editor stays with what was typed, to be given up.
                    std::vector<std::string> said;
                    auto note = [&](QWidget* w) {
                        auto* box = qobject_cast<QMessageBox*>(w);
                        ASSERT_NE(box, nullptr) << Describe(w);
                        said.push_back(box->text().toStdString());
                        ClickButton(box, "OK");
                    };
                    OnModals([&] { ClickButton(editor, "Ok"); }, {note, note}, 5000);
                    EXPECT_EQ(said,
                              (std::vector<std::string>{"The record has changed in the meantime.",
                                                        "Modify operation failed"}));
                    ASSERT_TRUE(editor->isVisible());
                    EXPECT_EQ(qobject_cast<QLineEdit*>(FieldLabelled(editor, "Phone 1:"))->text(),
                              kFirstsPhone);
                    ClickButton(editor, "Cancel");
                });
        // The list shows the second program's phone number on the same row, not this one's.
        EXPECT_TRUE(QTest::qWaitFor([&] { return RowHolding(list, kSecondsPhone) != 0; }, 3000));
        EXPECT_EQ(RowHolding(list, kFirstsPhone), 0);
        EXPECT_NE(HighlightedRow(list).find(kCustomer), std::string::npos);
        EXPECT_EQ(list->browser()->CurrentRow(), row);
        KeepPicture(manager, "customer-list-after-both-edited");
        ClickButton(manager, "Close");
    });
    // The second desktop saves a new invoice in its invoice editor while this program's
    // invoice list, in number order, stands on the command line's invoice: the new one
    // shows after it within about a second, the highlighted row kept.
    ASSERT_FALSE(number.empty());
    openFromMain("Invoices", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        ASSERT_NE(list, nullptr);
        auto* byNumber = manager->findChild<QAction*>("ByKey1");
        ASSERT_NE(byNumber, nullptr);
        byNumber->trigger();
        Click(FieldLabelled(manager, "Search:"));
        Type(QString::fromStdString(number));
        const std::string chosen = HighlightedRow(list);
        ASSERT_NE(chosen.find(" " + number + " "), std::string::npos) << chosen;
        Signal(meeting, "first-lists-invoices");
        // The moment the list changes, on the clock both programs read.
        const std::vector<std::string> before = RowsShown(list);
        std::optional<int64_t> changedAt;
        const bool told = QTest::qWaitFor(
            [&] {
                if (!changedAt && RowsShown(list) != before) changedAt = NowMs();
                return fs::exists(meeting + "/second-invoiced");
            },
            14000);  // within the watchdog's patience with the open manager
        ASSERT_TRUE(told) << "the second program did not save its invoice:\n" << otherLog();
        std::istringstream sent(ReadFileBytes(meeting + "/second-invoiced"));
        std::string theirs;
        int64_t savedAt = 0;
        sent >> theirs >> savedAt;
        ASSERT_FALSE(theirs.empty());
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return RowHolding(list, " " + theirs + " ") != 0; }, 5000))
            << "invoice " << theirs << " does not show in the open list";
        if (!changedAt) changedAt = NowMs();
        EXPECT_LT(*changedAt - savedAt, 2000) << "the list took " << *changedAt - savedAt << " ms";
        std::printf("the open invoice list showed invoice %s %lld ms after it was saved\n",
                    theirs.c_str(), static_cast<long long>(*changedAt - savedAt));
        EXPECT_EQ(HighlightedRow(list), chosen);
        EXPECT_GT(RowHolding(list, " " + theirs + " "), list->browser()->CurrentRow());
        KeepPicture(manager, "invoice-list-after-the-second-desktop-posted");
        ClickButton(manager, "Close");
    });
    EXPECT_EQ(other.wait(30000), 0) << otherLog();
    // Opened again, the customer holds the second program's number.
    openFromMain("Customers", [&](QWidget* manager) {
        GoToRow(Named<TIndexBrowser>(manager, "CustList"), "M", kCustomer);
        OnModal([&] { ClickButton(manager, "Edit"); },
                [&](QWidget* editor) {
                    EXPECT_EQ(qobject_cast<QLineEdit*>(FieldLabelled(editor, "Phone 1:"))->text(),
                              kSecondsPhone);
                    ClickButton(editor, "Cancel");
                });
        ClickButton(manager, "Close");
    });
}

// The second desktop program of TogetherRoad, run only by it (the folder and the meeting
// folder in INVARRO_E2E_SECOND_PROGRAM).
class SecondDesktop : public RoadTest {
  protected:
    void makeBooks() override {
        const char* given = std::getenv(kSecondProgram);
        if (!given) GTEST_SKIP() << "the second program of TogetherRoad's test";
        std::istringstream lines(given);
        std::getline(lines, folder);
        std::getline(lines, meeting);
        ASSERT_EQ(app::MountBooksOfFolder(folder), "");
    }
    void TearDown() override {
        RoadTest::TearDown();
        if (std::getenv(kSecondProgram)) app::UnmountBooks(folder);
    }
    std::string meeting;
};

TEST_F(SecondDesktop, ChangesTheCustomerTheFirstIsEditingAndSavesAnInvoice) {
    ASSERT_TRUE(WaitForSignal(meeting, "first-is-editing"));
    openFromMain("Customers", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "CustList");
        ASSERT_NE(list, nullptr);
        GoToRow(list, "M", kCustomer);
        OnModal([&] { ClickButton(manager, "Edit"); },
                [&](QWidget* editor) {
                    FillIn(FieldLabelled(editor, "Phone 1:"), kSecondsPhone);
                    NoWindow([&] { ClickButton(editor, "Ok"); });
                });
        EXPECT_NE(HighlightedRow(list).find(kSecondsPhone), std::string::npos)
            << HighlightedRow(list);
        Signal(meeting, "second-saved");
        ClickButton(manager, "Close");
    });
    // A new invoice for another customer, typed in the invoice editor, while the first
    // program's invoice list is open; its number is told the first program. This program
    // read the company's counter before the command line posted its invoice.
    ASSERT_TRUE(WaitForSignal(meeting, "first-lists-invoices"));
    openFromMain("Invoices", [&](QWidget* manager) {
        std::string proposed;
        std::vector<int64_t> saidAt;
        const std::vector<std::string> said = MessagesAfter(
            [&] {
                OnModal([&] { ClickButton(manager, "New"); },
                        [&](QWidget* editor) {
                            proposed = Named<QLineEdit>(editor, "INum")->text().toStdString();
                            OnModal([&] { ClickButton(editor, "Customer..."); },
                                    [&](QWidget* picker) {
                                        GoToRow(Named<TIndexBrowser>(picker, "CustList"), "C",
                                                "Copper Kettle Cafe");
                                        Press(Qt::Key_Return);
                                    });
                            // As a person types: the code, then its quantity, each confirmed.
                            NoWindow([&] {
                                ClickCell(Named<QTableWidget>(editor, "StringGrid1"), 0, 1);
                                Type("BC-500");
                                Press(Qt::Key_Return);
                            });
                            NoWindow([&] {
                                Type("3");
                                Press(Qt::Key_Return);
                            });
                            ClickButton(editor, "Ok");
                        });
            },
            &saidAt);
        // The number the editor proposed was taken by the command line meanwhile: the
        // invoice is saved under the next one, and it is said.
        ASSERT_EQ(said.size(), 1u);
        ASSERT_EQ(said[0].rfind("Saved as invoice ", 0), 0u) << said[0];
        const std::string number = said[0].substr(said[0].rfind(' ') + 1);
        EXPECT_NE(number, proposed);
        const std::string row = HighlightedRow(Named<TIndexBrowser>(manager, "InvBrowser1"));
        EXPECT_NE(row.find(" " + number + " "), std::string::npos) << row;
        // The number, and when the save was told (after its commit).
        std::ofstream(meeting + "/second-invoiced.part") << number << " " << saidAt[0];
        fs::rename(meeting + "/second-invoiced.part", meeting + "/second-invoiced");
        ClickButton(manager, "Close");
    });
}

}  // namespace
}  // namespace invarro::testing
