// The Payment Wizard driven offscreen: choosing the customer, typing the amount, moving
// items, a partial payment and a deposit through the amount dialog, and posting.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "WindowFixture.h"
#include "app/Demo.h"
#include "app/Startup.h"
#include "invoicing/InvoiceFixture.h"
#include "support/Modal.h"
#include "support/QtApp.h"
#include "ui/PayBox.h"

namespace invarro::ui {
namespace {

using data::Company;
using data::Customer;
using data::Invoice;
using testing::WhenModal;

class PayBoxTest : public invoicing::testing::InvoiceTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        InvoiceTest::SetUp();
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter, &clock);
        addCustomer("1001", 25000, {25000, 0, 0, 0});
        add({.no = "2001", .cust = "1001", .date = {2024, 3, 1}, .total = "100.00"});
        add({.no = "2002", .cust = "1001", .date = {2024, 4, 1}, .total = "150.00"});
        add({.no = "2003", .type = 'Q', .cust = "1001", .date = {2024, 4, 1}, .total = "75.00"});
        // The window opens the invoice file itself.
        for (storage::Fileblock** fb : {&invoices, &lines, &memos})
            if (*fb) storage::CloseFileblock(*fb);
    }
    void TearDown() override {
        form.reset();
        InvoiceTest::TearDown();
    }
    void open() {
        form = std::make_unique<TPayBox>(ctx);
        ASSERT_TRUE(form->openFiles());
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        form->customerChosen(customer("1001"));
    }
    static QStringList items(QListWidget* l) {
        QStringList out;
        for (int i = 0; i < l->count(); ++i)
            out << l->item(i)->text();
        return out;
    }
    std::vector<data::InvoiceRecord> stored() {
        storage::Fileblock* fb = storage::OpenFileblock(name(data::FileKind::Invoice), false);
        std::vector<data::InvoiceRecord> out;
        for (int32_t rec = storage::NextUsedRecord(fb, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(fb, rec))
            if (auto r = data::ReadBusinessRecord<Invoice>(fb, rec)) out.push_back(*r);
        storage::CloseFileblock(fb);
        return out;
    }

    CustomerWindowContext ctx;
    std::unique_ptr<TPayBox> form;
};

TEST_F(PayBoxTest, CustomerFillsTheFieldsAndTheOpenItemsWithoutQuotes) {
    open();
    EXPECT_EQ(form->windowTitle(), "Payment Wizard");
    EXPECT_EQ(form->PCustName->text(), "Customer 1001");
    EXPECT_EQ(form->PCustNum->text(), "1001");
    EXPECT_EQ(form->PCustBal->text(), "250.00");
    EXPECT_EQ(form->Sname->text(), "Short1001");
    EXPECT_EQ(form->PmtDate->text(), "04/15/2024");
    EXPECT_EQ(form->PAmt->text(), "0.00");
    EXPECT_EQ(items(form->SrcList),
              (QStringList{"2001      03/01/24       100.00", "2002      04/01/24       150.00"}));
    EXPECT_EQ(form->DstList->count(), 0);
    EXPECT_FALSE(form->OKBtn->isEnabled());
    EXPECT_TRUE(form->AccountDep->isEnabled());
    EXPECT_FALSE(form->ExcludeBtn->isEnabled());
    EXPECT_EQ(form->OKBtn->text(), "&Post");

    // Typing the whole balance moves everything right and enables posting.
    form->PAmt->clear();
    QTest::keyClicks(form->PAmt, "250.00");
    EXPECT_EQ(form->SrcList->count(), 0);
    EXPECT_EQ(form->DstList->count(), 2);
    EXPECT_EQ(form->IPostedAmt->text(), "250.00");
    EXPECT_TRUE(form->OKBtn->isEnabled());
    EXPECT_FALSE(form->IncludeBtn->isEnabled());
    QTest::mouseClick(form->ExAllBtn, Qt::LeftButton);
    EXPECT_EQ(form->SrcList->count(), 2);
    EXPECT_FALSE(form->OKBtn->isEnabled());
}

TEST_F(PayBoxTest, PartialPaymentAndDepositThroughTheAmountDialogThenPost) {
    open();
    form->SrcList->setCurrentRow(1);  // 2002
    ASSERT_TRUE(form->PPmtBtn->isEnabled());
    // A refused amount keeps the dialog open; a good one closes it.
    prompter.expect(std::string(invoicing::kPartialNotBelowDue));
    WhenModal<TPPmtDialog>([](TPPmtDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Partial Payment");
        EXPECT_EQ(d->Label1->text(), "Invoice: 2002   Date: 04/01/24");
        EXPECT_EQ(d->PPAmt->text(), "0.00");
        d->PPAmt->setText("150");
        d->ok();
        EXPECT_TRUE(d->isVisible());
        d->PPAmt->setText("50.00");
        d->ok();
    });
    QTest::mouseClick(form->PPmtBtn, Qt::LeftButton);
    EXPECT_EQ(items(form->DstList), QStringList{"2002      04/01/24        50.00P"});
    EXPECT_EQ(items(form->SrcList)[1], "2002      04/01/24       100.00");

    WhenModal<TPPmtDialog>([](TPPmtDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Deposit on Account");
        EXPECT_EQ(d->Label1->text(), "Invoice: DEPOSIT     Date: 04/15/2024");
        d->PPAmt->setText("25");
        d->ok();
    });
    QTest::mouseClick(form->AccountDep, Qt::LeftButton);
    form->SrcList->setCurrentRow(0);  // 2001
    QTest::mouseClick(form->IncludeBtn, Qt::LeftButton);
    EXPECT_EQ(form->IPostedAmt->text(), "175.00");
    form->PAmt->clear();
    QTest::keyClicks(form->PAmt, "175");
    ASSERT_TRUE(form->OKBtn->isEnabled());
    form->PNotes->setText("Check 881");
    form->grab().save("/tmp/invarro-paybox-test.png");

    QTest::mouseClick(form->OKBtn, Qt::LeftButton);
    ASSERT_TRUE(form->posted());
    EXPECT_EQ(form->posted()->written, data::Money::FromCents(17500));
    EXPECT_EQ(form->posted()->deposits, std::vector<std::string>{"DP15001"});
    EXPECT_FALSE(form->isVisible());
    form.reset();  // the window holds the invoice file
    int x = 0, d = 0;
    for (const data::InvoiceRecord& r : stored()) {
        const std::string t = r.text(Invoice::TransType);
        if (t == "X") {
            ++x;
            EXPECT_EQ(r.text(Invoice::StmntNote), "Check 881");
        }
        if (t == "D") ++d;
    }
    EXPECT_EQ(x, 1);
    EXPECT_EQ(d, 1);
    data::CustomerRecord c = customer("1001");
    EXPECT_EQ(c.text(Customer::Balance), "75.00");
    EXPECT_EQ(c.text(Customer::LastPayDate), "04/15/2024");
    EXPECT_EQ(storedCompany().text(Company::DepositCounter), "15001");
}

TEST_F(PayBoxTest, ABadPaymentDateKeepsTheWindowOpen) {
    open();
    form->PAmt->clear();
    QTest::keyClicks(form->PAmt, "100");
    form->SrcList->setCurrentRow(0);
    QTest::mouseClick(form->IncludeBtn, Qt::LeftButton);
    ASSERT_TRUE(form->OKBtn->isEnabled());
    form->PmtDate->setText("13/45/2024");
    prompter.expect(std::string(invoicing::kBadPaymentDate));
    QTest::mouseClick(form->OKBtn, Qt::LeftButton);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->posted());
    prompter.expect(std::string(invoicing::kNegativePayment));
    QTest::keyClick(form->PAmt, Qt::Key_Minus);
}

// On the demo installation: the first customer's open invoices, partly paid ones and the
// deposit kept on account; the window is saved as a picture for a look.
TEST_F(PayBoxTest, DemoCustomerShowsInvoicesAndItsDepositOnAccount) {
    const std::string folder = dir.file("demo");
    ASSERT_TRUE(app::CreateDemoInstallation(folder, prompter).ok);
    auto demo = app::ReadCompanyByNumber(folder, "1", prompter);
    ASSERT_TRUE(demo);
    data::CompanyRecord inUse = *demo;
    ctx.dataFolder = folder;
    ctx.company = &inUse;
    ctx.clock = nullptr;  // the demo is dated today
    storage::Fileblock* fb = storage::OpenFileblock(folder + "/1C", false);
    ASSERT_TRUE(storage::EngineOk);
    auto first = data::ReadBusinessRecord<Customer>(fb, 1);
    storage::CloseFileblock(fb);
    ASSERT_TRUE(first);
    form = std::make_unique<TPayBox>(ctx);
    ASSERT_TRUE(form->openFiles());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    if (first->money(Customer::Balance) <= data::Money())
        prompter.expect(std::string(invoicing::kNoBalanceDue));
    form->customerChosen(*first);
    const QStringList open = items(form->SrcList);
    ASSERT_FALSE(open.isEmpty());
    EXPECT_TRUE(open.last().startsWith("DP15001")) << open.last().toStdString();
    EXPECT_TRUE(open.last().endsWith("-250.00"));
    form->SrcList->setCurrentRow(0);
    QTest::mouseClick(form->IncludeBtn, Qt::LeftButton);
    form->PNotes->setText("Check 2231");
    form->grab().save("/tmp/invarro-paybox-demo.png");
}

}  // namespace
}  // namespace invarro::ui
