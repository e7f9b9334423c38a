// The Bank Statements window as a person uses it on the demo's European company: the line
// of the demo statement that pays an invoice by the reference of its payment code is
// proposed for that invoice, confirmed from the keyboard and posted with one click, and
// the invoice has nothing left to pay.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QTest>
#include <regex>

#include "app/Startup.h"
#include "data/Fileblocks.h"
#include "data/PaymentReference.h"
#include "data/Update.h"
#include "e2e/Road.h"
#include "invoicing/InvEdit.h"
#include "ui/BankStatements.h"

namespace invarro::testing {
namespace {

class BankRoad : public RoadTest {
  protected:
    void useEuropeanCompany() {
        auto europe = app::ReadCompanyByNumber(folder, "3", prompter);
        ASSERT_TRUE(europe);
        form->reloadCompanyInUse(europe, false);
    }
    // The balance due of the invoice, summed over its records as the books keep it.
    data::Money balanceOf(const std::string& number) {
        invoicing::ShortOpen invoices(folder, data::FileKind::Invoice, data::CompanyPrefix("3"),
                                      prompter);
        EXPECT_NE(invoices.fb, nullptr);
        data::Money due;
        for (int32_t rec : invoicing::RecordsWithNumber(invoices.fb, number))
            if (auto r = data::ReadBusinessRecord<data::Invoice>(invoices.fb, rec))
                due += r->money(data::Invoice::BalanceDue);
        return due;
    }
    // The first screen row whose cell in the column passes the test, -1 when none does.
    static int RowWith(QTableWidget* table, int column,
                       const std::function<bool(const QString&)>& test) {
        for (int r = 0; r < table->rowCount(); ++r)
            if (test(CellText(table, r, column))) return r;
        return -1;
    }
};

constexpr int kState = 3, kReference = 5, kProposal = 6;

TEST_F(BankRoad, TheLinePayingAnInvoiceByItsReferenceIsPostedWithOneClick) {
    useEuropeanCompany();
    std::string invoice;
    openFromMenu("Tools", "Bank Statements...", [&](QWidget* w) {
        if (w->width() < 1000) w->resize(1200, 700);
        auto* table = Named<QTableWidget>(w, "BankLines");
        ASSERT_NE(table, nullptr);
        KeepPicture(w, "bank-statements");
        // The demo statement's line with an RF reference that names an open invoice it pays
        // in full.
        const std::regex paysInvoice(", invoice (\\S+) ");
        std::smatch m;
        int row = -1;
        std::string proposal;
        for (int r = 0; r < table->rowCount() && row < 0; ++r) {
            proposal = CellText(table, r, kProposal).toStdString();
            const std::string reference =
                CellText(table, r, kReference).section(' ', 0, 0).toStdString();
            if (data::ParseReference(reference) && std::regex_search(proposal, m, paysInvoice))
                row = r;
        }
        ASSERT_GE(row, 0) << "no line pays an invoice by its reference";
        invoice = m[1];
        EXPECT_NE(proposal.find("names invoice " + invoice), std::string::npos) << proposal;
        EXPECT_EQ(CellText(table, row, kState), "new");
        ASSERT_GT(balanceOf(invoice), data::Money());

        // The line is chosen with the mouse, its reason shown below the list, and confirmed
        // from the keyboard: Tab leaves the list for the buttons.
        ClickCell(table, row, 0);
        auto* why = Named<QLabel>(w, "WhyLabel");
        ASSERT_NE(why, nullptr);
        EXPECT_EQ(why->text().toStdString(), proposal);
        for (int i = 0; i < 4 && QApplication::focusWidget() != ButtonIn(w, "Confirm"); ++i)
            Press(Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), ButtonIn(w, "Confirm"));
        Press(Qt::Key_Space);
        const int confirmed = RowWith(table, kProposal, [&](const QString& text) {
            return text.startsWith("confirmed:") &&
                   text.contains(QString::fromStdString(" invoice " + invoice + " "));
        });
        ASSERT_GE(confirmed, 0) << "the line was not confirmed";
        EXPECT_EQ(CellText(table, confirmed, kState), "matched");

        // One click posts it.
        NoWindow([&] { ClickButton(w, "Post"); });
        const int posted = RowWith(table, kProposal, [&](const QString& text) {
            return text.startsWith(QString::fromStdString("paid " + invoice + " of customer"));
        });
        ASSERT_GE(posted, 0) << "the line was not posted";
        EXPECT_EQ(CellText(table, posted, kState), "posted");
        auto* status = Named<QLabel>(w, "StatusLabel");
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->text(), "1 line posted.");
        // The line cannot be posted or confirmed again.
        ClickCell(table, posted, 0);
        EXPECT_FALSE(ButtonIn(w, "Confirm")->isEnabled());
        EXPECT_FALSE(ButtonIn(w, "Ignore")->isEnabled());

        // The filter shows the posted lines alone.
        auto* filter = qobject_cast<QComboBox*>(FieldLabelled(w, "Show:"));
        ASSERT_NE(filter, nullptr);
        filter->setFocus();
        filter->setCurrentIndex(int(ui::TBankStatements::Filter::Posted));
        EXPECT_EQ(table->rowCount(), 1);
        EXPECT_EQ(CellText(table, 0, kState), "posted");
        ClickButton(w, "Close");
    });
    ASSERT_FALSE(invoice.empty());
    EXPECT_TRUE(balanceOf(invoice).isZero());
}

}  // namespace
}  // namespace invarro::testing
