#include "invoicing/PaymentReference.h"

#include <gtest/gtest.h>

#include "InvoiceFixture.h"
#include "output/PaymentCode.h"

namespace invarro::invoicing {
namespace {

using data::CustomerReference;
using data::InvoiceQrReference;
using data::InvoiceReference;
using output::InvoicePaymentTransfer;
using output::PaymentCodesOff;
using output::SetPaymentCodesOff;

using ReferenceLookupTest = testing::InvoiceTest;

TEST_F(ReferenceLookupTest, NamesExactlyOneInvoiceNeverByPrefix) {
    const int32_t inv12 = add({.no = "12"});
    const int32_t inv123 = add({.no = "0123"});
    add({.no = "1234"});
    EXPECT_EQ(InvoiceOfReference(invoices, *InvoiceReference("12")), inv12);
    EXPECT_EQ(InvoiceOfReference(invoices, *InvoiceReference("123")), inv123);
    EXPECT_EQ(InvoiceOfReference(invoices, *InvoiceQrReference("123")), inv123);
    EXPECT_FALSE(InvoiceOfReference(invoices, *InvoiceReference("1")));
    EXPECT_FALSE(InvoiceOfReference(invoices, *InvoiceReference("999")));
    EXPECT_FALSE(InvoiceOfReference(invoices, *CustomerReference("12")));
    EXPECT_FALSE(InvoiceOfReference(invoices, "RF18539007547034"));
}

TEST_F(ReferenceLookupTest, TwoRecordsWithEqualNumbersNameNone) {
    add({.no = "77"});
    add({.no = "077"});
    EXPECT_FALSE(InvoiceOfReference(invoices, *InvoiceReference("77")));
}

}  // namespace
}  // namespace invarro::invoicing

namespace invarro::invoicing {
namespace {

// A company with an IBAN in euro and an open invoice of 100.00.
struct CodeCase {
    CodeCase() {
        company.setText(data::Company::Name, "Lindenhof Müller GmbH");
        settings.iban = "DE41 5001 0517 0123 4567 89";
        settings.bic = "INGDDEFFXXX";
        settings.currency = "EUR";
        invoice = testing::MakeInvoice({.no = "0815", .total = "119.00", .paid = "19.00"},
                                       data::DateOrder::MonthFirst);
    }
    std::optional<output::EpcTransfer> transfer() const {
        return InvoicePaymentTransfer(company, settings, invoice);
    }
    data::CompanyRecord company = data::NewRecord<data::Company>();
    data::CompanyEInvoice settings;
    data::InvoiceRecord invoice;
};

TEST(PaymentCode, AnOpenEuroInvoiceAsksForItsBalanceWithItsReference) {
    CodeCase c;
    auto t = c.transfer();
    ASSERT_TRUE(t);
    EXPECT_EQ(t->amount, data::Money::FromCents(10000));
    EXPECT_EQ(t->reference, *InvoiceReference("815"));
    EXPECT_EQ(t->name, "Lindenhof Müller GmbH");
    EXPECT_TRUE(t->text.empty());
    // A number the reference cannot carry is named in the text instead.
    c.invoice.setText(data::Invoice::InvNo, "24/0815");
    t = c.transfer();
    ASSERT_TRUE(t);
    EXPECT_TRUE(t->reference.empty());
    EXPECT_EQ(t->text, "Invoice 24/0815");
}

TEST(PaymentCode, NothingWhenThereIsNothingToPayOrNoWayToPayIt) {
    auto without = [](auto change) {
        CodeCase c;
        change(c);
        return !c.transfer();
    };
    EXPECT_TRUE(without([](CodeCase& c) { c.settings.iban.clear(); }));
    EXPECT_TRUE(without([](CodeCase& c) { c.settings.currency = "CHF"; }));
    for (const char* type : {"Q", "C", "D", "R", "X"})
        EXPECT_TRUE(without([type](CodeCase& c) {
            c.invoice.setText(data::Invoice::TransType, type);
        })) << type;
    EXPECT_TRUE(without([](CodeCase& c) { c.invoice.setText(data::Invoice::PaidFlag, "P"); }));
    EXPECT_TRUE(without([](CodeCase& c) {
        (void)c.invoice.setMoney(data::Invoice::BalanceDue, data::Money::FromCents(-500));
    }));
    EXPECT_FALSE(without([](CodeCase& c) { c.invoice.setText(data::Invoice::TransType, "Z"); }));
}

TEST(PaymentCodeSetting, OnUntilSwitchedOffPerCompany) {
    invarro::testing::TempDir dir;
    data::IniFile ini(dir.file("invarro.ini"));
    EXPECT_FALSE(PaymentCodesOff(ini, "3"));
    ASSERT_TRUE(SetPaymentCodesOff(ini, "3", true));
    data::IniFile again(dir.file("invarro.ini"));
    EXPECT_TRUE(PaymentCodesOff(again, "3"));
    EXPECT_FALSE(PaymentCodesOff(again, "4"));
}

}  // namespace
}  // namespace invarro::invoicing
