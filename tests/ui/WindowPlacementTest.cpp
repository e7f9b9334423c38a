// Where the manager windows open on the demo installation: the first time sized to show
// their columns and their records (as far as the screen allows) and centred on the main
// window; later where the user left them.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "storage/Engine.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CompanyManager.h"
#include "ui/CustForm.h"
#include "ui/IndexBrowserControl.h"
#include "ui/InvList.h"
#include "ui/ProdForm.h"
#include "ui/WindowSupport.h"

namespace invarro::ui {
namespace {

class WindowPlacementTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        ASSERT_TRUE(app::CreateDemoInstallation(dir.path(), prompter).ok);
        company = *data::ReadLastCompany(dir.path());
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        ctx.labelQueue = &queue;
        ctx.selectedCustomer = &selected;
        services.folder = dir.path();
        services.prompter = &prompter;
        services.progress = &progress;
        area = QGuiApplication::primaryScreen()->availableGeometry();
        main = std::make_unique<QMainWindow>();
        main->setGeometry(area.left() + 40, area.top() + 30, area.width() * 3 / 4,
                          area.height() * 3 / 4);
        main->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    }
    void TearDown() override {
        main.reset();
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    // Shows the window over the main window, as the main window opens it.
    void show(QDialog* window) {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    // The first placement: inside the screen's work area; the list's header line and its
    // records shown as far as the area allows; centred on the main window.
    void expectFirstPlacement(QDialog* w, TIndexBrowser* list, int records) {
        const QRect frame = w->frameGeometry();
        // Inside the work area, unless the window's own smallest size does not fit it.
        const int decoration = frame.width() - w->width();
        EXPECT_TRUE(area.contains(frame) ||
                    w->minimumSizeHint().width() + decoration > area.width())
            << w->objectName().toStdString() << " " << frame.x() << "," << frame.y() << " "
            << frame.width() << "x" << frame.height() << " in " << area.width() << "x"
            << area.height() << " min " << w->minimumSizeHint().width();
        // The room the window has: the work area less its title bar and frame.
        const QRect room = ClientArea(w);
        if (w->width() < room.width()) {
            EXPECT_GE(list->viewport()->width(), list->ContentWidth())
                << w->objectName().toStdString() << ": columns cut";
        }
        if (w->height() < room.height()) {
            EXPECT_GE(list->RowsInView(), records) << w->objectName().toStdString();
        } else {
            EXPECT_GE(list->RowsInView(), 10) << w->objectName().toStdString();
        }
        // Centred on the main window, where that keeps it on the screen.
        QRect centred = frame;
        centred.moveCenter(main->frameGeometry().center());
        if (area.contains(centred)) {
            const QPoint off = frame.center() - main->frameGeometry().center();
            EXPECT_LE(std::abs(off.x()), 2) << w->objectName().toStdString();
            EXPECT_LE(std::abs(off.y()), 2) << w->objectName().toStdString();
        }
    }
    int count(data::FileKind kind) {
        storage::Fileblock* fb = storage::OpenFileblock(
            data::FileblockName(dir.path(), kind,
                                data::CompanyPrefix(company.ansi(data::Company::CompanyNo))),
            true);
        if (!fb) return 0;
        const int n = storage::UsedRecordCount(fb);
        storage::CloseFileblock(fb);
        return n;
    }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    platform::SilentProgress progress;
    data::CompanyRecord company;
    output::LabelQueue queue;
    data::CustomerRecord selected;
    InvoiceWindowContext ctx;
    WindowServices services;
    QRect area;
    std::unique_ptr<QMainWindow> main;
};

TEST_F(WindowPlacementTest, TheManagersOpenTheFirstTimeShowingTheirColumnsOverTheMainWindow) {
    const int customers = count(data::FileKind::Customer);
    const int products = count(data::FileKind::Product);
    const int invoices = count(data::FileKind::Invoice);
    ASSERT_GT(customers, 20);
    {
        TCustForm w(ctx, TCustForm::Mode::Manage, main.get());
        ASSERT_TRUE(w.openFiles());
        show(&w);
        expectFirstPlacement(&w, w.findChild<TIndexBrowser*>("CustList"), customers);
    }
    {
        TEditProd w(ctx, TEditProd::Mode::Manage, main.get());
        ASSERT_TRUE(w.openFiles());
        show(&w);
        expectFirstPlacement(&w, w.findChild<TIndexBrowser*>("ProdBrowser"), products);
    }
    {
        Tinvlist w(ctx, main.get());
        ASSERT_TRUE(w.openFiles());
        show(&w);
        expectFirstPlacement(&w, w.list(), invoices);
    }
    {
        TCompanyManager w(company, services, main.get());
        ASSERT_TRUE(w.opened());
        show(&w);
        expectFirstPlacement(&w, w.browser(), 1);
    }
}

TEST_F(WindowPlacementTest, StoredBoundsStandAsTheyAre) {
    // Bounds the user left, inside the screen and above the window's smallest size.
    QSize smallest;
    {
        TCompanyManager probe(company, services, main.get());
        smallest = probe.minimumSizeHint().expandedTo(QSize(300, 200));
    }
    const QSize stored = smallest + QSize(10, 10);
    ASSERT_LE(stored.width() + 20, area.width());
    data::IniFile ini(data::IniFilePath(dir.path()));
    ASSERT_TRUE(data::WriteWindowBounds(
        ini, "CoForm",
        data::WindowBounds{area.left() + 20, area.top() + 25, stored.width(), stored.height()}));
    {
        TCompanyManager w(company, services, main.get());
        ASSERT_TRUE(w.opened());
        show(&w);
        EXPECT_EQ(w.size(), stored);
        EXPECT_EQ(w.pos(), QPoint(area.left() + 20, area.top() + 25));
        // Closing keeps where the user moved it, and the next opening takes that.
        w.move(area.left() + 15, area.top() + 15);
        w.resize(stored + QSize(4, 4));
        w.reject();
    }
    TCompanyManager again(company, services, main.get());
    show(&again);
    EXPECT_EQ(again.size(), stored + QSize(4, 4));
}

}  // namespace
}  // namespace invarro::ui
