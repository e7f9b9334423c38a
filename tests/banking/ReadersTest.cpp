#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "banking/Camt.h"
#include "banking/Csv.h"
#include "banking/Mt940.h"
#include "banking/Ofx.h"
#include "banking/Statement.h"
#include "data/Ansi.h"

namespace invarro::banking {
namespace {

std::string Data(const std::string& name) {
    std::ifstream in(std::string(INVARRO_BANKING_DATA) + "/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    EXPECT_FALSE(s.str().empty()) << name;
    return s.str();
}

TEST(Amounts, EveryFormBanksWriteReadsExactly) {
    const std::vector<std::tuple<std::string, bool, std::string>> cases = {
        {"1.234,56", true, "1234.56"},
        {"-1.000,00", true, "-1000.00"},
        {"1.234,56-", true, "-1234.56"},
        {"(12.34)", false, "-12.34"},
        {"\xE2\x88\x92"
         "5,00",
         true, "-5.00"},
        {"+7,5", true, "7.5"},
        {"1,234,567.891", false, "1234567.891"},
        {"0,00125", true, "0.00125"},
        {"100", true, "100"},
        {"0007,10", true, "7.10"},
        {"-0,00", true, "0.00"},
        {"1\xC2\xA0"
         "234,00",
         true, "1234.00"},
        {"(1.234,56)", true, "-1234.56"},
    };
    for (const auto& [text, comma, want] : cases)
        EXPECT_EQ(CanonicalAmount(text, comma), want) << text;
    for (const char* bad :
         {"", "-", "12,3,4", "1.23.45", "abc", "1.2345,00", "12,", "--5", "12.34.", "(12.34"})
        EXPECT_FALSE(CanonicalAmount(bad, true)) << bad;
}

TEST(Amounts, CentsOnlyWhenNothingLiesBeyondTheCent) {
    EXPECT_EQ(CentsOf("1234.56")->cents(), 123456);
    EXPECT_EQ(CentsOf("-7.5")->cents(), -750);
    EXPECT_EQ(CentsOf("100")->cents(), 10000);
    EXPECT_EQ(CentsOf("12.340")->cents(), 1234);
    EXPECT_FALSE(CentsOf("12.345"));
    EXPECT_FALSE(CentsOf("0.00125"));
    EXPECT_EQ(Negated("12.00"), "-12.00");
    EXPECT_EQ(Negated("-12.00"), "12.00");
    EXPECT_EQ(Negated("0.00"), "0.00");
}

TEST(Camt, OwnStatementInVersions02And08GivesTheSameBookedLines) {
    for (const char* file : {"own.camt053.v8.xml", "own.camt053.v2.xml"}) {
        SCOPED_TRACE(file);
        ReadResult r = ReadCamt(Data(file));
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.pending, 1);  // the PDNG entry is not stored as booked
        ASSERT_EQ(r.lines.size(), 6u);
        const StatementLine& ref = r.lines[0];
        EXPECT_EQ(ref.account, "DE89370400440532013000");
        EXPECT_EQ(ref.bookDate, (data::Date{2024, 12, 31}));
        EXPECT_EQ(ref.amount, "1190.00");
        EXPECT_EQ(ref.currency, "EUR");
        EXPECT_EQ(ref.reference, "RF18539007547034");
        EXPECT_EQ(ref.payerName, "MUELLER GMBH");
        EXPECT_EQ(ref.payerIban, "DE44500105175407324931");
        EXPECT_EQ(ref.bankId, "BANK-0001");
        EXPECT_TRUE(ref.endToEnd.empty());  // NOTPROVIDED
        // A batch: one line per transaction with its own amount and id.
        EXPECT_EQ(r.lines[1].amount, "100.00");
        EXPECT_EQ(r.lines[1].payerName, "Jürgen Weiß");
        EXPECT_EQ(r.lines[1].bankId, "BANK-0002-A");
        EXPECT_EQ(r.lines[1].text, "Rechnung 4711");
        EXPECT_EQ(r.lines[2].amount, "200.00");
        EXPECT_EQ(r.lines[2].payerName, "Søren Ødegård");
        EXPECT_EQ(r.lines[2].bankId, "BANK-0002/2");
        EXPECT_EQ(r.lines[1].bookDate, (data::Date{2025, 1, 2}));
        // A reversal keeps the debit the bank booked.
        EXPECT_EQ(r.lines[3].amount, "-1190.00");
        EXPECT_TRUE(r.lines[3].reversal);
        // Foreign payment: what reached the account after the charges.
        EXPECT_EQ(r.lines[4].amount, "97.55");
        EXPECT_EQ(r.lines[4].currency, "EUR");
        // Three decimals and another currency, the QR reference under Prtry.
        EXPECT_EQ(r.lines[5].amount, "12.345");
        EXPECT_EQ(r.lines[5].currency, "CHF");
        EXPECT_EQ(r.lines[5].reference, "210000000003139471430009017");
    }
}

TEST(Camt, PublicSamplesOfEveryVersionAndMessage) {
    struct Case {
        const char* file;
        std::size_t lines;
        const char* firstAmount;
        const char* account;
    };
    for (const Case& c :
         {Case{"camt053.v2.minimal.xml", 1, "8.85", "NL26VAYB8060476890"},
          Case{"camt053.v2.five.decimals.xml", 1, "8.850", "NL26VAYB8060476890"},
          Case{"camt053.v2.multi.statement.xml", 2, "8.85", "NL26VAYB8060476890"},
          Case{"camt053.v4.xml", 1, "8.85", "NL26VAYB8060476890"},
          Case{"camt053.v8.xml", 1, "8.85", "NL26VAYB8060476890"},
          Case{"camt054.v2.xml", 1, "-200000", ""},
          Case{"camt054.v8.xml", 3, "3.1", "CH2801234000123456789"},
          Case{"camt054.v8-with-UETR.xml", 1, "-200000", "CH2801234000123456789"}}) {
        SCOPED_TRACE(c.file);
        ReadResult r = ReadCamt(Data(c.file));
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.lines.size(), c.lines);
        if (*c.firstAmount) {
            EXPECT_EQ(r.lines[0].amount, c.firstAmount);
        }
        if (*c.account) {
            EXPECT_EQ(r.lines[0].account, c.account);
        }
    }
    // The second statement of a file keeps its own debit.
    ReadResult multi = ReadCamt(Data("camt053.v2.multi.statement.xml"));
    EXPECT_EQ(multi.lines[1].amount, "-7.00");
    // A v8 booking date given as date and time.
    EXPECT_EQ(ReadCamt(Data("camt053.v8.xml")).lines[0].bookDate, (data::Date{2014, 12, 31}));
}

TEST(Camt, BadDocumentsFailWithTheirLineAndReason) {
    ReadResult broken = ReadCamt("<?xml version=\"1.0\"?>\n<Document>\n<Unclosed>\n</Document>");
    EXPECT_FALSE(broken.ok);
    EXPECT_EQ(broken.errorLine, 4);
    EXPECT_FALSE(broken.error.empty());
    ReadResult other =
        ReadCamt("<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.052.001.02\"></Document>");
    EXPECT_FALSE(other.ok);
    EXPECT_NE(other.error.find("camt.052"), std::string::npos);
    std::string noDate = Data("own.camt053.v8.xml");
    noDate.replace(noDate.find("<BookgDt><Dt>2024-12-31</Dt>"), 28, "<BookgDt><Dt>2024-12-32</Dt>");
    ReadResult bad = ReadCamt(noDate);
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.lines.empty());
    EXPECT_GT(bad.errorLine, 5);
    // An entity that would reach outside the file is not fetched.
    ReadResult entity = ReadCamt(
        "<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
        "<Document xmlns=\"urn:iso:std:iso:20022:tech:xsd:camt.053.001.02\"><BkToCstmrStmt>"
        "<Stmt><Ntry><Amt Ccy=\"EUR\">1.00</Amt><CdtDbtInd>CRDT</CdtDbtInd><Sts>BOOK</Sts>"
        "<BookgDt><Dt>2025-01-01</Dt></BookgDt><AddtlNtryInf>&x;</AddtlNtryInf></Ntry></Stmt>"
        "</BkToCstmrStmt></Document>");
    ASSERT_TRUE(entity.ok) << entity.error;
    ASSERT_EQ(entity.lines.size(), 1u);
    EXPECT_EQ(entity.lines[0].text.find("root:"), std::string::npos);
}

TEST(Mt940, GermanSubfieldsReversalsAndTheYearEnd) {
    ReadResult r = ReadMt940(Data("own.mt940.sta"));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.lines.size(), 5u);
    const StatementLine& first = r.lines[0];
    EXPECT_EQ(first.account, "37040044/0532013000");
    EXPECT_EQ(first.currency, "EUR");
    EXPECT_EQ(first.bookDate, (data::Date{2025, 1, 2}));  // valued 31 Dec, booked in January
    EXPECT_EQ(first.valueDate, "20241231");
    EXPECT_EQ(first.amount, "1190.00");
    EXPECT_EQ(first.bankId, "BANKREF-1");
    EXPECT_EQ(first.endToEnd, "RF18539007547034");
    EXPECT_EQ(first.reference, "RF18539007547034");
    EXPECT_EQ(first.text, "Rechnung 4711 vom 15.12.2024 K-77");
    EXPECT_EQ(first.payerName, "MÜLLER GMBH ZWEIGSTELLE KÖLN");  // Latin-1 read as such
    EXPECT_EQ(first.payerIban, "DE44500105175407324931");
    EXPECT_EQ(r.lines[1].amount, "-25");  // no decimals written
    EXPECT_FALSE(r.lines[1].reversal);
    EXPECT_EQ(r.lines[2].amount, "-1190.00");  // RC: a credit taken back
    EXPECT_TRUE(r.lines[2].reversal);
    EXPECT_EQ(r.lines[3].amount, "7.5");  // RD: a debit taken back
    EXPECT_TRUE(r.lines[3].reversal);
    EXPECT_TRUE(r.lines[3].bankId.empty());
    EXPECT_EQ(r.lines[4].reference, "RF18539007547034");  // printed with blanks in the text
    EXPECT_EQ(r.lines[4].payerName, "Frédéric Blanc");
}

TEST(Mt940, ABadStatementLineFailsWithItsLine) {
    const std::string text =
        ":20:X\n:25:DE89370400440532013000\n:60F:C250101EUR0,00\n"
        ":61:2501010101CR10,00NTRFNONREF\n:61:250101XX5,00NTRF\n";
    ReadResult r = ReadMt940(text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorLine, 5);
    EXPECT_NE(r.error.find("mark"), std::string::npos);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_FALSE(ReadMt940(":20:X\n:61:251301C5,00NTRF\n").ok);  // month 13
    EXPECT_FALSE(ReadMt940(":20:X\n:61:250101C5.00NTRF\n").ok);  // no decimal comma
}

CsvMapping GermanMapping() {
    CsvMapping m;
    m.date = "Buchungstag";
    m.amount = "Betrag";
    m.name = "Auftraggeber";
    m.iban = "IBAN";
    m.text = "Verwendungszweck";
    m.defaultAccount = "DE89370400440532013000";
    return m;
}

TEST(Csv, LinesAboveTheHeaderAndBelowTheDataAreSkipped) {
    const std::string file =
        "Kontoauszug;DE89370400440532013000\n"
        "Zeitraum;01.12.2024 - 31.12.2024\n"
        "\n"
        "Buchungstag;Auftraggeber;IBAN;Verwendungszweck;Betrag\n"
        "31.12.2024;M\xDCLLER GMBH;DE44500105175407324931;\"Rechnung 4711; Dank\";1.190,00\n"
        "30.12.2024;Bank;;Geb\xFChr;-4,90\n"
        "29.12.2024;Shop;;Storno;4,90-\n"
        "\n"
        "Endsaldo;;;;1.190,00\n";
    ReadResult r = ReadCsv(file, GermanMapping());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].bookDate, (data::Date{2024, 12, 31}));
    EXPECT_EQ(r.lines[0].amount, "1190.00");
    EXPECT_EQ(r.lines[0].payerName, "MÜLLER GMBH");
    EXPECT_EQ(r.lines[0].text, "Rechnung 4711; Dank");
    EXPECT_EQ(r.lines[0].currency, "EUR");
    EXPECT_EQ(r.lines[0].account, "DE89370400440532013000");
    EXPECT_EQ(r.lines[1].amount, "-4.90");
    EXPECT_EQ(r.lines[1].text, "Gebühr");
    EXPECT_EQ(r.lines[2].amount, "-4.90");
}

TEST(Csv, SeparateCreditAndDebitColumnsInUsForm) {
    CsvMapping m;
    m.delimiter = ',';
    m.decimalComma = false;
    m.dateOrder = CsvDateOrder::MonthDayYear;
    m.date = "Date";
    m.credit = "Credit";
    m.debit = "Debit";
    m.name = "Description";
    m.currency = "Currency";
    m.bankId = "Transaction ID";
    const std::string file =
        "Date,Description,Debit,Credit,Currency,Transaction ID\r\n"
        "12/31/2024,ACME LTD,,\"1,234.50\",USD,T1\r\n"
        "01/01/2025,Fee,(2.00),,USD,T2\r\n"
        "01/02/2025,Refund,3.00,,USD,T3\r\n";
    ReadResult r = ReadCsv(file, m);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.lines.size(), 3u);
    EXPECT_EQ(r.lines[0].amount, "1234.50");
    EXPECT_EQ(r.lines[0].currency, "USD");
    EXPECT_EQ(r.lines[0].bankId, "T1");
    EXPECT_EQ(r.lines[1].amount, "-2.00");  // a debit whether or not written negative
    EXPECT_EQ(r.lines[2].amount, "-3.00");
    EXPECT_EQ(r.lines[2].bookDate, (data::Date{2025, 1, 2}));
}

TEST(Csv, BadInputIsReportedWithItsLine) {
    CsvMapping m = GermanMapping();
    const std::string header = "Buchungstag;Auftraggeber;IBAN;Verwendungszweck;Betrag\n";
    ReadResult r = ReadCsv(header + "01.01.2025;A;;x;12,00\n02.01.2025;B;;y;zwölf\n", m);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.errorLine, 3);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_FALSE(ReadCsv("Datum;Summe\n01.01.2025;1,00\n", m).ok);  // headers not there
    EXPECT_EQ(ReadCsv(header + "01.01.2025;\"open;;x;1,00\n", m).errorLine, 2);
    CsvMapping both = m;
    both.credit = "Haben";
    both.debit = "Soll";
    EXPECT_FALSE(CsvMappingProblem(both).empty());
    CsvMapping none = m;
    none.amount.clear();
    EXPECT_FALSE(CsvMappingProblem(none).empty());
    EXPECT_FALSE(ReadCsv(header, none).ok);
}

}  // namespace
}  // namespace invarro::banking

namespace invarro::banking {
namespace {

TEST(Ofx, Version1SgmlInWindows1252AndVersion2XmlGiveTheSameLines) {
    for (const char* file : {"own.ofx1.ofx", "own.ofx2.ofx"}) {
        SCOPED_TRACE(file);
        const std::string bytes = Data(file);
        EXPECT_TRUE(LooksLikeOfx(bytes));
        ReadResult r = ReadOfx(bytes);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_GE(r.lines.size(), 2u);
        const StatementLine& first = r.lines[0];
        EXPECT_EQ(first.account, "DE89370400440532013000");
        EXPECT_EQ(first.bookDate, (data::Date{2024, 12, 31}));
        EXPECT_EQ(first.amount, "1190.00");  // as written, never through a double
        EXPECT_EQ(first.currency, "EUR");
        EXPECT_EQ(first.bankId, "OFX-1");
        EXPECT_EQ(data::UpperText(first.payerName), "MÜLLER GMBH");
        EXPECT_EQ(first.text, "Rechnung RF18 5390 0754 7034 & Dank");
        EXPECT_EQ(first.reference, "RF18539007547034");
        EXPECT_EQ(r.lines[1].bookDate, (data::Date{2025, 1, 2}));
    }
    ReadResult sgml = ReadOfx(Data("own.ofx1.ofx"));
    ASSERT_EQ(sgml.lines.size(), 3u);
    EXPECT_EQ(sgml.lines[1].amount, "-4.5");
    EXPECT_EQ(sgml.lines[2].amount, "100");
    EXPECT_EQ(sgml.lines[2].payerName, "ACME LTD");  // the payee aggregate's name
    EXPECT_EQ(sgml.lines[2].currency, "USD");
    EXPECT_EQ(ReadOfx(Data("own.ofx2.ofx")).lines[1].amount, "-4.50");  // decimal comma
}

TEST(Ofx, BadFilesFailWithTheTransactionsLine) {
    EXPECT_FALSE(ReadOfx("OFXHEADER:100\n\nno body").ok);
    ReadResult noDate = ReadOfx(
        "<OFX>\n<STMTRS><CURDEF>EUR\n<STMTTRN><TRNTYPE>CREDIT<TRNAMT>1.00</STMTTRN>\n</OFX>");
    EXPECT_FALSE(noDate.ok);
    EXPECT_EQ(noDate.errorLine, 3);
    ReadResult badAmount =
        ReadOfx("<OFX>\n<STMTTRN><DTPOSTED>20250101<TRNAMT>1.0.0</STMTTRN>\n</OFX>");
    EXPECT_FALSE(badAmount.ok);
    EXPECT_NE(badAmount.error.find("1.0.0"), std::string::npos);
    EXPECT_FALSE(ReadOfx("<OFX>\n<STMTTRN><DTPOSTED>20250101<TRNAMT>1.00\n").ok);
    EXPECT_FALSE(ReadOfx("<OFX>\n<STMTTRN><DTPOSTED>20250101<TRNAMT>1.00</STMTTRN").ok);
}

}  // namespace
}  // namespace invarro::banking
