// The statement windows on the demo installation: the grid, the unpaid-only switch, the
// printed statement, the PDF read back, the e-mail button held back, the batch size
// dialog and the customer manager's statement commands.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/Fileblocks.h"
#include "data/Update.h"
#include "platform/Shell.h"
#include "platform/qt/RecordingShell.h"
#include "storage/BTree.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/QtApp.h"
#include "support/RecordingCanvas.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CStmnt.h"
#include "ui/CustForm.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::Customer;

class StatementWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        ASSERT_TRUE(app::CreateDemoInstallation(dir.path(), prompter).ok);
        storage::Fileblock* companies =
            storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Company), false);
        data::CompanyRecord probe;
        probe.setText(Company::CompanyNo, "1");
        company = data::FindAtOrAfter<Company>(companies, 1, probe)->record;
        storage::CloseFileblock(companies);
        customers = storage::OpenFileblock(
            data::FileblockName(dir.path(), data::FileKind::Customer, "1"), false);
        invoices = storage::OpenFileblock(
            data::FileblockName(dir.path(), data::FileKind::Invoice, "1"), false);
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        ctx.labelQueue = &queue;
        ctx.shell = &shell;
        ctx.printerCanvas = [this] {
            ++printerRequests;
            return std::unique_ptr<output::Canvas>(std::make_unique<testing::RecordingCanvas>());
        };
        TCustStmnt::SetUnpaidOnly(false);
        // The customer with the most rows.
        std::string key;
        int32_t rec = storage::FindKeyAtOrAfter(customers, 1, key);
        size_t most = 0;
        while (storage::EngineOk) {
            auto c = data::ReadBusinessRecord<Customer>(customers, rec);
            const std::string no = data::TrimmedText(c->text(Customer::CustNo));
            const auto s = output::BuildStatement(files(), no, false, company);
            if (s.rows.size() > most) {
                most = s.rows.size();
                custNo = no;
            }
            storage::NextKey(customers, 1, key, rec);
        }
    }
    void TearDown() override {
        storage::CloseFileblock(customers);
        storage::CloseFileblock(invoices);
        storage::ExitEngine();
    }
    output::StatementFiles files() const { return {customers, invoices}; }

    testing::TempDir dir;
    testing::ScriptedPrompter prompter;
    data::CompanyRecord company;
    output::LabelQueue queue;
    testing::RecordingShell shell;
    CustomerWindowContext ctx;
    storage::Fileblock* customers = nullptr;
    storage::Fileblock* invoices = nullptr;
    int printerRequests = 0;
    std::string custNo;
};

TEST_F(StatementWindowTest, GridUnpaidSwitchPrintAndPdf) {
    ASSERT_FALSE(custNo.empty());
    TCustStmnt w(ctx, files(), custNo);
    EXPECT_EQ(w.windowTitle(), "Customer Statement");
    const size_t all = w.statement().rows.size();
    EXPECT_EQ(w.grid()->rowCount(), int(all) + 2);
    EXPECT_EQ(w.grid()->item(w.grid()->rowCount() - 1, 2)->text(), "*** Account Totals:");
    EXPECT_EQ(w.statusText().toStdString(),
              "There are " + std::to_string(all) + " records selected.");

    auto* unpaid = w.findChild<QCheckBox*>("UnpaidCB");
    unpaid->setChecked(true);
    EXPECT_TRUE(TCustStmnt::UnpaidOnly());
    EXPECT_LT(w.statement().rows.size(), all);
    for (const auto& r : w.statement().rows)
        EXPECT_FALSE(r.balance.isZero());
    unpaid->setChecked(false);

    auto* print = w.findChild<QPushButton*>("PrintBtn");
    ASSERT_TRUE(print->isEnabled());
    QTest::mouseClick(print, Qt::LeftButton);
    EXPECT_EQ(printerRequests, 1);
    EXPECT_EQ(w.statusText().toStdString(),
              "Statement for " + w.statement().name + " sent to print queue.");

    QTest::mouseClick(w.findChild<QPushButton*>("PdfBtn"), Qt::LeftButton);
    const std::string pdf = dir.path() + "/pdf/Customer-" + custNo + "Statement.pdf";
    ASSERT_TRUE(std::filesystem::exists(pdf));
    EXPECT_EQ(shell.opened, std::vector<std::string>{pdf});
    const std::string text =
        testing::RunCommand("pdftotext -layout " + testing::ShellQuote(pdf) + " -").output;
    EXPECT_NE(text.find("Account Number: " + custNo), std::string::npos) << text;
    EXPECT_NE(text.find("*** Account Totals:"), std::string::npos);
    if (const char* keep = std::getenv("INVARRO_KEEP_STATEMENT"))
        std::filesystem::copy_file(pdf, keep, std::filesystem::copy_options::overwrite_existing);
}

TEST_F(StatementWindowTest, EmailModeHoldsTheSendingBackAndNoActivityIsRefused) {
    ctx.emailMode = true;
    TCustStmnt w(ctx, files(), custNo);
    EXPECT_EQ(w.windowTitle(), "Customer Statement - (E-Mail Mode)");
    auto* print = w.findChild<QPushButton*>("PrintBtn");
    EXPECT_EQ(print->text(), "&E-Mail");
    EXPECT_FALSE(print->isEnabled());
    EXPECT_TRUE(w.findChild<QPushButton*>("PdfBtn")->isEnabled());

    prompter.expect("There is no activity for this customer.");
    TCustStmnt::View(ctx, files(), "NO-SUCH", nullptr);
    EXPECT_EQ(prompter.seen().back().title, "Customer: ");
}

TEST_F(StatementWindowTest, BatchSizeDialogRefusesEmptyAndClamps) {
    TStmntBatch b(ctx, 7);
    auto* n = b.findChild<QLineEdit*>("EMBNum");
    EXPECT_EQ(n->text(), "7");
    // "&b" is the field's access key, shown underlined rather than as an ampersand.
    bool labelled = false;
    for (auto* label : b.findChildren<QLabel*>())
        if (label->text() == "Print in &batches of:") labelled = label->buddy() == n;
    EXPECT_TRUE(labelled);
    n->clear();
    prompter.expect("You must enter the number of statements to print in this batch.");
    b.accept();
    EXPECT_NE(b.result(), QDialog::Accepted);
    n->setText("0");
    b.accept();
    EXPECT_EQ(b.batchSize(), 1);
}

TEST_F(StatementWindowTest, CustomerManagerCommandsFollowTheOutputMode) {
    storage::CloseFileblock(customers);
    storage::CloseFileblock(invoices);
    customers = invoices = nullptr;
    {
        TCustForm form(ctx, TCustForm::Mode::Manage);
        ASSERT_TRUE(form.openFiles());
        EXPECT_TRUE(form.findChild<QToolButton*>("ViewStmtBtn")->isEnabled());
        EXPECT_TRUE(form.findChild<QToolButton*>("BatchStmtBtn")->isEnabled());
    }
    ctx.emailMode = true;
    TCustForm form(ctx, TCustForm::Mode::Manage);
    ASSERT_TRUE(form.openFiles());
    EXPECT_TRUE(form.findChild<QToolButton*>("ViewStmtBtn")->isEnabled());
    EXPECT_FALSE(form.findChild<QToolButton*>("BatchStmtBtn")->isEnabled());
    customers = storage::OpenFileblock(
        data::FileblockName(dir.path(), data::FileKind::Customer, "1"), false);
    invoices = storage::OpenFileblock(data::FileblockName(dir.path(), data::FileKind::Invoice, "1"),
                                      false);
}

}  // namespace
}  // namespace invarro::ui
