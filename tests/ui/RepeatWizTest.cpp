#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/Ansi.h"
#include "data/Company.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "storage/Engine.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/InterestWiz.h"
#include "ui/ListViewer.h"
#include "ui/RepeatForm.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::Invoice;
using testing::ScriptedPrompter;

// Saves a picture of the window when INVARRO_SCREENSHOTS names a folder.
void Shoot(QWidget* w, const char* name, bool fit = true) {
    const char* folder = std::getenv("INVARRO_SCREENSHOTS");
    if (!folder || !*folder) return;
    if (fit) w->adjustSize();
    w->grab().save(QString(folder) + "/" + name + ".png");
}

// The demo installation: its masters, generated invoices and past interest run.
class RepeatWizTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        folder = dir.file("data");
        storage::InitEngine(30);
        ScriptedPrompter quiet;
        app::InstallResult r = app::CreateDemoInstallation(folder, quiet);
        ASSERT_TRUE(r.ok) << r.message;
        auto last = data::ReadLastCompany(folder);
        ASSERT_TRUE(last);
        session.folder = folder;
        session.company = *last;
        session.dateOrder = data::DateOrder::MonthFirst;
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }
    CustomerWindowContext context() {
        CustomerWindowContext c;
        testing::SetUpWindowContext(c, folder, session.company, prompter);
        return c;
    }

    testing::TempDir dir;
    std::string folder;
    app::Session session;
    ScriptedPrompter prompter;
};

TEST_F(RepeatWizTest, TheWizardFindsTheDueDemoMastersAndGeneratesTheirInvoices) {
    invoicing::ShortOpen invoices(folder, data::FileKind::Invoice, "1", prompter);
    invoicing::ShortOpen lines(folder, data::FileKind::InvoiceLine, "1", prompter);
    invoicing::ShortOpen memos(folder, data::FileKind::Memo, "1", prompter);
    invoicing::ShortOpen customers(folder, data::FileKind::Customer, "1", prompter);
    platform::SystemClock clock;
    invoicing::SaveFiles files{folder,       session.company,    invoices.fb, lines.fb, memos.fb,
                               customers.fb, data::Today(clock), nullptr,     nullptr};
    TSelectRepeat wizard(context(), files);
    EXPECT_TRUE(wizard.Label3->text().startsWith("Last generated invoices were dated: "));
    EXPECT_GT(wizard.Label3->text().size(), 40);
    EXPECT_FALSE(wizard.CreateBtn->isEnabled());
    EXPECT_EQ(wizard.InvComm->text(), "Monthly Service");

    // A limit before every next date finds nothing and keeps "Create In&voices" disabled.
    wizard.EndDate->setText("01/01/2020");
    prompter.expect(std::string(invoicing::kNoneDue));
    wizard.SearchBtn->click();
    EXPECT_TRUE(prompter.done());
    EXPECT_FALSE(wizard.CreateBtn->isEnabled());
    EXPECT_EQ(wizard.NewInvDate->text(), "01/01/2020");

    wizard.EndDate->setText(QString::fromStdString(
        data::FormatUserDate(data::Today(clock), data::DateOrder::MonthFirst)));
    wizard.SearchBtn->click();
    ASSERT_FALSE(wizard.due().empty());
    EXPECT_TRUE(wizard.CreateBtn->isEnabled());
    EXPECT_TRUE(wizard.RichEdit1->toPlainText().startsWith("Master#"));
    EXPECT_TRUE(wizard.Label3->text().startsWith(
        QString("There are %1 invoices selected totaling ").arg(wizard.due().size())));
    Shoot(&wizard, "repeat-wizard");

    // The closing box carries the run's own message; the wizard closes.
    const std::size_t count = wizard.due().size();
    struct Accepting : platform::Prompter {
        std::vector<std::string> seen;
        platform::Answer ask(const platform::Message& m) override {
            seen.push_back(m.text);
            return m.defaultButton;
        }
    } accepting;
    CustomerWindowContext c = context();
    c.prompter = &accepting;
    TSelectRepeat run(c, files);
    run.SearchBtn->click();
    run.CreateBtn->click();
    ASSERT_EQ(accepting.seen.size(), 1u);
    EXPECT_EQ(accepting.seen[0], run.outcome().message);
    EXPECT_EQ(run.outcome().written.size(), count);
    EXPECT_EQ(run.Label3->text(), "Complete.");
    EXPECT_EQ(run.ProgressBar1->value(), run.ProgressBar1->maximum());
    EXPECT_EQ(run.result(), QDialog::Accepted);
}

TEST_F(RepeatWizTest, TheSetupDialogChecksItsFieldsAndShowsAMastersCount) {
    data::InvoiceRecord invoice = data::NewRecord<Invoice>();
    invoice.setText(Invoice::InvNo, "1201");
    invoice.setText(Invoice::TransType, "I");
    invoice.setText(Invoice::SortDate, "2024/03/15");
    invoice.setText(Invoice::ShortName, "ACME");
    invoice.setText(Invoice::CustNo, "100");
    TRepeatForm form(invoicing::SetupEntryFor(invoice, data::DateOrder::MonthFirst),
                     data::DateOrder::MonthFirst, prompter, {});
    EXPECT_EQ(form.windowTitle(), "Repeat Invoice Setup");
    EXPECT_TRUE(form.CheckBox1->isEnabled());
    EXPECT_FALSE(form.CheckBox1->isChecked());
    EXPECT_FALSE(form.OKButton->isEnabled());
    EXPECT_FALSE(form.NumDays->isEnabled());
    EXPECT_EQ(form.EndDate->text(), "03/15/2024");
    EXPECT_TRUE(form.RBMonths->isChecked());
    form.CheckBox1->setChecked(true);
    EXPECT_TRUE(form.NumDays->isEnabled());
    form.NumDays->setText("");
    prompter.expect(std::string(invoicing::kNeedInterval));
    form.OKButton->click();
    EXPECT_TRUE(prompter.done());
    EXPECT_NE(form.result(), QDialog::Accepted);
    form.NumDays->setText("14");
    form.RBDays->setChecked(true);
    form.EndDate->setText("02/30/2024");
    prompter.expect(std::string(invoicing::kInvalidStartDate));
    form.OKButton->click();
    EXPECT_TRUE(prompter.done());
    form.EndDate->setText("04/01/2024");
    Shoot(&form, "repeat-setup");
    form.OKButton->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.entry().every, "14");
    EXPECT_EQ(form.entry().unit, invoicing::RepeatUnit::Days);

    invoice.setText(Invoice::TransType, "R");
    invoice.setText(Invoice::RepeatCreated, "4");
    invoice.setText(Invoice::RepeatUnit, "D");
    invoice.setText(Invoice::RepeatEvery, "14");
    invoice.setText(Invoice::NextDue, "05/06/2024");
    TRepeatForm master(invoicing::SetupEntryFor(invoice, data::DateOrder::DayFirst),
                       data::DateOrder::DayFirst, prompter, {});
    EXPECT_FALSE(master.CheckBox1->isEnabled());
    EXPECT_TRUE(master.CheckBox1->isChecked());
    EXPECT_TRUE(master.RBDays->isChecked());
    EXPECT_EQ(master.EndDate->text(), "06/05/2024");
    EXPECT_TRUE(master.Label8->isVisibleTo(&master));
    EXPECT_EQ(master.Label8->text(), "Invoices Generated to Date: 4");
}

TEST_F(RepeatWizTest, TheInterestWizardRefusesRatesAndAmountsOutOfBoundsBeforeAging) {
    TInterestWiz wizard(session, context(), app::RunHooks{});
    wizard.show();
    const std::string customers = testing::ReadFileBytes(folder + "/1C.DAT");
    const std::string lastCo = testing::ReadFileBytes(folder + "/LastCo.Dat");
    // As typed: the field holds five characters.
    auto type = [](QLineEdit* field, const char* text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    };
    for (const char* rate : {"-5", "1,2,3", "0", "250", "1.2.3"}) {
        type(wizard.IPct, rate);
        prompter.expect(std::string(invoicing::kBadPercent));
        QTest::mouseClick(wizard.Button1, Qt::LeftButton);
        EXPECT_TRUE(prompter.done()) << rate;
        EXPECT_EQ(wizard.Label3->text(), "No records found.") << rate;
        EXPECT_EQ(wizard.focusWidget(), wizard.IPct) << rate;
        EXPECT_FALSE(wizard.GenInv->isEnabled()) << rate;
    }
    type(wizard.IPct, "1.5");
    type(wizard.MinChg, "-1");
    prompter.expect(std::string(invoicing::kBadMinimum));
    QTest::mouseClick(wizard.Button1, Qt::LeftButton);
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(wizard.focusWidget(), wizard.MinChg);
    Shoot(&wizard, "interest-wizard-bad-minimum");
    // Nothing was aged or written.
    EXPECT_EQ(testing::ReadFileBytes(folder + "/1C.DAT"), customers);
    EXPECT_EQ(testing::ReadFileBytes(folder + "/LastCo.Dat"), lastCo);

    // Mended, the scan goes ahead.
    type(wizard.MinChg, "1.00");
    QTest::mouseClick(wizard.Button1, Qt::LeftButton);
    EXPECT_TRUE(wizard.GenInv->isEnabled());
}

TEST_F(RepeatWizTest, TheInterestWizardScansGeneratesAndReports) {
    TInterestWiz wizard(session, context(), app::RunHooks{});
    EXPECT_EQ(wizard.days30->text(), "Over 30 Days");
    EXPECT_EQ(wizard.days90->text(), "Over 90 Days");
    EXPECT_TRUE(wizard.days30->isChecked());  // the demo run chose the first limit
    EXPECT_TRUE(wizard.LastRun->text().startsWith("Last Interest Invoices: "));
    EXPECT_GT(wizard.LastRun->text().size(), 30);
    EXPECT_EQ(wizard.Label3->text(), "Enter above options then select scan button...");
    EXPECT_FALSE(wizard.GenInv->isEnabled());

    // A flat fee switches the percentage off; a zero fee stops the scan.
    wizard.FlatCB->setChecked(true);
    EXPECT_FALSE(wizard.IPct->isEnabled());
    EXPECT_FALSE(wizard.MinChg->isEnabled());
    prompter.expect(std::string(invoicing::kNoFlatRate));
    wizard.Button1->click();
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(wizard.Label3->text(), "No records found.");
    wizard.FlatCB->setChecked(false);

    wizard.Button1->click();
    ASSERT_GT(wizard.CustGrid->rowCount(), 1);
    const int rows = wizard.CustGrid->rowCount() - 1;
    EXPECT_EQ(wizard.CustGrid->item(rows, 0)->text(), "Totals:");
    EXPECT_EQ(wizard.Label3->text(),
              QString("%1 found. Complete data below then select generate button...").arg(rows));
    EXPECT_TRUE(wizard.GenInv->isEnabled());
    EXPECT_FALSE(wizard.Button1->isEnabled());
    // The demo's settings come back: 1.5 % of what is overdue.
    EXPECT_EQ(wizard.IPct->text(), "1.50");
    const auto overdue = data::ParseMoney(wizard.CustGrid->item(0, 2)->text().toStdString());
    ASSERT_TRUE(overdue);
    EXPECT_EQ(wizard.CustGrid->item(0, 3)->text().toStdString(),
              data::PercentOf(*overdue, *data::ParseDecimal("1.5")).shownText());
    Shoot(&wizard, "interest-wizard");

    const std::string next = data::TrimmedText(session.company.text(Company::NextInvNo));
    wizard.GenInv->click();
    EXPECT_TRUE(prompter.done());
    EXPECT_EQ(wizard.created(), rows);
    EXPECT_EQ(wizard.CustGrid->columnCount(), 5);
    EXPECT_EQ(wizard.CustGrid->item(0, 4)->text().toStdString(), next + "I");
    EXPECT_EQ(wizard.result(), QDialog::Accepted);

    std::vector<std::string> report = wizard.reportLines();
    ASSERT_GT(report.size(), std::size_t(rows));
    EXPECT_EQ(report[0].rfind("Interest Charges Report", 0), 0u);
    TListViewer viewer(prompter, "Interest Charges Report", folder, QFont("Liberation Mono", 9),
                       Qt::black, "Interest.RTF");
    viewer.setLines(report);
    viewer.resize(760, 420);
    Shoot(&viewer, "interest-report", false);
}

}  // namespace
}  // namespace invarro::ui
