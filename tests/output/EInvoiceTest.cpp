// The mapping of a stored invoice onto the electronic invoice: categories, lines, notes,
// totals, credit notes and the refusals where the books would make a wrong one.

#include <gtest/gtest.h>

#include <regex>

#include "data/Company.h"
#include "data/PaymentReference.h"
#include "output/EInvoice.h"

namespace invarro::output {
namespace {

using data::Money;

DocumentLine Row(std::string code, std::string qty, std::string desc, std::string price,
                 std::string taxable, std::string ext) {
    DocumentLine l;
    l.code = std::move(code);
    l.quantity = qty;
    l.description = std::move(desc);
    l.price = std::move(price);
    l.taxable = std::move(taxable);
    l.extension = std::move(ext);
    std::string bare;
    for (char c : qty)
        if (c != ',') bare += c;
    l.quantityValue = data::ParseDecimal(bare).value_or(data::Decimal());
    return l;
}

// The text of every element with this tag, in document order.
std::vector<std::string> All(const std::string& xml, const std::string& tag) {
    std::vector<std::string> out;
    const std::regex re("<" + tag + "(?: [^>]*)?>([^<]*)</" + tag + ">");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), re); it != std::sregex_iterator();
         ++it)
        out.push_back((*it)[1]);
    return out;
}
std::string One(const std::string& xml, const std::string& tag) {
    const auto all = All(xml, tag);
    return all.size() == 1 ? all[0] : "<" + std::to_string(all.size()) + " of " + tag + ">";
}

class EInvoiceMapping : public ::testing::Test {
  protected:
    EInvoiceMapping() {
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(data::Company::Name, "Lindenhof Druck & Design");
        company.setText(data::Company::CoAddr1, "Lindenstraße 12");
        company.setText(data::Company::CoAddr2, "10115 Berlin");
        company.setText(data::Company::CurrencySymbol, "€");
        seller.on = true;
        seller.vatId = "DE123456788";
        seller.country = "DE";
        seller.iban = "DE41500105170123456789";
        seller.bic = "INGDDEFFXXX";
        doc.found = true;
        doc.number = "3001";
        doc.date = "03/15/2026";
        doc.account = "100";
        doc.terms = "Net 30 Days";
        doc.billTo = {"Café Morgenrot", "Hauptstraße 5", "80331 München", "", ""};
        doc.taxRate = "19.000";
    }
    EInvoiceResult make() {
        EInvoiceInput in{doc, company, seller, buyer, unitOf};
        return MakeCiiXml(in);
    }
    // Totals as the editor stores them, from the lines given.
    void totals(Money net, Money tax, Money paid = Money()) {
        doc.net = net;
        doc.tax = tax;
        doc.grandTotal = net + tax;
        doc.paid = paid;
        doc.balanceDue = doc.grandTotal - paid;
    }

    data::CompanyRecord company;
    data::CompanyEInvoice seller;
    data::CustomerEInvoice buyer;
    InvoiceDocument doc;
    std::function<std::string(const std::string&, const std::string&)> unitOf =
        [](const std::string& code, const std::string& description) {
            return code == "DESIGN" ? std::string("HUR") : data::DefaultUnitCode(description);
        };
};

TEST_F(EInvoiceMapping, RemittanceIsTheReferenceOnlyWhereOneIsPaidToTheAccount) {
    doc.lines = {Row("BOOK", "2", "Guide book", "50.00", "Y", "100.00")};
    totals(Money::FromCents(10000), Money::FromCents(1900));
    EXPECT_EQ(One(make().xml, "ram:PaymentReference"), "RF2013001");
    // A number the reference cannot carry stays the number; so does a credit note's.
    doc.number = "26/001";
    EXPECT_EQ(One(make().xml, "ram:PaymentReference"), "26/001");
    doc.number = "3001";
    doc.lines = {Row("BOOK", "-2", "Guide book", "50.00", "Y", "-100.00")};
    totals(Money::FromCents(-10000), Money::FromCents(-1900));
    EXPECT_EQ(One(make().xml, "ram:PaymentReference"), "3001");
    // Paid to a Swiss QR-IBAN: the QR reference its QR-bill carries.
    doc.lines = {Row("BOOK", "2", "Guide book", "50.00", "Y", "100.00")};
    totals(Money::FromCents(10000), Money::FromCents(1900));
    seller.country = "CH";
    seller.iban = "CH4431999123000889012";
    seller.bic.clear();
    EXPECT_EQ(One(make().xml, "ram:PaymentReference"), *data::InvoiceQrReference("3001"));
}

TEST_F(EInvoiceMapping, TaxedAndUntaxedLinesDiscountSubTotalAndComment) {
    doc.lines = {Row("POSTER", "250", "Poster A2, 4/0", "1.2000", "Y", "300.00"),
                 Row("DESIGN", "2.5", "Design work", "60.0000", "Y", "150.00"),
                 Row("SUB-TOTAL", "", "", "", "", "450.00"),
                 Row("BOOK", "3", "Guide book", "12.50", "N", "37.50"),
                 Row("", " ", "Delivered to the back door", "", " ", "0.00"),
                 Row("DISCOUNT10", "1", "10% Discount", "-30.00", "Y", "-30.00")};
    // Taxed: 300 + 150 - 30 = 420, tax 79.80; untaxed 37.50.
    totals(Money::FromCents(45750), Money::FromCents(7980));
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    const std::string& x = r.xml;
    // The document's type, then VAT on each of four lines and two categories, then the
    // payment means (SEPA transfer).
    EXPECT_EQ(All(x, "ram:TypeCode"),
              (std::vector<std::string>{"380", "VAT", "VAT", "VAT", "VAT", "58", "VAT", "VAT"}));
    EXPECT_NE(x.find("<ram:ID>urn:cen.eu:en16931:2017</ram:ID>"), std::string::npos);
    EXPECT_NE(x.find("<udt:DateTimeString format=\"102\">20260315</udt:DateTimeString>"),
              std::string::npos);
    // The sub-total is no line; the comment is a note; four lines remain.
    EXPECT_EQ(All(x, "ram:LineID"), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(All(x, "ram:LineTotalAmount"),
              (std::vector<std::string>{"300.00", "150.00", "37.50", "-30.00", "457.50"}));
    EXPECT_EQ(One(x, "ram:Content"), "Delivered to the back door");
    EXPECT_EQ(All(x, "ram:ChargeAmount"), (std::vector<std::string>{"1.2", "60", "12.5", "30"}));
    EXPECT_EQ(All(x, "ram:BilledQuantity"), (std::vector<std::string>{"250", "2.5", "3", "-1"}));
    EXPECT_NE(x.find("<ram:BilledQuantity unitCode=\"HUR\">2.5<"), std::string::npos);
    EXPECT_NE(x.find("<ram:BilledQuantity unitCode=\"C62\">250<"), std::string::npos);
    // The categories: S 420.00 at 19 % = 79.80, Z 37.50.
    EXPECT_EQ(All(x, "ram:CategoryCode"), (std::vector<std::string>{"S", "S", "Z", "S", "S", "Z"}));
    EXPECT_EQ(All(x, "ram:BasisAmount"), (std::vector<std::string>{"420.00", "37.50"}));
    EXPECT_EQ(All(x, "ram:CalculatedAmount"), (std::vector<std::string>{"79.80", "0.00"}));
    EXPECT_EQ(All(x, "ram:RateApplicablePercent")[0], "19");
    EXPECT_EQ(One(x, "ram:TaxBasisTotalAmount"), "457.50");
    EXPECT_EQ(One(x, "ram:TaxTotalAmount"), "79.80");
    EXPECT_NE(x.find("<ram:TaxTotalAmount currencyID=\"EUR\">"), std::string::npos);
    EXPECT_EQ(One(x, "ram:GrandTotalAmount"), "537.30");
    EXPECT_EQ(One(x, "ram:DuePayableAmount"), "537.30");
    EXPECT_EQ(All(x, "ram:TotalPrepaidAmount").size(), 0u);
    EXPECT_EQ(One(x, "ram:Description"), "Net 30 Days");
    // The terms name 30 days: due 30 days after the 15th of March.
    EXPECT_EQ(All(x, "udt:DateTimeString"), (std::vector<std::string>{"20260315", "20260414"}));
    EXPECT_EQ(One(x, "ram:IBANID"), "DE41500105170123456789");
    EXPECT_EQ(One(x, "ram:PaymentReference"), *data::InvoiceReference("3001"));
    EXPECT_EQ(One(x, "ram:BICID"), "INGDDEFFXXX");
    // Names are escaped; the seller's VAT number is there; the buyer is in Germany too.
    EXPECT_EQ(All(x, "ram:Name")[4], "Lindenhof Druck &amp; Design");
    EXPECT_NE(x.find("<ram:ID schemeID=\"VA\">DE123456788</ram:ID>"), std::string::npos);
    EXPECT_EQ(All(x, "ram:CountryID"), (std::vector<std::string>{"DE", "DE"}));
}

// A discount of taxed and untaxed lines is a pair of lines, each in the category of the
// lines it discounts: the taxed category's basis times the rate is the stored tax.
TEST_F(EInvoiceMapping, ADiscountPairFallsIntoBothCategories) {
    doc.lines = {
        Row("POSTER", "1", "Posters", "700.00", "Y", "700.00"),
        Row("BOOK", "1", "Guide books", "617.50", "N", "617.50"),
        Row("DISCOUNT10", "1", "10% Discount on taxed €700.00", "-70.00", "Y", "-70.00"),
        Row("DISCOUNT10", "1", "10% Discount on untaxed €617.50", "-61.75", "N", "-61.75")};
    totals(Money::FromCents(118575), Money::FromCents(11970));
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(All(r.xml, "ram:BasisAmount"), (std::vector<std::string>{"630.00", "555.75"}));
    EXPECT_EQ(All(r.xml, "ram:CalculatedAmount"), (std::vector<std::string>{"119.70", "0.00"}));
    EXPECT_EQ(All(r.xml, "ram:LineTotalAmount"),
              (std::vector<std::string>{"700.00", "617.50", "-70.00", "-61.75", "1185.75"}));

    // The same lines stored with the whole discount on the taxed line and its tax: the
    // e-invoice agrees with what was stored.
    doc.lines.pop_back();
    doc.lines[2] = Row("DISCOUNT10", "1", "10% Discount on €1,317.50", "-131.75", "Y", "-131.75");
    totals(Money::FromCents(118575), Money::FromCents(10797));
    const EInvoiceResult old = make();
    ASSERT_TRUE(old.ok()) << old.error;
    EXPECT_EQ(All(old.xml, "ram:BasisAmount"), (std::vector<std::string>{"568.25", "617.50"}));
}

TEST_F(EInvoiceMapping, PartlyPaidExemptCustomerAndBuyerData) {
    doc.lines = {Row("POSTER", "10", "Poster", "5.00", "Y", "50.00")};
    doc.taxExempt = true;
    totals(Money::FromCents(5000), Money(), Money::FromCents(2000));
    buyer = {"AT", "ATU12345675", "PO-7731", "einkauf@kunde.example"};
    seller.exempt = data::ExemptCategory::Exempt;
    seller.exemptionReason = "Tax-exempt customer";
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    const std::string& x = r.xml;
    EXPECT_EQ(All(x, "ram:CategoryCode"), (std::vector<std::string>{"E", "E"}));
    EXPECT_EQ(One(x, "ram:ExemptionReason"), "Tax-exempt customer");
    EXPECT_EQ(One(x, "ram:TotalPrepaidAmount"), "20.00");
    EXPECT_EQ(One(x, "ram:DuePayableAmount"), "30.00");
    EXPECT_EQ(One(x, "ram:BuyerReference"), "PO-7731");
    EXPECT_NE(x.find("<ram:URIID schemeID=\"EM\">einkauf@kunde.example</ram:URIID>"),
              std::string::npos);
    EXPECT_NE(x.find("<ram:ID schemeID=\"VA\">ATU12345675</ram:ID>"), std::string::npos);
    EXPECT_EQ(All(x, "ram:CountryID"), (std::vector<std::string>{"DE", "AT"}));
}

TEST_F(EInvoiceMapping, ACreditInvoiceIsACreditNoteWithPositiveAmounts) {
    doc.lines = {Row("RETURN", "2", "Returned posters", "-25.00", "Y", "-50.00")};
    totals(Money::FromCents(-5000), Money::FromCents(-950));
    doc.terms.clear();
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    const std::string& x = r.xml;
    EXPECT_EQ(All(x, "ram:TypeCode")[0], "381");
    EXPECT_EQ(One(x, "ram:ChargeAmount"), "25");
    EXPECT_EQ(One(x, "ram:BilledQuantity"), "2");
    EXPECT_EQ(One(x, "ram:CalculatedAmount"), "9.50");
    EXPECT_EQ(One(x, "ram:GrandTotalAmount"), "59.50");
    EXPECT_EQ(One(x, "ram:DuePayableAmount"), "59.50");
    // A credit note asks for no transfer; without terms the due date is the invoice date.
    EXPECT_EQ(All(x, "ram:IBANID").size(), 0u);
    EXPECT_NE(x.find("<ram:DueDateDateTime>"), std::string::npos);
}

TEST_F(EInvoiceMapping, AMemoInvoiceIsOneLineWithTheMemosText) {
    doc.style = 'M';
    doc.memo = {"Redesign of the shop sign", "", "Two drafts, one final", "Files delivered"};
    totals(Money::FromCents(80000), Money::FromCents(15200));
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(All(r.xml, "ram:LineID").size(), 1u);
    EXPECT_EQ(All(r.xml, "ram:Name")[0], "Redesign of the shop sign");
    EXPECT_EQ(All(r.xml, "ram:Description")[0], "Two drafts, one final\nFiles delivered");
    EXPECT_EQ(One(r.xml, "ram:CalculatedAmount"), "152.00");
    // A memo tax that is not the rate's: refused.
    totals(Money::FromCents(80000), Money::FromCents(15000));
    EXPECT_NE(make().error.find("its tax 150.00 differs from 152.00"), std::string::npos)
        << make().error;
}

TEST_F(EInvoiceMapping, RefusedWhereTheBooksWouldMakeAWrongOne) {
    doc.lines = {Row("POSTER", "1", "Poster", "10.05", "Y", "10.05")};
    // 10.05 at 19 % is 1.9095: 1.91.
    totals(Money::FromCents(1005), Money::FromCents(191));
    ASSERT_TRUE(make().ok()) << make().error;

    totals(Money::FromCents(1005), Money::FromCents(190));
    EXPECT_EQ(make().error,
              "No e-invoice was written for invoice 3001: its tax 1.90 differs from 1.91, the "
              "tax at 19% of 10.05 to the cent that the e-invoice rules require; correct the "
              "tax first.");
    totals(Money::FromCents(1005), Money::FromCents(191));

    seller.vatId.clear();
    EXPECT_NE(make().error.find("taxed lines (VAT category S) need the seller's VAT number"),
              std::string::npos);
    seller.vatId = "DE123456788";

    seller.iban = "DE41500105170123456780";
    EXPECT_NE(make().error.find("The check digits of the IBAN"), std::string::npos);
    seller.iban.clear();
    // Without an account to pay to, the number is the remittance information.
    EXPECT_EQ(One(make().xml, "ram:PaymentReference"), "3001");

    seller.currency = "EUX";
    EXPECT_NE(make().error.find("\"EUX\" is not a known currency code"), std::string::npos);
    seller.currency.clear();
    company.setText(data::Company::CurrencySymbol, "$");
    EXPECT_NE(make().error.find("stands for more than one currency"), std::string::npos);
    seller.currency = "USD";
    EXPECT_TRUE(make().ok());

    seller.country.clear();
    EXPECT_NE(make().error.find("the seller's country is not set"), std::string::npos);
    seller.country = "DE";

    // Lines that do not add up to the stored net amount.
    doc.net = Money::FromCents(1000);
    doc.grandTotal = Money::FromCents(1191);
    EXPECT_NE(make().error.find("its lines add up to 10.05, its net amount is 10.00"),
              std::string::npos);
    totals(Money::FromCents(1005), Money::FromCents(191));

    buyer.vatId = "FR33123456789";
    EXPECT_NE(make().error.find("The check digit of the VAT number FR33123456789 is wrong."),
              std::string::npos);
    buyer.vatId.clear();

    doc.transType = 'Q';
    EXPECT_NE(make().error.find("a quote is no invoice"), std::string::npos);
    doc.transType = 'I';
    doc.date = "someday";
    EXPECT_NE(make().error.find("cannot be read"), std::string::npos);
}

TEST_F(EInvoiceMapping, LinesNotSubjectToVatStandAlone) {
    seller.exempt = data::ExemptCategory::NotSubject;
    doc.lines = {Row("POSTER", "1", "Poster", "10.00", "N", "10.00")};
    totals(Money::FromCents(1000), Money());
    EXPECT_NE(make().error.find("need the seller's tax number"), std::string::npos);
    seller.taxRegistration = "27/123/45678";
    const EInvoiceResult r = make();
    ASSERT_TRUE(r.ok()) << r.error;
    // No VAT numbers and no rate with category O.
    EXPECT_EQ(r.xml.find("schemeID=\"VA\""), std::string::npos);
    EXPECT_EQ(All(r.xml, "ram:RateApplicablePercent").size(), 0u);
    doc.lines.push_back(Row("BOOK", "1", "Book", "5.00", "Y", "5.00"));
    totals(Money::FromCents(1500), Money::FromCents(95));
    EXPECT_NE(make().error.find("cannot be billed beside taxed"), std::string::npos);
}

}  // namespace
}  // namespace invarro::output
