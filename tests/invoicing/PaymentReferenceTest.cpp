#include "invoicing/PaymentReference.h"

#include <gtest/gtest.h>

#include "InvoiceFixture.h"
#include "output/PaymentCode.h"

namespace invarro::invoicing {
namespace {

using data::CustomerQrReference;
using data::CustomerReference;
using data::InvoiceQrReference;
using data::InvoiceReference;
using data::IsCreditorReference;
using data::IsQrReference;
using data::Mod10RecursiveDigit;
using data::ParseReference;
using data::PrintedReference;
using data::ReferenceKind;
using data::ReferenceTarget;
using output::InvoicePaymentTransfer;
using output::PaymentCodesOff;
using output::SetPaymentCodesOff;

TEST(CreditorReference, AcceptsTheStandardsExamplesAndRejectsAnyChangedCharacter) {
    for (const char* good : {"RF18539007547034", "RF18 5390 0754 7034", "rf18539007547034",
                             "RF18000000000539007547034", "RF45G72UUR", "RF6518K5", "RF712348231"})
        EXPECT_TRUE(IsCreditorReference(good)) << good;
    for (const char* bad : {"RF19539007547034", "RF18539007547035", "RF18539007547043", "RF18",
                            "RF18-5390", "XX18539007547034", "RF1A539007547034",
                            "RF180000000000539007547034" /* 22 after the check */, ""})
        EXPECT_FALSE(IsCreditorReference(bad)) << bad;
}

TEST(CreditorReference, InvoiceReferencesCheckAndReadBackToTheirNumber) {
    for (const char* no : {"1", "123", "A2024-7", "99999999", "INV1234", "ZZZZZZZZZ"}) {
        auto ref = InvoiceReference(no);
        if (std::string_view(no).find('-') != std::string_view::npos) {
            EXPECT_FALSE(ref) << no;
            continue;
        }
        ASSERT_TRUE(ref) << no;
        EXPECT_TRUE(IsCreditorReference(*ref)) << *ref;
        auto back = ParseReference(*ref);
        ASSERT_TRUE(back) << *ref;
        EXPECT_EQ(back->kind, ReferenceKind::Invoice);
        EXPECT_EQ(back->number, no);
    }
}

TEST(CreditorReference, NumbersTheEditorTreatsAsEqualGiveOneReference) {
    EXPECT_EQ(InvoiceReference("0123"), InvoiceReference("123"));
    EXPECT_EQ(InvoiceReference(" 123  "), InvoiceReference("123"));
    EXPECT_EQ(InvoiceReference("ab12"), InvoiceReference("AB12"));
    EXPECT_EQ(InvoiceReference("000"), InvoiceReference("0"));
    EXPECT_NE(InvoiceReference("123"), InvoiceReference("1230"));
    ASSERT_TRUE(ParseReference(*InvoiceReference("0123")));
    EXPECT_EQ(ParseReference(*InvoiceReference("0123"))->number, "123");
}

TEST(CreditorReference, InvoiceAndCustomerReferencesNeverCollide) {
    auto inv = InvoiceReference("1001");
    auto cust = CustomerReference("1001");
    ASSERT_TRUE(inv && cust);
    EXPECT_NE(*inv, *cust);
    EXPECT_EQ(ParseReference(*cust), (ReferenceTarget{ReferenceKind::Customer, "1001"}));
    // Customer numbers keep their zeros: "0012" and "12" are two customers.
    EXPECT_NE(CustomerReference("0012"), CustomerReference("12"));
    EXPECT_EQ(ParseReference(*CustomerReference("0012"))->number, "0012");
}

TEST(CreditorReference, NumbersOutsideTheAlphabetGetNone) {
    for (const char* no : {"", "   ", "12/34", "12 34", "A.1",
                           "N\xC2\xBA"
                           "5",
                           "\xC3\x84"
                           "1"})
        EXPECT_FALSE(InvoiceReference(no)) << no;
    EXPECT_FALSE(CustomerReference("00-1"));
    EXPECT_FALSE(CustomerReference(""));
}

TEST(CreditorReference, ReadingBackRefusesWhatTheMappingNeverWrites) {
    auto withBody = [](const std::string& body) {
        int r = 0;
        for (char c : body + "RF00")
            r = c >= '0' && c <= '9' ? (r * 10 + (c - '0')) % 97 : (r * 100 + c - 'A' + 10) % 97;
        const int check = 98 - r;
        return "RF" + std::string(1, char('0' + check / 10)) + char('0' + check % 10) + body;
    };
    ASSERT_TRUE(IsCreditorReference(withBody("3123")));
    EXPECT_FALSE(ParseReference(withBody("3123")));         // unknown kind digit
    EXPECT_FALSE(ParseReference(withBody("1")));            // no number
    EXPECT_FALSE(ParseReference(withBody("11234567890")));  // longer than the field
    // A bank that kept zeros in the body still names the same invoice.
    EXPECT_EQ(ParseReference(withBody("10000000123"))->number, "123");
    EXPECT_FALSE(ParseReference("RF19539007547034"));
    EXPECT_FALSE(ParseReference("invoice 123"));
}

TEST(QrReference, CheckDigitMatchesTheSwissExampleAndCatchesSwaps) {
    EXPECT_EQ(Mod10RecursiveDigit("21000000000313947143000901"), '7');
    EXPECT_TRUE(IsQrReference("210000000003139471430009017"));
    EXPECT_TRUE(IsQrReference("21 00000 00003 13947 14300 09017"));
    EXPECT_FALSE(IsQrReference("210000000003139471430009018"));
    EXPECT_FALSE(IsQrReference("120000000003139471430009017"));  // two digits swapped
    EXPECT_FALSE(IsQrReference("21000000000313947143000901"));   // too short
    EXPECT_FALSE(Mod10RecursiveDigit("12A"));
    EXPECT_EQ(PrintedReference("210000000003139471430009017"), "21 00000 00003 13947 14300 09017");
    EXPECT_EQ(PrintedReference("RF18539007547034"), "RF18 5390 0754 7034");
}

TEST(QrReference, FollowsTheSameMappingAsTheCreditorReference) {
    auto qrr = InvoiceQrReference("0123");
    ASSERT_TRUE(qrr);
    EXPECT_EQ(qrr->size(), 27u);
    EXPECT_TRUE(IsQrReference(*qrr));
    EXPECT_EQ(*qrr, *InvoiceQrReference("123"));
    EXPECT_EQ(ParseReference(*qrr), ParseReference(*InvoiceReference("123")));
    EXPECT_EQ(ParseReference(*InvoiceQrReference("0"))->number, "0");
    // Letters cannot be carried by digits only; a customer's leading zeros would be lost.
    EXPECT_FALSE(InvoiceQrReference("A123"));
    EXPECT_FALSE(CustomerQrReference("0012"));
    auto cust = CustomerQrReference("1001");
    ASSERT_TRUE(cust);
    EXPECT_EQ(ParseReference(*cust), (ReferenceTarget{ReferenceKind::Customer, "1001"}));
    EXPECT_NE(*cust, *InvoiceQrReference("1001"));
}

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
