#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/qt/QtShell.h"
#include "support/QtApp.h"
#include "support/TempDir.h"

namespace invarro::platform::qt {
namespace {

using testing::TempDir;

// Receives the addresses the desktop would have opened.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void open(const QUrl& url) { urls << url; }
};

class QtShellTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        const char* path = std::getenv("PATH");
        savedPath = path ? path : "";
        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::setUrlHandler(scheme, &catcher, "open");
    }
    void TearDown() override {
        ::setenv("PATH", savedPath.c_str(), 1);
        for (const char* scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    // An executable script on a private search path.
    void addProgram(const std::string& name, const std::string& body = "exit 0") {
        const std::string file = dir.file(name);
        testing::WriteFileBytes(file, "#!/bin/sh\n" + body + "\n");
        ::chmod(file.c_str(), 0755);
    }

    TempDir dir;
    UrlCatcher catcher;
    std::string savedPath;
    QtShell shell;
};

TEST_F(QtShellTest, TheFirstCalculatorOnThePathInOrderOfPreferenceIsChosen) {
    addProgram("xcalc");
    addProgram("kcalc");
    ::setenv("PATH", dir.path().c_str(), 1);
    EXPECT_EQ(QtShell::FindCalculator().toStdString(), dir.file("kcalc"));
    addProgram("gnome-calculator");
    EXPECT_EQ(QtShell::FindCalculator().toStdString(), dir.file("gnome-calculator"));
}

TEST_F(QtShellTest, StartsTheCalculatorOrSaysThereIsNone) {
    ::setenv("PATH", dir.path().c_str(), 1);
    EXPECT_TRUE(QtShell::FindCalculator().isEmpty());
    EXPECT_FALSE(shell.startCalculator());

    const std::string marker = dir.file("started");
    addProgram("galculator", "echo started > '" + marker + "'");
    ASSERT_TRUE(shell.startCalculator());
    for (int i = 0; i < 100 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST_F(QtShellTest, OpensExistingFilesOnly) {
    testing::WriteFileBytes(dir.file("Invoice-1.pdf"), "%PDF");
    EXPECT_TRUE(shell.openFile(dir.file("Invoice-1.pdf")));
    EXPECT_FALSE(shell.openFile(dir.file("missing.pdf")));
    EXPECT_FALSE(shell.openFile(dir.path()));  // a folder is no file
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0],
              QUrl::fromLocalFile(QString::fromStdString(dir.file("Invoice-1.pdf"))));
}

TEST_F(QtShellTest, OpensWebAndMailAddressesButNoOtherSchemes) {
    EXPECT_TRUE(shell.openUrl("www.example.com"));
    EXPECT_TRUE(shell.openUrl("  https://example.com/help?x=1  "));
    EXPECT_TRUE(shell.openUrl("mailto:billing@example.com"));
    EXPECT_FALSE(shell.openUrl(""));
    EXPECT_FALSE(shell.openUrl("   "));
    EXPECT_FALSE(shell.openUrl("javascript:alert(1)"));
    EXPECT_FALSE(shell.openUrl("smb://server/share"));
    EXPECT_FALSE(shell.openUrl("file:///etc/passwd"));  // local files go through openFile
    ASSERT_EQ(catcher.urls.size(), 3);
    EXPECT_EQ(catcher.urls[0].scheme(), "http");
    EXPECT_EQ(catcher.urls[0].host(), "www.example.com");
    EXPECT_EQ(catcher.urls[1].toString(), "https://example.com/help?x=1");
    EXPECT_EQ(catcher.urls[2].scheme(), "mailto");
}

}  // namespace
}  // namespace invarro::platform::qt

#include "QtShellTest.moc"
