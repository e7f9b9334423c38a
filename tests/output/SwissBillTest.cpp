#include "output/SwissBill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "data/Company.h"
#include "data/PaymentReference.h"
#include "output/InvDoc.h"
#include "support/RecordingCanvas.h"
#include "support/TextLines.h"

namespace invarro::output {
namespace {

using data::Money;
using testing::CanvasOp;
using testing::RecordingCanvas;

constexpr const char* kQrIban = "CH44 3199 9123 0008 8901 2";
constexpr const char* kPlainIban = "CH93 0076 2011 6238 5295 7";

SwissAddress Creditor() {
    return {"Robert Schneider AG", "Rue du Lac", "1268", "2501", "Biel", "CH"};
}

SwissBill Bill() {
    SwissBill b;
    b.iban = kQrIban;
    b.creditor = Creditor();
    b.amount = Money::FromCents(194975);
    b.currency = "CHF";
    b.debtor = SwissAddress{
        "Pia-Maria Rutschmann-Schnyder", "Grosse Marktgasse", "28", "9400", "Rorschach", "CH"};
    b.reference = "21 00000 00003 13947 14300 09017";
    b.message = "Invoice 1043";
    return b;
}

std::vector<std::string> Lines(const std::string& payload) {
    return testing::TextLines(payload);
}

TEST(SwissBillPayload, ElementsInTheStandardsOrderWithEmptyLinesKept) {
    auto p = SwissBillPayload(Bill());
    ASSERT_TRUE(p);
    EXPECT_EQ(Lines(*p), (std::vector<std::string>{
                             "SPC",
                             "0200",
                             "1",
                             "CH4431999123000889012",
                             "S",
                             "Robert Schneider AG",
                             "Rue du Lac",
                             "1268",
                             "2501",
                             "Biel",
                             "CH",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "",
                             "",  // the ultimate creditor
                             "1949.75",
                             "CHF",
                             "S",
                             "Pia-Maria Rutschmann-Schnyder",
                             "Grosse Marktgasse",
                             "28",
                             "9400",
                             "Rorschach",
                             "CH",
                             "QRR",
                             "210000000003139471430009017",
                             "Invoice 1043",
                             "EPD",
                         }));
    EXPECT_NE(p->back(), '\n');

    // A plain IBAN with an RF reference, no debtor, no message: the lines stay in place.
    SwissBill b = Bill();
    b.iban = kPlainIban;
    b.reference = "RF18 5390 0754 7034";
    b.debtor.reset();
    b.message.clear();
    auto plain = SwissBillPayload(b);
    ASSERT_TRUE(plain);
    const auto lines = Lines(*plain);
    ASSERT_EQ(lines.size(), 31u);
    for (int i = 20; i <= 26; ++i)
        EXPECT_EQ(lines[std::size_t(i)], "") << i;
    EXPECT_EQ(lines[27], "SCOR");
    EXPECT_EQ(lines[28], "RF18539007547034");
    EXPECT_EQ(lines[29], "");
    EXPECT_EQ(lines[30], "EPD");
    b.reference.clear();
    EXPECT_EQ(Lines(*SwissBillPayload(b))[27], "NON");
}

TEST(SwissBillPayload, IbanAndReferenceMustFitEachOther) {
    const std::vector<std::tuple<std::string, std::string, std::string>> refused = {
        {"CH44 3199 9123 0008 8901 3", "21 00000 00003 13947 14300 09017", "check digits"},
        {"DE89 3704 0044 0532 0130 00", "RF18539007547034", "Swiss"},
        {"", "RF18539007547034", "IBAN"},
        {kQrIban, "RF18539007547034", "QR reference"},
        {kQrIban, "", "QR reference"},
        {kQrIban, "21 00000 00003 13947 14300 09018", "QR reference"},  // check digit
        {kPlainIban, "21 00000 00003 13947 14300 09017", "RF"},
        {kPlainIban, "RF19539007547034", "RF"},
    };
    for (const auto& [iban, reference, word] : refused) {
        SwissBill b = Bill();
        b.iban = iban;
        b.reference = reference;
        std::string why;
        EXPECT_FALSE(SwissBillPayload(b, &why)) << iban << " " << reference;
        EXPECT_NE(why.find(word), std::string::npos) << why;
    }
    SwissBill li = Bill();
    li.iban = "LI21 0881 0000 2324 013A A";
    li.reference = "RF18539007547034";
    EXPECT_TRUE(SwissBillPayload(li));
}

TEST(SwissBillPayload, QrIbanIsTheInstitutionRange) {
    EXPECT_TRUE(data::IsQrIban("CH57 3000 0123 0008 8901 2"));   // 30000
    EXPECT_TRUE(data::IsQrIban(kQrIban));                        // 31999
    EXPECT_FALSE(data::IsQrIban("CH49 2999 9123 0008 8901 2"));  // 29999
    EXPECT_FALSE(data::IsQrIban("CH52 3200 0123 0008 8901 2"));  // 32000
    EXPECT_FALSE(data::IsQrIban(kPlainIban));
    EXPECT_TRUE(data::IsQrIban("LI18 3100 0123 4567 890A B"));
    EXPECT_FALSE(data::IsQrIban("DE89 3100 0044 0532 0130 00"));
    EXPECT_FALSE(data::IsQrIban("CH44 3199 9123"));
}

TEST(SwissBillPayload, AmountsCurrencyAndAddressesAtTheEdges) {
    SwissBill b = Bill();
    for (auto [cents, text] : std::vector<std::pair<int64_t, std::string>>{
             {1, "0.01"}, {100, "1.00"}, {99999999999, "999999999.99"}}) {
        b.amount = Money::FromCents(cents);
        auto p = SwissBillPayload(b);
        ASSERT_TRUE(p) << cents;
        EXPECT_EQ(Lines(*p)[18], text);
    }
    const std::vector<std::pair<std::function<void(SwissBill&)>, std::string>> refused = {
        {[](SwissBill& s) { s.amount = Money(); }, "amount"},
        {[](SwissBill& s) { s.amount = Money::FromCents(-100); }, "amount"},
        {[](SwissBill& s) { s.amount = Money::FromCents(100000000000); }, "amount"},
        {[](SwissBill& s) { s.currency = "USD"; }, "CHF or EUR"},
        {[](SwissBill& s) { s.creditor.name = " "; }, "creditor has no name"},
        {[](SwissBill& s) { s.creditor.town.clear(); }, "creditor's address"},
        {[](SwissBill& s) { s.debtor->postCode.clear(); }, "debtor's address"},
        {[](SwissBill& s) { s.debtor->country = "XX"; }, "debtor's country"},
    };
    for (const auto& [change, word] : refused) {
        SwissBill s = Bill();
        change(s);
        std::string why;
        EXPECT_FALSE(SwissBillPayload(s, &why)) << word;
        EXPECT_NE(why.find(word), std::string::npos) << why;
    }
    b = Bill();
    b.currency = "EUR";
    EXPECT_EQ(Lines(*SwissBillPayload(b))[19], "EUR");
}

TEST(SwissBillPayload, TextsAreCutToTheirFieldsAndKeptInTheCharacterSet) {
    SwissBill b = Bill();
    std::string longName;
    for (int i = 0; i < 80; ++i)
        longName += "ü";
    b.creditor.name = longName;
    b.creditor.town = std::string(40, 'T');
    b.creditor.building = std::string(20, '9');
    b.debtor->name = "“Łódź” – Sàrl";
    b.message = std::string(150, 'm');
    auto p = SwissBillPayload(b);
    ASSERT_TRUE(p);
    const auto lines = Lines(*p);
    std::string cut;
    for (int i = 0; i < 70; ++i)
        cut += "ü";
    EXPECT_EQ(lines[5], cut);
    EXPECT_EQ(lines[7], std::string(16, '9'));
    EXPECT_EQ(lines[9], std::string(35, 'T'));
    // Curly quotes and the dash in their plain forms, letters outside the set as ".".
    EXPECT_EQ(lines[21], "\".ód.\" - Sàrl");
    EXPECT_EQ(lines[29], std::string(140, 'm'));
    // A line break in a field never shifts the elements.
    b = Bill();
    b.creditor.name = "Robert\nSchneider";
    EXPECT_EQ(Lines(*SwissBillPayload(b)).size(), 31u);
}

// ------------------------------------------------------------------ addresses

std::optional<SwissAddress> Parse(const std::vector<std::string>& lines, AddressOwner owner,
                                  std::string* why = nullptr, std::string country = "CH") {
    return ParseSwissAddress("Muster AG", lines, country, owner, why);
}

TEST(SwissAddressParse, StreetBuildingPostalCodeAndTown) {
    auto a = Parse({"Bahnhofstrasse 1a", "8001 Zürich"}, AddressOwner::Customer);
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, (SwissAddress{"Muster AG", "Bahnhofstrasse", "1a", "8001", "Zürich", "CH"}));
    a = Parse({"", "12 rue des Arts", "CH-1201 Genève", ""}, AddressOwner::Customer);
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, (SwissAddress{"Muster AG", "rue des Arts", "12", "1201", "Genève", "CH"}));
    a = Parse({"Postplatz", "9490 Vaduz"}, AddressOwner::Customer, nullptr, "li");
    ASSERT_TRUE(a);
    EXPECT_EQ(*a, (SwissAddress{"Muster AG", "Postplatz", "", "9490", "Vaduz", "LI"}));
    a = Parse({"3000 Bern 1"}, AddressOwner::Customer);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->street, "");
    EXPECT_EQ(a->town, "Bern 1");
    // A German customer of a Swiss company.
    a = Parse({"Hauptstraße 5", "80331 München", "Deutschland"}, AddressOwner::Customer, nullptr,
              "DE");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->postCode, "80331");
}

TEST(SwissAddressParse, TheCompanysContactLinesBelowTheTownAreLeftOut) {
    auto a = Parse({"Rue du Lac 1268", "2501 Biel", "Tel. 032 555 12 12", "info@example.ch"},
                   AddressOwner::Company);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->street, "Rue du Lac");
    EXPECT_EQ(a->building, "1268");
    EXPECT_EQ(a->town, "Biel");
}

TEST(SwissAddressParse, LinesWithoutAFieldGiveNoAddress) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"Bahnhofstrasse 1", "Zürich"}, "postal code"},
        {{"Bahnhofstrasse 1", "80010 Zürich"}, "postal code"},  // five digits in CH
        {{"Portland, ME 04101"}, "postal code"},
        {{}, "postal code"},
        {{"c/o Hans Muster", "Bahnhofstrasse 1", "8001 Zürich"}, "c/o Hans Muster"},
        {{"Bahnhofstrasse 1", "8001 Zürich", "Tel. 044 555 12 12"}, "Tel. 044"},
    };
    for (const auto& [lines, word] : cases) {
        std::string why;
        EXPECT_FALSE(Parse(lines, AddressOwner::Customer, &why)) << word;
        EXPECT_NE(why.find(word), std::string::npos) << why;
    }
    std::string why;
    EXPECT_FALSE(Parse({"Bahnhofstrasse 1", "8001 Zürich"}, AddressOwner::Customer, &why, ""));
    EXPECT_NE(why.find("country"), std::string::npos);
    EXPECT_FALSE(ParseSwissAddress(" ", {"8001 Zürich"}, "CH", AddressOwner::Company, &why));
    EXPECT_NE(why.find("name"), std::string::npos);
    EXPECT_TRUE(Parse({"Bahnhofstrasse 1", "8001 Zürich", "Schweiz"}, AddressOwner::Customer));
}

// ------------------------------------------------------------------ the invoice's bill

class InvoiceBillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        using data::Company;
        company = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        company.setText(Company::Name, "Robert Schneider AG");
        company.setText(Company::CoAddr1, "Rue du Lac 1268");
        company.setText(Company::CoAddr2, "2501 Biel");
        company.setText(Company::CoAddr3, "Tel. 032 555 12 12");
        settings.country = "CH";
        settings.currency = "CHF";
        settings.iban = kQrIban;
        doc.found = true;
        doc.number = "1043";
        doc.account = "100";
        doc.transType = 'I';
        doc.balanceDue = Money::FromCents(50000);
        doc.billTo = {"Pia Rutschmann", "Grosse Marktgasse 28", "9400 Rorschach", "", ""};
    }
    SwissBillOutcome bill(std::string_view customerCountry = "") {
        return InvoiceSwissBill("", company, settings, doc, customerCountry);
    }

  public:
    data::CompanyRecord company;
    data::CompanyEInvoice settings;
    InvoiceDocument doc;
};

TEST_F(InvoiceBillTest, QrIbanTakesTheQrReferenceThatReadsBackToTheInvoice) {
    const SwissBillOutcome out = bill();
    ASSERT_TRUE(out.bill) << out.problem;
    EXPECT_EQ(out.bill->reference, *data::InvoiceQrReference("1043"));
    EXPECT_EQ(SwissReferenceType(*out.bill), "QRR");
    auto target = data::ParseReference(out.bill->reference);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->kind, data::ReferenceKind::Invoice);
    EXPECT_EQ(target->number, "1043");
    EXPECT_EQ(out.bill->amount, Money::FromCents(50000));
    EXPECT_EQ(out.bill->message, "Invoice 1043");
    EXPECT_EQ(out.bill->creditor.town, "Biel");
    EXPECT_EQ(out.bill->debtor->country, "CH");  // the company's, the customer has none
    const SwissBillOutcome abroad = bill("AT");
    ASSERT_TRUE(abroad.bill);
    EXPECT_EQ(abroad.bill->debtor->country, "AT");
}

TEST_F(InvoiceBillTest, PlainIbanTakesTheRfReferenceOrNone) {
    settings.iban = kPlainIban;
    doc.number = "A-17";
    SwissBillOutcome out = bill();
    ASSERT_TRUE(out.bill) << out.problem;
    EXPECT_EQ(out.bill->reference, "");  // "-" is outside the reference's alphabet
    EXPECT_EQ(SwissReferenceType(*out.bill), "NON");
    EXPECT_EQ(out.bill->message, "Invoice A-17");
    doc.number = "A17";
    out = bill();
    ASSERT_TRUE(out.bill);
    EXPECT_EQ(out.bill->reference, *data::InvoiceReference("A17"));
    EXPECT_EQ(SwissReferenceType(*out.bill), "SCOR");
    // A QR-IBAN cannot be paid without a QR reference, which carries digits only.
    settings.iban = kQrIban;
    out = bill();
    EXPECT_FALSE(out.bill);
    EXPECT_NE(out.problem.find("No QR-bill for invoice A17"), std::string::npos) << out.problem;
    EXPECT_NE(out.problem.find("digits only"), std::string::npos) << out.problem;
}

TEST_F(InvoiceBillTest, NothingWhenNothingIsToPayOrTheCompanyIsNotSwiss) {
    const std::vector<std::function<void(InvoiceBillTest&)>> none = {
        [](InvoiceBillTest& t) { t.doc.paidMark = true; },
        [](InvoiceBillTest& t) { t.doc.balanceDue = Money(); },
        [](InvoiceBillTest& t) { t.doc.balanceDue = Money::FromCents(-100); },
        [](InvoiceBillTest& t) { t.doc.transType = 'Q'; },
        [](InvoiceBillTest& t) { t.doc.transType = 'C'; },
        [](InvoiceBillTest& t) { t.doc.found = false; },
        [](InvoiceBillTest& t) { t.settings.country = "DE"; },
        [](InvoiceBillTest& t) { t.settings.country = ""; },
        [](InvoiceBillTest& t) { t.settings.iban = ""; },
    };
    for (std::size_t i = 0; i < none.size(); ++i) {
        SetUp();
        none[i](*this);
        const SwissBillOutcome out = bill();
        EXPECT_FALSE(out.bill) << i;
        EXPECT_EQ(out.problem, "") << i;
    }
}

TEST_F(InvoiceBillTest, NoWrongBillButAReason) {
    const std::vector<std::pair<std::function<void(InvoiceBillTest&)>, std::string>> cases = {
        {[](InvoiceBillTest& t) { t.doc.billTo[2] = "Rorschach"; }, "customer's address"},
        {[](InvoiceBillTest& t) { t.company.setText(data::Company::CoAddr2, "Biel"); },
         "company's address"},
        {[](InvoiceBillTest& t) { t.settings.currency = "USD"; }, "CHF or EUR"},
        {[](InvoiceBillTest& t) { t.settings.iban = "CH44 3199 9123 0008 8901 3"; },
         "check digits"},
    };
    for (const auto& [change, word] : cases) {
        SetUp();
        change(*this);
        const SwissBillOutcome out = bill();
        EXPECT_FALSE(out.bill) << word;
        EXPECT_NE(out.problem.find(word), std::string::npos) << out.problem;
    }
}

// ------------------------------------------------------------------ the page

// The bill drawn at the foot of an A4 sheet in tenths of a millimetre.
class SwissBillPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        canvas.beginDocument("bill");
        ASSERT_TRUE(DrawSwissBill(canvas, 0, kTop, Bill()));
        canvas.endDocument();
    }
    static constexpr int kTop = 2970 - swiss::kHeight;
    RecordingCanvas canvas{2100, 2970, 254};
};

TEST_F(SwissBillPageTest, TheCodeIs46MillimetresWithTheCrossInItsMiddle) {
    const std::vector<CanvasOp> rects = canvas.ops(CanvasOp::Kind::Rectangle);
    int left = 1 << 20, top = 1 << 20, right = 0, bottom = 0;
    std::vector<CanvasOp> white;
    for (const CanvasOp& r : rects) {
        if (r.brush.color == kWhite) {
            white.push_back(r);
            continue;
        }
        left = std::min(left, r.x);
        top = std::min(top, r.y);
        right = std::max(right, r.x2 + 1);
        bottom = std::max(bottom, r.y2 + 1);
    }
    // The finder patterns reach the code's corners: 46 mm from 67 mm left, 17 mm down.
    EXPECT_EQ(left, swiss::kCodeLeft);
    EXPECT_EQ(top, kTop + swiss::kCodeTop);
    EXPECT_EQ(right, swiss::kCodeLeft + 460);
    EXPECT_EQ(bottom, kTop + swiss::kCodeTop + 460);
    // The cross: a white square of 7 mm, centred.
    const int cx = swiss::kCodeLeft + 230, cy = kTop + swiss::kCodeTop + 230;
    const auto cross = std::find_if(white.begin(), white.end(), [](const CanvasOp& r) {
        return r.x2 + 1 - r.x == 70 && r.y2 + 1 - r.y == 70;
    });
    ASSERT_NE(cross, white.end());
    EXPECT_EQ(cross->x + 35, cx);
    EXPECT_EQ(cross->y + 35, cy);
}

TEST_F(SwissBillPageTest, TitlesHeadingsAndValuesInTheirPlacesAndSizes) {
    const CanvasOp* receipt = canvas.findText("Receipt");
    const CanvasOp* payment = canvas.findText("Payment part");
    ASSERT_TRUE(receipt && payment);
    EXPECT_EQ(receipt->x, 50);
    EXPECT_EQ(receipt->y, kTop + 50);
    EXPECT_EQ(payment->x, 670);
    EXPECT_EQ(payment->y, kTop + 50);
    for (const CanvasOp* t : {receipt, payment}) {
        EXPECT_EQ(t->font.size, 11);
        EXPECT_TRUE(t->font.bold());
        EXPECT_EQ(t->font.face, "Arial");
    }
    const CanvasOp* acceptance = canvas.findText("Acceptance point");
    ASSERT_TRUE(acceptance);
    EXPECT_EQ(acceptance->font.size, 6);
    // Right-aligned 5 mm inside the receipt: 11 characters of 2 units a point at 6 pt.
    EXPECT_EQ(acceptance->x + 16 * 2 * 6, 570);

    int receiptHeadings = 0, paymentHeadings = 0;
    for (const CanvasOp& t : canvas.texts()) {
        if (t.text == "\u2702") continue;
        EXPECT_GE(t.y, kTop) << t.text;
        EXPECT_LE(t.y + 4 * t.font.size, 2970 - 50) << t.text;
        const int width = int(t.text.size()) * 2 * t.font.size;  // ASCII texts here
        if (t.x < 620) {
            // The receipt: headings 6 pt bold, values 8 pt, within its 52 mm.
            EXPECT_LE(t.x + width, 570 + 2 * t.font.size) << t.text;
            if (t.text == "Receipt") continue;
            EXPECT_EQ(t.font.size, t.font.bold() ? 6 : 8) << t.text;
            receiptHeadings += t.font.bold();
        } else if (t.text != "Payment part") {
            EXPECT_EQ(t.font.size, t.font.bold() ? 8 : 10) << t.text;
            paymentHeadings += t.font.bold();
            if (t.x >= swiss::kInfoLeft) {
                EXPECT_LE(t.x + width, 2050 + 2 * t.font.size) << t.text;
            }
        }
    }
    // Account, reference, payable by, currency, amount, acceptance point; the payment part
    // has the additional information instead of the acceptance point.
    EXPECT_EQ(receiptHeadings, 6);
    EXPECT_EQ(paymentHeadings, 6);
    const CanvasOp* iban = canvas.findText("CH44 3199 9123 0008 8901 2");
    ASSERT_TRUE(iban);
    EXPECT_TRUE(canvas.findText("21 00000 00003 13947 14300 09017"));
    EXPECT_TRUE(canvas.findText("1 949.75"));
}

TEST_F(SwissBillPageTest, DashedLinesToCutAlong) {
    std::vector<CanvasOp> lines = canvas.ops(CanvasOp::Kind::Line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen.style, PenStyle::Dotted);
    EXPECT_EQ((std::vector<int>{lines[0].x, lines[0].y, lines[0].x2, lines[0].y2}),
              (std::vector<int>{0, kTop, 2100, kTop}));
    EXPECT_EQ((std::vector<int>{lines[1].x, lines[1].y, lines[1].x2, lines[1].y2}),
              (std::vector<int>{620, kTop, 620, 2970}));
    int scissors = 0;
    for (const CanvasOp& t : canvas.texts())
        scissors += t.text == "\u2702";
    EXPECT_EQ(scissors, 2);
}

TEST(SwissBillPage, TheCrossNeverCoversAnAlignmentPatternWhereAVersionAvoidsIt) {
    // Versions 7 to 13 have one in the middle: the code goes to 14. Smaller codes have
    // none there and larger ones keep the smallest version that holds the payload.
    for (auto [bytes, least, most] : std::vector<std::tuple<std::size_t, int, int>>{
             {60, 1, 6}, {150, 14, 14}, {330, 14, 14}, {400, 15, 15}, {700, 21, 25}}) {
        auto m = SwissQrMatrix(std::string(bytes, 'x'));
        ASSERT_TRUE(m) << bytes;
        EXPECT_GE(QrVersion(*m), least) << bytes;
        EXPECT_LE(QrVersion(*m), most) << bytes;
    }
    EXPECT_FALSE(SwissQrMatrix(std::string(3000, 'x')));
}

TEST_F(SwissBillPageTest, EveryModuleIsDrawnWhereTheCodeHasIt) {
    const auto matrix = SwissQrMatrix(*SwissBillPayload(Bill()));
    ASSERT_TRUE(matrix);
    const std::vector<CanvasOp> rects = canvas.ops(CanvasOp::Kind::Rectangle);
    const int side = 460, w = matrix->width;
    const int cx = swiss::kCodeLeft, cy = kTop + swiss::kCodeTop;
    // The colour of a device unit: the last rectangle drawn over it.
    auto colour = [&](int x, int y) {
        Color c = kWhite;
        bool covered = false;
        for (const CanvasOp& r : rects)
            if (x >= r.x && x <= r.x2 && y >= r.y && y <= r.y2) c = r.brush.color, covered = true;
        return covered ? c : Color{1, 2, 3};
    };
    int wrong = 0;
    for (int row = 0; row < w; ++row)
        for (int col = 0; col < w; ++col) {
            // The middle of the module, outside the cross.
            const int x = cx + (2 * col + 1) * side / (2 * w);
            const int y = cy + (2 * row + 1) * side / (2 * w);
            if (std::abs(x - (cx + 230)) <= 35 && std::abs(y - (cy + 230)) <= 35) continue;
            const Color want = matrix->at(col, row) ? kBlack : kWhite;
            wrong += !(colour(x, y) == want);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(SwissBillPage, NothingDrawnWithoutAPayload) {
    RecordingCanvas canvas;
    canvas.beginDocument("bill");
    SwissBill b = Bill();
    b.amount = Money();
    EXPECT_FALSE(DrawSwissBill(canvas, 0, 0, b));
    EXPECT_TRUE(canvas.texts().empty());
    EXPECT_TRUE(canvas.ops(CanvasOp::Kind::Rectangle).empty());
}

}  // namespace
}  // namespace invarro::output
