// The report windows on the demo installation: every report to a real PDF read back with
// pdftotext and to a text file; the wizard's checks, the report window's sorting and
// sub-totals, and the top-ten chart.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "data/SideFiles.h"
#include "output/Rptselct.h"
#include "output/TextFile.h"
#include "platform/Clock.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/RptSelect.h"

namespace invarro::ui {
namespace {

using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class ReportWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::QtApp();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        ASSERT_TRUE(app::CreateDemoInstallation(dir.path(), prompter).ok);
        company = *data::ReadLastCompany(dir.path());
        testing::SetUpWindowContext(context, dir.path(), company, prompter, &clock);
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
    }

    TempDir dir;
    ScriptedPrompter prompter;
    data::CompanyRecord company;
    platform::FixedClock clock{{2026, 12, 8, 9, 0, 0}};
    CustomerWindowContext context;
};

TEST_F(ReportWindowTest, EveryReportOfTheDemoGoesToPdfAndText) {
    const char* shots = std::getenv("INVARRO_SHOTS");
    for (const output::ReportInfo& info : output::Reports()) {
        output::ReportChoice choice;
        choice.report = info.id;
        choice.from = "01/01/2000";
        choice.to = "12/31/2030";
        output::ReportFolder where{dir.path(), &company, &clock};
        output::ReportRun run = output::RunReportInFolder(choice, where, prompter);
        // The demo shows a case of every report.
        ASSERT_EQ(run.status, output::ReportRunStatus::Ready)
            << info.name << ": " << run.message.text;
        const int records = run.view->dataRowCount();
        Trtreport window(std::move(*run.view), context, nullptr);
        auto pdf = window.writePdf();
        ASSERT_TRUE(pdf) << info.name;
        ASSERT_TRUE(std::filesystem::exists(*pdf));
        // "A/R" makes no folder of the file name.
        EXPECT_EQ(std::filesystem::path(*pdf).parent_path(),
                  std::filesystem::path(dir.path()) / "pdf");
        auto text = testing::RunCommand("pdftotext -layout " + testing::ShellQuote(*pdf) + " -");
        ASSERT_EQ(text.status, 0);
        EXPECT_NE(text.output.find(data::TrimmedText(company.text(data::Company::Name))),
                  std::string::npos);
        EXPECT_NE(text.output.find("Grand Total"), std::string::npos) << info.name;
        EXPECT_NE(
            text.output.find("Report Complete. " + std::to_string(records) + " record(s) printed."),
            std::string::npos)
            << info.name << "\n"
            << text.output;
        if (info.id == output::ReportId::SalesReport) {
            auto size = testing::RunCommand("pdfinfo " + testing::ShellQuote(*pdf));
            EXPECT_NE(size.output.find("792 x 612"), std::string::npos) << size.output;
        }
        const QString txt = QString::fromStdString(dir.path() + "/report.txt");
        ASSERT_TRUE(window.saveTo(txt));
        auto lines = output::ReadTextLines(txt.toStdString());
        ASSERT_TRUE(lines);
        EXPECT_EQ((*lines)[0], window.windowTitle().toStdString());
        if (shots)
            std::filesystem::copy_file(
                *pdf, std::string(shots) + "/" + std::filesystem::path(*pdf).filename().string(),
                std::filesystem::copy_options::overwrite_existing);
    }
}

// "Sort on Column:" offers the headings of the columns the report can be sorted on, in the
// order the grid shows them, the current sort column first.
TEST_F(ReportWindowTest, SortOnColumnNamesTheColumns) {
    output::ReportChoice choice;
    choice.report = output::ReportId::InvoiceRegister;
    choice.from = "01/01/2000";
    choice.to = "12/31/2030";
    output::ReportFolder where{dir.path(), &company, &clock};
    output::ReportRun run = output::RunReportInFolder(choice, where, prompter);
    ASSERT_EQ(run.status, output::ReportRunStatus::Ready);
    Trtreport w(std::move(*run.view), context, nullptr);
    w.show();
    auto items = [&] {
        QStringList out;
        for (int i = 0; i < w.SortCol->count(); ++i)
            out << w.SortCol->itemText(i);
        return out;
    };
    EXPECT_EQ(items(), (QStringList{"Year/Mo/Dy", "Invoice#", "Short Name", "Customer#"}));
    EXPECT_EQ(w.SortCol->currentText(), "Year/Mo/Dy");
    EXPECT_FALSE(w.SortCol->isEditable());

    // Chosen with the keyboard as a person would: the last name, Customer#.
    w.SortCol->setFocus();
    QTest::keyClick(w.SortCol, Qt::Key_End);
    EXPECT_EQ(w.windowTitle(), "Invoice Register by Customer#");
    EXPECT_EQ(w.Grid->model()->headerData(0, Qt::Horizontal).toString(), "Customer#");
    EXPECT_EQ(items(), (QStringList{"Customer#", "Invoice#", "Short Name", "Year/Mo/Dy"}));
    EXPECT_EQ(w.SortCol->currentText(), "Customer#");
    // A double-click on a heading sorts too, and the box follows it.
    w.sortOn(1);
    EXPECT_EQ(w.SortCol->currentText(), "Invoice#");
    EXPECT_EQ(w.windowTitle(), "Invoice Register by Invoice#");
}

TEST_F(ReportWindowTest, WizardChecksDatesAndTheWindowSortsSubTotalsAndCharts) {
    TRptSelect wizard(context, nullptr);
    EXPECT_EQ(wizard.FromDate->text(), "12/01/2026");
    EXPECT_EQ(wizard.ToDate->text(), "12/08/2026");
    wizard.DateSel->setCurrentText("Last 12 Months");
    EXPECT_EQ(wizard.FromDate->text(), "12/08/2025");
    // Undated reports hide the dates.
    wizard.ReportList->setCurrentRow(2);
    EXPECT_EQ(wizard.FromLabel->text(), "Searches all dates...");
    EXPECT_TRUE(wizard.ToDate->isHidden());
    wizard.ReportList->setCurrentRow(0);
    EXPECT_FALSE(wizard.ToDate->isHidden());
    if (const char* shots = std::getenv("INVARRO_SHOTS")) {
        wizard.show();
        QTest::qWait(50);
        wizard.grab().save(QString(shots) + "/wizard.png");
    }

    wizard.FromDate->setText("13/01/2026");
    prompter.expect(
        "You have an invalid beginning date. You can clear the date and then select the "
        "calendar button.");
    wizard.view();
    wizard.FromDate->setText("01/01/2027");
    wizard.ToDate->setText("01/01/2026");
    prompter.expect("Your beginning date is not older than your ending date.");
    wizard.view();

    wizard.FromDate->setText("01/01/2000");
    wizard.ToDate->setText("12/31/2030");
    bool shown = false;
    WhenModal<Trtreport>([&](Trtreport* window) {
        Trtreport& w = *window;
        shown = true;
        EXPECT_EQ(w.windowTitle(), "Invoice Register by Date");
        EXPECT_TRUE(w.SubTotals->isChecked());
        const int withTotals = w.Grid->model()->rowCount();
        // The grid shows the view's rows below its heading: total rows bold, amounts
        // right-aligned, the text made from the row.
        const QAbstractItemModel* m = w.Grid->model();
        const auto& rows = w.view().rows();
        ASSERT_EQ(withTotals, int(rows.size()) - 1);
        ASSERT_EQ(rows.back().kind, output::RowKind::GrandTotal);
        const QModelIndex grandTotal = m->index(withTotals - 1, 6);
        EXPECT_EQ(m->data(grandTotal).toString().toStdString(), rows.back().cell(6));
        EXPECT_TRUE(m->data(grandTotal, Qt::FontRole).value<QFont>().bold());
        EXPECT_EQ(m->data(m->index(0, 6), Qt::TextAlignmentRole).toInt(),
                  int(Qt::AlignRight | Qt::AlignVCenter));
        EXPECT_FALSE(m->data(m->index(0, 6), Qt::FontRole).isValid());
        EXPECT_EQ(m->data(m->index(0, 1)).toString().toStdString(), rows[1].cell(1));
        // An amount column cannot be sorted on.
        const int beeps = prompter.beeps();
        w.sortOn(5);
        EXPECT_EQ(prompter.beeps(), beeps + 1);
        w.SortCol->setFocus();
        QTest::keyClick(w.SortCol, Qt::Key_End);
        EXPECT_EQ(w.windowTitle(), "Invoice Register by Customer#");
        EXPECT_EQ(w.Grid->model()->headerData(0, Qt::Horizontal).toString(), "Customer#");
        w.SubTotals->setChecked(false);
        EXPECT_LT(w.Grid->model()->rowCount(), withTotals);
        EXPECT_EQ(w.Grid->model()->rowCount(), w.view().dataRowCount());
        w.SubTotals->setChecked(true);
        const data::Money grand = w.view().chart().grandTotal();
        w.sortOn(2);
        w.sortOn(3);
        EXPECT_EQ(w.view().chart().grandTotal(), grand);
        if (const char* shots = std::getenv("INVARRO_SHOTS")) {
            w.resize(760, 480);
            w.show();
            QTest::qWait(50);
            w.grab().save(QString(shots) + "/report-window.png");
        }
        WhenModal<TTopTenChart>([&](TTopTenChart* chart) {
            EXPECT_EQ(chart->windowTitle(), "Invarro Top 10");
            // Each legend line carries the number its bar is labelled with.
            for (qsizetype i = 0; i < chart->legend.size(); ++i)
                EXPECT_TRUE(chart->legend[i]->text().startsWith(QString::number(i + 1) + ". "))
                    << chart->legend[i]->text().toStdString();
            EXPECT_TRUE(chart->TopLabel->text().startsWith("Top 10: "));
            EXPECT_EQ(chart->GrandLabel->text().toStdString(), "Grand Total: " + grand.shownText());
            EXPECT_FALSE(chart->legend.isEmpty());
            chart->ColorCB->setChecked(true);
            if (const char* shots = std::getenv("INVARRO_SHOTS")) {
                chart->resize(700, 520);
                QTest::qWait(50);
                chart->grab().save(QString(shots) + "/top-ten.png");
            }
            chart->accept();
        });
        w.ChartBtn->click();
        w.accept();
    });
    wizard.view();
    EXPECT_TRUE(shown);
}

// A report of a million rows: the grid takes the view's rows as they are, shows the
// totals the view made, and sizes its columns from what it measured.
TEST_F(ReportWindowTest, TheWindowTakesAMillionRowsAsTheViewHasThem) {
    output::ReportTable t;
    t.id = output::ReportId::InvoiceRegister;
    t.columns = {{"Year/Mo/Dy", 10, output::CellKind::Text, 0},
                 {"Invoice#", 9, output::CellKind::Text, 1},
                 {"Grand Total", 12, output::CellKind::Amount, 0}};
    t.lastKeyColumn = 1;
    t.lastAmountColumn = 2;
    const int days = 28, perDay = 1000000 / 28;
    for (int d = 1; d <= days; ++d) {
        for (int i = 0; i < perDay; ++i) {
            const std::string date =
                "2024/02/" + std::string(d < 10 ? "0" : "") + std::to_string(d);
            const std::string no = std::to_string(d * perDay + i);
            char* at = t.text.room(date.size() + no.size());
            std::copy(date.begin(), date.end(), at);
            std::copy(no.begin(), no.end(), at + date.size());
            t.text.keep(date.size() + no.size());
            output::ReportLine& line = t.rows.emplace_back();
            line.text = at;
            line.ends = {uint16_t(date.size()), uint16_t(date.size() + no.size())};
            line.amounts[0] = 10000;  // 1.00
        }
    }
    Trtreport window(output::ReportView(std::move(t)), context, nullptr);
    const QAbstractItemModel* m = window.Grid->model();
    // The data rows, a total and a blank row for each day, the month's total and blank
    // row, and the grand total.
    ASSERT_EQ(m->rowCount(), days * perDay + 2 * days + 2 + 1);
    EXPECT_EQ(m->data(m->index(perDay, 1)).toString(), "** Totals");
    EXPECT_EQ(m->data(m->index(perDay, 2)).toString(), "35,714.00");
    const int last = m->rowCount() - 1;
    EXPECT_EQ(m->data(m->index(last, 1)).toString(), "Grand Total");
    EXPECT_EQ(m->data(m->index(last, 2)).toString(), "999,992.00");
    EXPECT_EQ(m->data(m->index(last - 2, 1)).toString(), "Month Total");
    // The columns fit the rows measured, and the amounts the grand total at the end.
    const QFontMetrics metrics(window.Grid->font());
    EXPECT_GE(window.Grid->columnWidth(0), metrics.horizontalAdvance("2024/02/01"));
    EXPECT_GE(window.Grid->columnWidth(2), metrics.horizontalAdvance("999,992.00"));
    // Without sub-totals, the data rows alone.
    window.SubTotals->setChecked(false);
    EXPECT_EQ(m->rowCount(), days * perDay);
    EXPECT_EQ(m->data(m->index(days * perDay - 1, 1)).toString().toStdString(),
              std::to_string(days * perDay + perDay - 1));
}

}  // namespace
}  // namespace invarro::ui
