// The program as a person meets it: a demo installation made by the program's own demo
// routine in a scratch folder, the main window opened on it with real message boxes, and
// what a person reads off the windows (the rows of a list, the cells of a grid).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QScreen>
#include <QTableWidget>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Demo.h"
#include "e2e/Seat.h"
#include "platform/qt/QtPrompter.h"
#include "platform/qt/RecordingShell.h"
#include "storage/Engine.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/IndexBrowserControl.h"
#include "ui/MainForm.h"

namespace invarro::testing {

// The rows a manager's list shows, top to bottom.
inline std::vector<std::string> RowsShown(ui::TIndexBrowser* list) {
    std::vector<std::string> rows;
    if (!list || !list->browser()) return rows;
    for (int r = 1; r <= list->browser()->FilledRows(); ++r)
        rows.push_back(list->browser()->Row(r).text);
    return rows;
}
// The highlighted row's text.
inline std::string HighlightedRow(ui::TIndexBrowser* list) {
    if (!list || !list->browser() || list->browser()->CurrentRow() < 1) return {};
    return list->browser()->Row(list->browser()->CurrentRow()).text;
}
// The screen row (1..) whose text holds needle, 0 when none does.
inline int RowHolding(ui::TIndexBrowser* list, const std::string& needle) {
    const std::vector<std::string> rows = RowsShown(list);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].find(needle) != std::string::npos) return int(i) + 1;
    return 0;
}
// A click on a screen row of a list; the right button also asks for the context menu, as
// the desktop does on a right-click.
inline void ClickRow(ui::TIndexBrowser* list, int row, Qt::MouseButton button = Qt::LeftButton) {
    ASSERT_NE(list, nullptr);
    ASSERT_GT(row, 0);
    const QPoint at = list->RowRect(row).center();
    if (button != Qt::RightButton) {
        Click(list->viewport(), button, at);
        return;
    }
    QTest::mousePress(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &menu);
    QTest::mouseRelease(list->viewport(), Qt::RightButton, Qt::NoModifier, at);
}

// Finds a row in a list as a person does: the first letter typed jumps near it, then the
// down arrow goes on until the highlighted row holds the text (at most a page further).
inline void GoToRow(ui::TIndexBrowser* list, const std::string& letter, const std::string& holds) {
    ASSERT_NE(list, nullptr);
    Type(QString::fromStdString(letter));
    for (int i = 0; i < 40 && HighlightedRow(list).find(holds) == std::string::npos; ++i)
        Press(Qt::Key_Down);
    ASSERT_NE(HighlightedRow(list).find(holds), std::string::npos)
        << "no row with " << holds << "; at " << HighlightedRow(list);
}

// A click on a cell of a grid.
inline void ClickCell(QTableWidget* grid, int row, int column) {
    ASSERT_NE(grid, nullptr);
    QTableWidgetItem* item = grid->item(row, column);
    ASSERT_NE(item, nullptr);
    grid->scrollToItem(item);
    Click(grid->viewport(), Qt::LeftButton, grid->visualItemRect(item).center());
}
inline QString CellText(QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid ? grid->item(row, column) : nullptr;
    return item ? item->text() : QString();
}

// With INVARRO_E2E_KEEP naming a folder, a picture of the window is kept there for a person
// to look at.
inline void KeepPicture(QWidget* window, const char* name) {
    const char* keep = std::getenv("INVARRO_E2E_KEEP");
    if (keep && *keep) window->grab().save(QString("%1/%2.png").arg(keep, name));
}

class RoadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { QtApp(); }
    void SetUp() override {
        folder = dir.file("data");
        makeBooks();
        if (HasFatalFailure() || IsSkipped()) return;
        ui::MainFormServices s;
        s.prompter = &prompter;
        s.shell = &shell;
        s.booksServer = booksServer(folder);
        form = std::make_unique<ui::TMainForm>(folder, s);
        ASSERT_TRUE(form->created());
        prompter.setParent(form.get());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(form->startUp());
    }
    void TearDown() override {
        if (form) {
            form->session().labelsWaiting = false;
            form->close();
        }
        form.reset();
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    // The books the main window opens: a demo installation made in the folder.
    virtual void makeBooks() {
        storage::InitEngine(30);
        ScriptedPrompter quiet;
        const app::InstallResult made = app::CreateDemoInstallation(folder, quiet);
        storage::ExitEngine();
        ASSERT_TRUE(made.ok) << made.message;
    }

    // The program's side of "Books on a Server" for a road that uses it (none by default).
    virtual ui::BooksServerPort* booksServer(const std::string&) { return nullptr; }

    // Opens a window from one of the main window's buttons; handle works in it.
    void openFromMain(const QString& button, const std::function<void(QWidget*)>& handle) {
        OnModal([&] { ClickButton(form.get(), button); },
                [&](QWidget* w) {
                    // A person gives a manager the room to show its columns and buttons.
                    if (w->width() < 1000) w->resize(1200, 760);
                    handle(w);
                });
    }

    // Opens a window from an entry of the main window's menus; handle works in it.
    void openFromMenu(const QString& menu, const QString& entry,
                      const std::function<void(QWidget*)>& handle) {
        OnModal([&] { FromMenu(form.get(), menu, entry); }, handle);
    }

    TempDir dir;
    std::string folder;
    platform::qt::QtPrompter prompter;
    RecordingShell shell;  // notes the files the program opens, as a viewer would show them
    Watchdog watchdog;
    std::unique_ptr<ui::TMainForm> form;
};

}  // namespace invarro::testing
