// The e-invoicing data: identifiers checked by their check digits, codes, the company's
// settings in the INI file and the customer and product records of the company's
// e-invoicing fileblock.

#include <gtest/gtest.h>

#include "DataFixture.h"
#include "data/EInvoiceData.h"
#include "data/IniFile.h"
#include "data/Posting.h"

namespace invarro::data {
namespace {

TEST(EInvoiceIds, IbanCheckDigitsLengthAndForm) {
    EXPECT_EQ(IbanProblem("DE89370400440532013000"), "");
    EXPECT_EQ(IbanProblem("de89 3704 0044 0532 0130 00"), "");  // as printed on a card
    EXPECT_EQ(IbanProblem("GB82WEST12345698765432"), "");
    EXPECT_EQ(IbanProblem("FR7630006000011234567890189"), "");
    // One digit changed, two digits swapped.
    EXPECT_EQ(IbanProblem("DE89370400440532013001"),
              "The check digits of the IBAN DE89370400440532013001 are wrong.");
    EXPECT_NE(IbanProblem("DE89370400440532010300"), "");
    // A German IBAN has 22 characters.
    EXPECT_NE(IbanProblem("DE8937040044053201300").find("has 21 characters"), std::string::npos);
    for (const char* bad : {"", "DE", "1234567890123456", "DEXX370400440532013000",
                            "DE89-3704/0044053201300", "DE89370400440532013000DE8937040044053"})
        EXPECT_NE(IbanProblem(bad), "") << bad;
}

TEST(EInvoiceIds, VatNumbersByTheirCountrysRule) {
    for (const char* good :
         {"DE123456788", "DE 123 456 788", "ATU12345675", "BE0411905847", "FR32123456789",
          "IT00743110157", "NL004495445B01", "LU26375245", "DK13585628", "FI20774740",
          "PL5260250274", "PT501964843", "ESB12345678", "EL123456789", "CHE123456789"})
        EXPECT_EQ(VatIdProblem(good), "") << good;
    // Each with its last digit off by one.
    for (const char* bad : {"DE123456789", "ATU12345676", "BE0411905848", "FR33123456789",
                            "IT00743110158", "NL004495446B01", "LU26375246", "DK13585629",
                            "FI20774741", "PL5260250275", "PT501964844"})
        EXPECT_EQ(VatIdProblem(bad),
                  "The check digit of the VAT number " + std::string(bad) + " is wrong.")
            << bad;
    EXPECT_EQ(VatIdProblem("XX123456789"),
              "The VAT number XX123456789 does not begin with a country code.");
    for (const char* bad : {"", "DE", "123456789", "DE12345678", "DE12345678901234567"})
        EXPECT_NE(VatIdProblem(bad), "") << bad;
}

TEST(EInvoiceIds, BicCountryCurrencyAndUnitCodes) {
    EXPECT_EQ(BicProblem("COBADEFFXXX"), "");
    EXPECT_EQ(BicProblem("COBADEFF"), "");
    EXPECT_NE(BicProblem("COBADEF"), "");
    EXPECT_NE(BicProblem("COBAXXFF"), "");  // XX is no country
    EXPECT_NE(BicProblem("C0BADEFF"), "");  // a digit in the bank code
    EXPECT_TRUE(IsCountryCode("DE"));
    EXPECT_TRUE(IsCountryCode("US"));
    EXPECT_FALSE(IsCountryCode("EL"));
    EXPECT_FALSE(IsCountryCode("de"));
    EXPECT_FALSE(IsCountryCode("D"));
    EXPECT_FALSE(IsCountryCode("DE FR"));
    EXPECT_TRUE(IsCurrencyCode("EUR"));
    EXPECT_TRUE(IsCurrencyCode("CHF"));
    EXPECT_FALSE(IsCurrencyCode("EURO"));
    EXPECT_FALSE(IsCurrencyCode("XYZ"));
    EXPECT_FALSE(IsCurrencyCode("UR "));
    EXPECT_EQ(CurrencyFromSymbol("€"), "EUR");
    EXPECT_EQ(CurrencyFromSymbol("£"), "GBP");
    // Shared by several currencies: the company chooses.
    EXPECT_EQ(CurrencyFromSymbol("$"), "");
    EXPECT_EQ(CurrencyFromSymbol("¥"), "");
    EXPECT_EQ(CurrencyFromSymbol(""), "");
    EXPECT_TRUE(IsUnitCode("C62"));
    EXPECT_TRUE(IsUnitCode("HUR"));
    EXPECT_FALSE(IsUnitCode("C6"));
    EXPECT_FALSE(IsUnitCode("PCS"));
    EXPECT_EQ(DefaultUnitCode("Design work, per hour"), "HUR");
    EXPECT_EQ(DefaultUnitCode("Labor, hourly"), "HUR");
    EXPECT_EQ(DefaultUnitCode("Mulch, per cubic yard"), "C62");
}

TEST(EInvoiceIds, ElectronicAddresses) {
    auto mail = ParseElectronicAddress(" billing@example.de ");
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->scheme, "EM");
    EXPECT_EQ(mail->id, "billing@example.de");
    auto gln = ParseElectronicAddress("0088:4000001000005");
    ASSERT_TRUE(gln);
    EXPECT_EQ(gln->scheme, "0088");
    EXPECT_EQ(gln->id, "4000001000005");
    for (const char* bad :
         {"", "billing", "@example.de", "a@b@c", "a b@c.de", ":123", "0088:", "TOOLONG:1"})
        EXPECT_FALSE(ParseElectronicAddress(bad)) << bad;
}

TEST(EInvoiceSettings, KeptPerCompanyInTheIniFile) {
    invarro::testing::TempDir dir;
    IniFile ini(IniFilePath(dir.path()));
    CompanyEInvoice e;
    e.on = true;
    e.vatId = "DE123456788";
    e.taxRegistration = "143/123/45678";
    e.country = "DE";
    e.electronicAddress = "rechnung@lindenhof.example";
    e.currency = "EUR";
    e.iban = "DE41500105170123456789";
    e.bic = "INGDDEFFXXX";
    e.exempt = ExemptCategory::Exempt;
    e.exemptionReason = "Steuerfrei nach § 4 UStG";
    e.paper = "Letter";
    ASSERT_TRUE(WriteCompanyEInvoice(ini, " 3", e));
    // Read back from the file, and another company's settings stay apart.
    IniFile again(IniFilePath(dir.path()));
    EXPECT_EQ(ReadCompanyEInvoice(again, "3"), e);
    EXPECT_EQ(ReadCompanyEInvoice(again, "1"), CompanyEInvoice{});
    EXPECT_EQ(again.read("E-Invoice 3", "VatId").value_or(""), "DE123456788");
    // A company number that is none has no settings and writes nothing.
    EXPECT_TRUE(WriteCompanyEInvoice(again, "x", e));
    EXPECT_EQ(ReadCompanyEInvoice(again, "x"), CompanyEInvoice{});
}

TEST(EInvoiceSettings, ThePaperIsTheOneChosenElseTheCountrys) {
    CompanyEInvoice e;
    // No country: Letter, as before the setting existed.
    EXPECT_EQ(CompanyPaper(e), PaperSize::Letter);
    for (const char* letter : {"US", "ca", " MX", "PH", "CL", "PR"}) {
        e.country = letter;
        EXPECT_EQ(CompanyPaper(e), PaperSize::Letter) << letter;
    }
    for (const char* a4 : {"DE", "FR", "GB", "AU", "JP", "IN", "ZA", "BR"}) {
        e.country = a4;
        EXPECT_EQ(CompanyPaper(e), PaperSize::A4) << a4;
    }
    // A choice holds whatever the country; a setting that names no paper is refused.
    e.paper = "letter";
    EXPECT_EQ(CompanyPaper(e), PaperSize::Letter);
    e.country = "US";
    e.paper = " A4 ";
    EXPECT_EQ(CompanyPaper(e), PaperSize::A4);
    EXPECT_EQ(CompanyEInvoiceProblem(e), "");
    e.paper = "Legal";
    EXPECT_EQ(CompanyPaper(e), PaperSize::Letter);
    EXPECT_EQ(CompanyEInvoiceProblem(e), "\"Legal\" is not a paper size (A4 or Letter).");
    EXPECT_EQ(PaperName(PaperSize::A4), "A4");
    EXPECT_EQ(ParsePaper(PaperName(PaperSize::Letter)), PaperSize::Letter);
    EXPECT_FALSE(ParsePaper(""));
}

TEST(EInvoiceSettings, CheckedAsCompanyOptionsChecksThem) {
    CompanyEInvoice e;
    EXPECT_EQ(CompanyEInvoiceProblem(e), "");  // nothing given, nothing wrong
    e.on = true;
    EXPECT_EQ(CompanyEInvoiceProblem(e), "An e-invoice needs the seller's country.");
    e.country = "DE";
    EXPECT_EQ(CompanyEInvoiceProblem(e),
              "An e-invoice needs the seller's VAT number or tax number.");
    e.vatId = "DE123456789";
    EXPECT_EQ(CompanyEInvoiceProblem(e), "The check digit of the VAT number DE123456789 is wrong.");
    e.vatId = "DE123456788";
    EXPECT_EQ(CompanyEInvoiceProblem(e), "");
    e.iban = "DE41500105170123456780";
    EXPECT_EQ(CompanyEInvoiceProblem(e),
              "The check digits of the IBAN DE41500105170123456780 are wrong.");
    e.iban.clear();
    e.bic = "INGDDEFFXXX";
    EXPECT_EQ(CompanyEInvoiceProblem(e), "A BIC needs the IBAN of its account.");
    e.bic.clear();
    e.currency = "EUX";
    EXPECT_EQ(CompanyEInvoiceProblem(e), "\"EUX\" is not a currency code (ISO 4217, such as EUR).");
    e.currency = "EUR";
    e.exempt = ExemptCategory::Exempt;
    EXPECT_EQ(CompanyEInvoiceProblem(e), "Exempt lines need the reason of the exemption.");
    e.exemptionReason = "Exempt";
    e.country = "Germany";
    EXPECT_NE(CompanyEInvoiceProblem(e), "");

    CompanyRecord company;
    company.setText(Company::CurrencySymbol, "€");
    CompanyEInvoice plain;
    EXPECT_EQ(InvoiceCurrency(plain, company), "EUR");
    company.setText(Company::CurrencySymbol, "$");
    EXPECT_EQ(InvoiceCurrency(plain, company), "");
    plain.currency = "CAD";
    EXPECT_EQ(InvoiceCurrency(plain, company), "CAD");
}

class EInvoiceFileTest : public DataTest {};

TEST_F(EInvoiceFileTest, CustomerAndProductRecordsStoredFoundChangedAndRemoved) {
    storage::Fileblock* fb = createOpen(FileKind::EInvoice);
    ASSERT_NE(fb, nullptr);
    const CustomerEInvoice c{"FR", "FR32123456789", "LEITWEG-1", "achats@client.example"};
    ASSERT_TRUE(StoreEInvoiceRecord(fb, CustomerEInvoiceRecord("100", c), false, prompter));
    ASSERT_TRUE(StoreEInvoiceRecord(fb, ProductUnitRecord("100", "HUR"), false, prompter));
    // Customer 100 and product 100 are two records.
    auto found = FindEInvoiceRecord(fb, 'C', "100");
    ASSERT_TRUE(found);
    EXPECT_EQ(CustomerEInvoiceOf(found->second), c);
    auto unit = FindEInvoiceRecord(fb, 'P', "100");
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->second.text(EInvoice::UnitCode), "HUR");
    // A number that only begins like a stored one finds nothing.
    EXPECT_FALSE(FindEInvoiceRecord(fb, 'C', "10"));
    EXPECT_FALSE(FindEInvoiceRecord(fb, 'C', "1000"));
    EXPECT_FALSE(FindEInvoiceRecord(nullptr, 'C', "100"));

    // Changed in place: still one record.
    CustomerEInvoice changed = c;
    changed.buyerReference = "04011000-12345-67";
    ASSERT_TRUE(StoreEInvoiceRecord(fb, CustomerEInvoiceRecord("100", changed), false, prompter));
    EXPECT_EQ(storage::UsedRecordCount(fb), 2);
    EXPECT_EQ(CustomerEInvoiceOf(FindEInvoiceRecord(fb, 'C', "100")->second), changed);

    // Inside a posting that is dropped, nothing stays.
    {
        Posting p;
        ASSERT_TRUE(p.started());
        ASSERT_TRUE(StoreEInvoiceRecord(fb, CustomerEInvoiceRecord("200", c), false, prompter));
    }
    EXPECT_FALSE(FindEInvoiceRecord(fb, 'C', "200"));

    ASSERT_TRUE(StoreEInvoiceRecord(fb, CustomerEInvoiceRecord("100", {}), true, prompter));
    EXPECT_FALSE(FindEInvoiceRecord(fb, 'C', "100"));
    EXPECT_TRUE(FindEInvoiceRecord(fb, 'P', "100"));
    // Removing what is not there is no failure.
    EXPECT_TRUE(StoreEInvoiceRecord(fb, CustomerEInvoiceRecord("100", {}), true, prompter));
    closeAndCheck(fb, name(FileKind::EInvoice));

    // Read by customer number through the folder.
    EXPECT_EQ(ReadCustomerEInvoice(dir.path(), "1", "100", prompter), CustomerEInvoice{});
    EXPECT_EQ(ReadCustomerEInvoice(dir.path(), "2", "100", prompter), CustomerEInvoice{});
}

TEST(EInvoiceFileName, TheFileblockHasItsOwnLetter) {
    EXPECT_EQ(FileblockName("/d", FileKind::EInvoice, "3"), "/d/3E");
    const RecordKind* k = KindFromFileblockName("/d/3E.DAT");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->kind, FileKind::EInvoice);
    EXPECT_EQ(k->recordLength, EInvoice::kLength);
}

}  // namespace
}  // namespace invarro::data
