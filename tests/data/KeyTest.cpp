// Key strings as the key table builds them, line numbering, and the fileblock kinds.

#include <gtest/gtest.h>

#include "data/Fileblocks.h"
#include "data/Keys.h"

namespace invarro::data {
namespace {

std::string Pad(std::string s, size_t n) {
    s.resize(n, ' ');
    return s;
}

TEST(Keys, TrimmedPaddedUpperCase) {
    CustomerRecord c;
    c.setText(Customer::Name, " \tacme café corp\r ");
    c.setText(Customer::CustNo, " 12a ");
    EXPECT_EQ(CustomerKey(c, 1), Pad("ACME CAF\xC9 CORP", 30));
    EXPECT_EQ(CustomerKey(c, 2), "12A     ");
    EXPECT_EQ(CustomerKey(c, 0), "");
    EXPECT_EQ(CustomerKey(c, 3), "");

    // 35 characters of name: the key keeps 30.
    c.setText(Customer::Name, "abcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(CustomerKey(c, 1), "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123");

    CompanyRecord co;
    co.setText(Company::CompanyNo, "7");
    EXPECT_EQ(CompanyKey(co, 1), "7    ");
    EXPECT_EQ(CompanyKey(co, 2), std::string(30, ' '));

    ProductRecord p;
    p.setText(Product::ProdCode, "w-10");
    p.setText(Product::Description, std::string(32, 'x'));
    EXPECT_EQ(ProductKey(p, 1), "W-10      ");
    EXPECT_EQ(ProductKey(p, 2), std::string(30, 'X'));

    MemoRecord m;
    m.setText(Memo::InvNo, "q12");
    EXPECT_EQ(MemoKey(m, 1), "Q12      ");
    EXPECT_EQ(MemoKey(m, 2), "");
}

TEST(Keys, NamesEqualApartFromCaseAndBlanksGiveTheSameKey) {
    CustomerRecord a, b;
    a.setText(Customer::Name, "Émile Zola");
    b.setText(Customer::Name, "  éMILE zola ");
    EXPECT_EQ(CustomerKey(a, 1), CustomerKey(b, 1));
}

TEST(Keys, InvoiceKeys) {
    InvoiceRecord inv;
    inv.setText(Invoice::InvNo, " i123 ");
    inv.setText(Invoice::TransType, "x");
    inv.setText(Invoice::CustNo, "c1");
    inv.setText(Invoice::KeyCode, "None");
    inv.setText(Invoice::SortDate, "2024/03/03");
    EXPECT_EQ(InvoiceKey(inv, 1), "I123     ");
    EXPECT_EQ(InvoiceKey(inv, 2), "C1      ");
    EXPECT_EQ(InvoiceKey(inv, 3), "2024/03/03");
    EXPECT_EQ(InvoiceKey(inv, 4), "NONE    ");
    EXPECT_EQ(InvoiceKey(inv, 5), "XI123     ");
    EXPECT_EQ(InvoiceKey(inv, 6), std::string(10, ' '));  // unpaid
    EXPECT_EQ(InvoiceKey(inv, 7), "");

    // The date keys are taken as stored: neither trimmed nor upper-cased.
    inv.setText(Invoice::SortDate, " 2024/3/3");
    inv.setText(Invoice::PaidDate, "paid");
    EXPECT_EQ(InvoiceKey(inv, 3), " 2024/3/3 ");
    EXPECT_EQ(InvoiceKey(inv, 6), "paid      ");

    // Type and number are trimmed each before they are joined.
    inv.setText(Invoice::TransType, " ");
    inv.setText(Invoice::InvNo, "DP15001");
    EXPECT_EQ(InvoiceKey(inv, 5), "DP15001   ");
}

TEST(Keys, LineNumberingAndLineKeys) {
    EXPECT_EQ(LineNoText(1), "01");
    EXPECT_EQ(LineNoText(7), "07");
    EXPECT_EQ(LineNoText(10), "10");
    EXPECT_EQ(LineNoText(99), "99");
    EXPECT_EQ(LineKeyText("123", "07"), "00000012307");
    EXPECT_EQ(LineKeyText(" 123 ", "07"), "00000012307");
    EXPECT_EQ(LineKeyText("I00012345", "99"), "I0001234599");

    InvoiceLineRecord line;
    line.setText(InvoiceLine::InvNo, "123");
    line.setText(InvoiceLine::LineNo, LineNoText(7));
    line.setText(InvoiceLine::LineKey, LineKeyText("123", LineNoText(7)));
    line.setText(InvoiceLine::LineDate, "2024/03/03");
    EXPECT_EQ(InvoiceLineKey(line, 1), "2024/03/03");
    EXPECT_EQ(InvoiceLineKey(line, 2), "123      ");
    EXPECT_EQ(InvoiceLineKey(line, 3), "00000012307");
    // Key 3 lists the lines of one invoice in row order.
    line.setText(InvoiceLine::LineKey, LineKeyText("123", LineNoText(10)));
    EXPECT_LT(LineKeyText("123", LineNoText(9)), InvoiceLineKey(line, 3));
}

TEST(Keys, EveryKindBuildsKeysOfItsDeclaredLengths) {
    for (FileKind k : kCompanyFileOrder) {
        const RecordKind& kind = KindOf(k);
        EXPECT_EQ(kind.kind, k);
        std::vector<uint8_t> rec(size_t(kind.recordLength), 0);
        for (int n = 1; n <= kind.keyCount(); ++n)
            EXPECT_EQ(int(kind.buildKey(rec.data(), n).size()), kind.keys[size_t(n - 1)].length)
                << kind.recordName << " key " << n;
        EXPECT_EQ(kind.buildKey(rec.data(), kind.keyCount() + 1), "");
    }
}

TEST(Fileblocks, KindFromName) {
    auto kindOf = [](std::string_view n) {
        const RecordKind* k = KindFromFileblockName(n);
        return k ? std::string(k->recordName) : std::string("-");
    };
    EXPECT_EQ(kindOf("Company"), "CompanyRecord");
    EXPECT_EQ(kindOf("/data/x/Company.DAT"), "CompanyRecord");
    EXPECT_EQ(kindOf("company"), "CompanyRecord");
    EXPECT_EQ(kindOf("12C"), "CustomerRecord");
    EXPECT_EQ(kindOf("12c.IX"), "CustomerRecord");
    EXPECT_EQ(kindOf("1I"), "InvoiceRecord");
    EXPECT_EQ(kindOf("1N"), "InvoiceLineRecord");
    EXPECT_EQ(kindOf("32000M"), "MemoRecord");
    EXPECT_EQ(kindOf("/tmp/9P"), "ProductRecord");
    for (const char* n : {"32001C", "0C", "012C", "12X", "C", "1D", "-1C", "Companies", "", "1 C"})
        EXPECT_EQ(kindOf(n), "-") << n;
}

TEST(Fileblocks, NamesOfACompanysFiles) {
    EXPECT_EQ(FileblockName("/d", FileKind::Company), "/d/Company");
    EXPECT_EQ(FileblockName("/d/", FileKind::Customer, "12"), "/d/12C");
    EXPECT_EQ(FileblockName("/d", FileKind::InvoiceLine, CompanyPrefix(3)), "/d/3N");
    EXPECT_EQ(CompanyPrefix(" 12  "), "12");
    EXPECT_EQ(CompanyPrefix("0"), "");
    EXPECT_EQ(CompanyPrefix("32001"), "");
    EXPECT_EQ(CompanyPrefix("1a"), "");
}

}  // namespace
}  // namespace invarro::data
