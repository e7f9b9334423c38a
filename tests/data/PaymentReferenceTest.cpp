// Structured payment references: the ISO 11649 creditor reference and the Swiss QR
// reference made from invoice and customer numbers, checked and read back.
#include "data/PaymentReference.h"

#include <gtest/gtest.h>

namespace invarro::data {
namespace {

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

}  // namespace
}  // namespace invarro::data
