// The "Send E-Mail Message" window driven offscreen: the checks with their focus, the
// queue count, and a run over the queue through a recording mail client.

#include "WindowFixture.h"
#include "ui/EMailMsg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "invoicing/InvoiceFixture.h"
#include "support/QtApp.h"
#include "support/RecordingMailer.h"

namespace invarro::ui {
namespace {

using data::Company;

class EMailMsgTest : public invoicing::testing::InvoiceTest {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }
    void SetUp() override {
        InvoiceTest::SetUp();
        addCustomer("1001", 0);
        company.setText(Company::EMailAddress, " billing@shop.test ");
        company.setText(Company::EMailHost, "smtp.shop.test");
        company.setText(Company::EMailPort, "25");
        company.setText(Company::EMailInclNoAddr, "Y");
        testing::SetUpWindowContext(ctx, dir.path(), company, prompter);
        ctx.labelQueue = &queue;
        ctx.mailer = &mailer;
        window = std::make_unique<TEMailMsg>(ctx);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->activateWindow();
    }
    void TearDown() override {
        window.reset();
        InvoiceTest::TearDown();
    }
    template <class W>
    W* child(const char* name) {
        W* w = window->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void send() { child<QPushButton>("EMailBtn")->click(); }

    CustomerWindowContext ctx;
    output::LabelQueue queue;
    testing::RecordingMailer mailer;
    std::unique_ptr<TEMailMsg> window;
};

TEST_F(EMailMsgTest, ChecksStopAtTheFirstProblemAndFocusItsField) {
    EXPECT_EQ(child<QLineEdit>("EMRetAdd")->text(), "billing@shop.test");
    EXPECT_EQ(window->countText(), "Records in Queue: 0");
    prompter.expect("You need an e-mail subject line.");
    send();
    EXPECT_EQ(QApplication::focusWidget(), child<QLineEdit>("EMSubject"));
    child<QLineEdit>("EMSubject")->setText("Holiday hours");
    child<QLineEdit>("EMRetAdd")->setText("billing.shop.test");
    prompter.expect(
        "The return e-mail address does not have the @ sign included. Bad e-mail address.");
    send();
    EXPECT_EQ(prompter.last().icon, platform::Icon::Warning);
    EXPECT_EQ(QApplication::focusWidget(), child<QLineEdit>("EMRetAdd"));
    child<QLineEdit>("EMRetAdd")->setText("billing@shop.test");
    child<QPlainTextEdit>("EMBody")->setPlainText("  \n ");
    prompter.expect("You have not entered a message to send.");
    send();
    EXPECT_EQ(QApplication::focusWidget(), child<QPlainTextEdit>("EMBody"));
    child<QPlainTextEdit>("EMBody")->setPlainText("Closed on Friday.\n\nThe team");
    prompter.expect(
        "You do not have any customers selected (listed) in the print queue. Select the Queue "
        "button to add customers to the queue.");
    send();
    EXPECT_EQ(mailer.connects, 0);
}

TEST_F(EMailMsgTest, SendsToTheQueueAndSkipsCustomersNoLongerOnFile) {
    queue.add({"1001", "Customer 1001", "", ""});
    queue.add({"999", "Gone", "", ""});
    window->refreshCount();
    EXPECT_EQ(window->countText(), "Records in Queue: 2");
    child<QLineEdit>("EMSubject")->setText("Holiday hours");
    child<QPlainTextEdit>("EMBody")->setPlainText("Closed on Friday.\n\nThe team");
    prompter.expect(
        "There were 1 e-mail messages sent. 1 queue entry was skipped: the customer is no "
        "longer on file.");
    send();
    ASSERT_EQ(mailer.sent.size(), 1u);
    // Customer 1001 has no address: the message comes back to the company.
    EXPECT_EQ(mailer.sent[0].subject, "BAD E-MAIL ADDRESS FOR: Customer 1001");
    EXPECT_EQ(mailer.sent[0].recipients, std::vector<std::string>{"billing@shop.test"});
    EXPECT_EQ(mailer.sent[0].body, (std::vector<std::string>{"Closed on Friday.", "", "The team"}));
    EXPECT_FALSE(mailer.connected());
    if (const char* out = std::getenv("INVARRO_SHOTS"))
        window->grab().save(QString(out) + "/email-message.png");
}

}  // namespace
}  // namespace invarro::ui
