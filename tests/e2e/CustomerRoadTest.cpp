// A new customer's road through the program, typed in as a person types it: the customer
// editor, an invoice with product codes, a sub-total and a discount line, the invoice in
// the Invoice Manager and as a PDF, its payment in the Payment Wizard and the customer's
// statement.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <sstream>

#include "e2e/Road.h"
#include "e2e/ServerSeat.h"
#include "support/PdfTools.h"

namespace invarro::testing {
namespace {

using ui::TIndexBrowser;

constexpr const char* kCustomer = "Harbor Lights Cafe";

class CustomerRoad : public RoadTest {
  protected:
    // Types the new customer in the Customer Manager's editor; gives the number it got.
    std::string addCustomer() {
        std::string number;
        openFromMain("Customers", [&](QWidget* manager) {
            OnModal([&] { ClickButton(manager, "New"); },
                    [&](QWidget* editor) {
                        auto* no = Named<QLineEdit>(editor, "CNo");
                        ASSERT_NE(no, nullptr);
                        number = no->text().toStdString();
                        FillIn(FieldLabelled(editor, "Customer Name:"), kCustomer);
                        FillIn(FieldLabelled(editor, "Short Name:"), "HARBOR");
                        auto* bill = Named<QLineEdit>(editor, "CAdd1Edit");
                        FillIn(bill, "12 Wharf Street");
                        Press(Qt::Key_Tab);
                        Type("Portland, ME 04101");
                        FillIn(FieldLabelled(editor, "Phone 1:"), "207-555-0142");
                        ClickButton(editor, "Ok");
                    });
            auto* list = Named<TIndexBrowser>(manager, "CustList");
            EXPECT_NE(RowHolding(list, kCustomer), 0) << "the new customer is listed";
            ClickButton(manager, "Close");
        });
        return number;
    }
    // The new customer is added, invoiced, pays and gets a statement.
    void invoicedPaidAndStated();
    // In the customer picker: types the start of the name and takes the row with Enter.
    static void pickCustomer(QWidget* picker) {
        EXPECT_EQ(picker->objectName(), "TCustForm");
        GoToRow(Named<TIndexBrowser>(picker, "CustList"), "H", kCustomer);
        Press(Qt::Key_Return);
    }
};

void CustomerRoad::invoicedPaidAndStated() {
    const std::string custNo = addCustomer();
    ASSERT_FALSE(custNo.empty()) << "a new customer gets a proposed number";

    // A new invoice with two product lines, a sub-total, a discount and a product typed in
    // after the discount.
    std::string invoiceNo;
    openFromMain("Invoices", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    invoiceNo = Named<QLineEdit>(editor, "INum")->text().toStdString();
                    OnModal([&] { ClickButton(editor, "Customer..."); }, pickCustomer);
                    EXPECT_EQ(Named<QLabel>(editor, "ICustName")->text(), kCustomer);
                    auto* grid = Named<QTableWidget>(editor, "StringGrid1");
                    // Each step as a person types it (a click on the code cell of a row, or
                    // none: the cursor is where the last step left it); no window may open on
                    // the way.
                    struct Step {
                        int row;
                        const char* text;
                        Qt::Key key;
                    };
                    const Step steps[] = {
                        {0, "BC-500", Qt::Key_Return}, {-1, "2", Qt::Key_Return},
                        {1, "DES-HR", Qt::Key_Tab},    {-1, "1.5", Qt::Key_Return},
                        {2, "SUB-TOTAL", Qt::Key_Tab}, {3, "DISCOUNT10", Qt::Key_Return},
                    };
                    for (const Step& step : steps) {
                        SCOPED_TRACE(step.text);
                        NoWindow([&] {
                            if (step.row >= 0) ClickCell(grid, step.row, 1);
                            Type(step.text);
                            Press(step.key);
                        });
                    }
                    QTest::qWait(50);
                    EXPECT_EQ(CellText(grid, 0, 6), "129.90");
                    EXPECT_EQ(CellText(grid, 1, 6), "97.50");
                    EXPECT_EQ(CellText(grid, 2, 3).toStdString(),
                              "*** Sub-Total SUB-TOTAL $227.40");
                    // The discount of 22.74 on taxed cards and untaxed design: its share
                    // on the cards (taxed) and the rest (untaxed), one line each.
                    EXPECT_EQ(CellText(grid, 3, 4), "-12.99");
                    EXPECT_EQ(CellText(grid, 3, 3).toStdString(), "10% Discount on taxed $129.90");
                    EXPECT_EQ(CellText(grid, 4, 4), "-9.75");
                    EXPECT_EQ(CellText(grid, 4, 3).toStdString(), "10% Discount on untaxed $97.50");
                    EXPECT_EQ(Named<QLineEdit>(editor, "INet")->text(), "204.66");
                    // Tax only on the cards less their share of the discount: 5.5 % of
                    // 116.91.
                    EXPECT_EQ(Named<QLineEdit>(editor, "ITax")->text(), "6.43");
                    NoWindow([&] { ClickButton(editor, "Ok"); });
                });
        // The manager shows the new invoice, selected, with its customer.
        auto* list = Named<TIndexBrowser>(manager, "InvBrowser1");
        const std::string row = HighlightedRow(list);
        EXPECT_NE(row.find(invoiceNo), std::string::npos) << row;
        EXPECT_NE(row.find("HARBOR"), std::string::npos) << row;
        EXPECT_NE(Named<QLabel>(manager, "MessagePanel")
                      ->text()
                      .toStdString()
                      .find("Added invoice " + invoiceNo),
                  std::string::npos);

        // Send to PDF: the file opens in the viewer and reads as the invoice.
        shell.opened.clear();
        NoWindow([&] { ClickButton(manager, "Send to PDF"); });
        ASSERT_EQ(shell.opened.size(), 1u);
        const std::string pdf = shell.opened[0];
        EXPECT_TRUE(std::filesystem::exists(pdf)) << pdf;
        const std::string text = PdfText(pdf);
        for (const char* needed :
             {kCustomer, "12 Wharf Street", "BC-500", "Business Cards, 500, 2-sided", "DES-HR",
              "*** Sub-Total", "10% Discount on taxed", "-12.99", "-9.75", "204.66"})
            EXPECT_NE(text.find(needed), std::string::npos) << needed << " not in\n" << text;
        EXPECT_NE(text.find(invoiceNo), std::string::npos);
        EXPECT_TRUE(PaperFaults(pdf).empty());
        if (const char* keep = std::getenv("INVARRO_E2E_KEEP"); keep && *keep)
            std::filesystem::copy_file(pdf, std::string(keep) + "/road-invoice.pdf",
                                       std::filesystem::copy_options::overwrite_existing);
        ClickButton(manager, "Close");
    });

    // The payment of the whole invoice.
    openFromMain("Payments", [&](QWidget* wizard) {
        OnModal([&] { ClickButton(wizard, "Customer..."); }, pickCustomer);
        EXPECT_EQ(Named<QLabel>(wizard, "PCustName")->text(), kCustomer);
        auto* open = Named<QListWidget>(wizard, "SrcList");
        ASSERT_EQ(open->count(), 1);
        EXPECT_NE(open->item(0)->text().toStdString().find(invoiceNo), std::string::npos);
        Click(open->viewport(), Qt::LeftButton, open->visualItemRect(open->item(0)).center());
        ClickButton(wizard, ">");
        auto* posting = Named<QListWidget>(wizard, "DstList");
        ASSERT_EQ(posting->count(), 1);
        // The amount received, typed as the cheque reads: Post comes alive when it equals
        // the amount posted.
        const QString posted = Named<QLabel>(wizard, "IPostedAmt")->text();
        EXPECT_EQ(posted, "211.09");
        EXPECT_FALSE(ButtonIn(wizard, "Post")->isEnabled());
        FillIn(Named<QLineEdit>(wizard, "PAmt"), posted);
        ClickButton(wizard, "Post");
    });

    // The statement shows the invoice and its payment, and nothing owed.
    openFromMain("Customers", [&](QWidget* manager) {
        auto* list = Named<TIndexBrowser>(manager, "CustList");
        Click(list);
        GoToRow(list, "H", kCustomer);
        // The list's balance column: nothing owed any more.
        std::istringstream row(HighlightedRow(list).substr(std::string(kCustomer).size()));
        std::string number, balance;
        row >> number >> balance;
        EXPECT_EQ(number, custNo);
        EXPECT_EQ(balance, "0.00");
        OnModal([&] { ClickButton(manager, "View/Print Statement"); },
                [&](QWidget* statement) {
                    auto* grid = Named<QTableWidget>(statement, "StmntGrid");
                    ASSERT_NE(grid, nullptr);
                    std::string shown;
                    for (int r = 0; r < grid->rowCount(); ++r)
                        for (int c = 0; c < grid->columnCount(); ++c)
                            shown += CellText(grid, r, c).toStdString() + "|";
                    EXPECT_NE(shown.find(invoiceNo), std::string::npos) << shown;
                    shell.opened.clear();
                    NoWindow([&] { ClickButton(statement, "PdfBtn"); });
                    ASSERT_EQ(shell.opened.size(), 1u);
                    const std::string text = PdfText(shell.opened[0]);
                    EXPECT_NE(text.find(kCustomer), std::string::npos) << text;
                    EXPECT_NE(text.find(invoiceNo), std::string::npos) << text;
                    KeepPicture(statement, "statement");
                    if (const char* keep = std::getenv("INVARRO_E2E_KEEP"); keep && *keep)
                        std::filesystem::copy_file(
                            shell.opened[0], std::string(keep) + "/road-statement.pdf",
                            std::filesystem::copy_options::overwrite_existing);
                    ClickButton(statement, "Close");
                });
        ClickButton(manager, "Close");
    });
}

// The customer picker of the Payment Wizard, which holds the invoice file open, shows a
// customer's statement from that file rather than failing to open it a second time.
TEST_F(CustomerRoad, ANewCustomerIsInvoicedPaysAndGetsAStatement) {
    invoicedPaidAndStated();
}

// The same road in the demo's books moved to a server.
using CustomerRoadOnServer = OnServer<CustomerRoad>;

TEST_F(CustomerRoadOnServer, ANewCustomerIsInvoicedPaysAndGetsAStatement) {
    invoicedPaidAndStated();
}

TEST_F(CustomerRoad, TheCustomerPickerOfThePaymentWizardShowsAStatement) {
    openFromMain("Payments", [&](QWidget* wizard) {
        OnModal([&] { ClickButton(wizard, "Customer..."); },
                [&](QWidget* picker) {
                    auto* list = Named<TIndexBrowser>(picker, "CustList");
                    ASSERT_NE(list, nullptr);
                    ClickRow(list, 1);
                    OnModal([&] { ClickButton(picker, "View/Print Statement"); },
                            [&](QWidget* statement) {
                                auto* grid = Named<QTableWidget>(statement, "StmntGrid");
                                ASSERT_NE(grid, nullptr) << Describe(statement);
                                EXPECT_GT(grid->rowCount(), 0);
                                ClickButton(statement, "Close");
                            });
                    Press(Qt::Key_Escape);
                });
        ClickButton(wizard, "Cancel");
    });
}

// The customer picker of the invoice editor, whose Invoice Manager holds the invoice and
// line files, gives a customer a new number and moves its invoices along; its statement
// then shows them.
TEST_F(CustomerRoad, TheCustomerPickerOfTheInvoiceEditorRenumbersACustomer) {
    openFromMain("Invoices", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    OnModal([&] { ClickButton(editor, "Customer..."); },
                            [&](QWidget* picker) {
                                auto* list = Named<TIndexBrowser>(picker, "CustList");
                                ClickRow(list, 1);
                                OnModal([&] { ClickButton(picker, "Edit"); },
                                        [&](QWidget* edit) {
                                            FillIn(Named<QLineEdit>(edit, "CNo"), "9001");
                                            OnMessage([&] { ClickButton(edit, "Ok"); },
                                                      "have been changed to reflect the new "
                                                      "customer number");
                                        });
                                EXPECT_NE(HighlightedRow(list).find("9001"), std::string::npos)
                                    << HighlightedRow(list);
                                // Its statement finds the invoices under the new number.
                                OnModal([&] { ClickButton(picker, "View/Print Statement"); },
                                        [&](QWidget* statement) {
                                            auto* grid =
                                                Named<QTableWidget>(statement, "StmntGrid");
                                            ASSERT_NE(grid, nullptr) << Describe(statement);
                                            std::string shown;
                                            for (int r = 0; r < grid->rowCount(); ++r)
                                                shown += CellText(grid, r, 1).toStdString() + "|";
                                            EXPECT_GT(grid->rowCount(), 5) << shown;
                                            ClickButton(statement, "Close");
                                        });
                                Press(Qt::Key_Escape);
                            });
                    Press(Qt::Key_Escape);
                });
        ClickButton(manager, "Close");
    });
}

// Tab goes down the identity fields in reading order, then down the billing address, then
// down the shipping address, and on through the rest as it reads, the e-invoicing fields
// before the notes.
TEST_F(CustomerRoad, TabGoesDownEachColumnOfTheCustomerEditor) {
    openFromMain("Customers", [&](QWidget* manager) {
        OnModal([&] { ClickButton(manager, "New"); },
                [&](QWidget* editor) {
                    const std::vector<std::string> expected = {
                        "CNo",       "CName",   "ShortName", "CustType",    "CLimit",
                        "CTE",       "CTerms",  "CAdd1Edit", "CAdd2Edit",   "CAdd3Edit",
                        "CAdd4Edit", "CPhone1", "CShip1",    "CShip2",      "CShip3",
                        "CShip4",    "CPhone2", "AutoCopy",  "CopyBillBtn", "ClearShipBtn",
                        "MListCode", "EMadd",   "CRHold",    "NotesOnInv",  "NotesOnStmnt",
                        "ECountry",  "EVatId",  "EBuyerRef", "EAddress",    "CstNote"};
                    std::vector<std::string> order;
                    for (size_t i = 0; i < expected.size(); ++i) {
                        QWidget* at = KeyTarget();
                        // An editable combo box takes the keys in its line edit.
                        if (auto* combo = qobject_cast<QComboBox*>(at->parentWidget())) at = combo;
                        order.push_back(at->objectName().toStdString());
                        Press(Qt::Key_Tab);
                    }
                    EXPECT_EQ(order, expected);
                    KeepPicture(editor, "customer-editor");
                    ClickButton(editor, "Cancel");
                });
        ClickButton(manager, "Close");
    });
}

}  // namespace
}  // namespace invarro::testing
