// invarro-fbtool dump NAME --fields on business files.

#include <array>
#include <cstdio>

#include "DataFixture.h"
#include "data/Update.h"

namespace invarro::data {
namespace {

struct ProgramRun {
    std::string out;
    int status = -1;
};

ProgramRun Fbtool(const std::string& args) {
    std::string cmd = std::string(INVARRO_FBTOOL) + " " + args + " 2>&1";
    ProgramRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    std::array<char, 4096> buf;
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    r.status = WEXITSTATUS(::pclose(p));
    return r;
}

class FbtoolFieldsTest : public DataTest {};

TEST_F(FbtoolFieldsTest, PrintsEachLiveRecordFieldByField) {
    storage::Fileblock* fb = createOpen(FileKind::Product, "3");
    ProductRecord p;
    p.setText(Product::ProdCode, "W-10");
    p.setText(Product::Description, "Crème \"brûlée\"");
    p.setByte(Product::Taxable, 1);
    ASSERT_TRUE(p.setMoney(Product::SellPrice, Money::FromCents(1999)));
    int32_t first = AddBusinessRecord(fb, p, prompter).recNo;
    p.setText(Product::ProdCode, "W-11");
    int32_t second = AddBusinessRecord(fb, p, prompter).recNo;
    p.setText(Product::ProdCode, "W-10");
    ASSERT_TRUE(DeleteBusinessRecord(fb, first, p, prompter).ok());  // deleted: not shown
    storage::CloseFileblock(fb);

    ProgramRun dump = Fbtool("dump " + name(FileKind::Product, "3") + " --fields");
    ASSERT_EQ(dump.status, 0) << dump.out;
    EXPECT_EQ(dump.out, "record " + std::to_string(second) +
                            " (ProductRecord)\n"
                            "  ProdCode             \"W-11\"\n"
                            "  Description          \"Crème \\\"brûlée\\\"\"\n"
                            "  Taxable              1\n"
                            "  SellPrice            \"19.99\"\n"
                            "  ProdNotes            \"\"\n"
                            "  SetupDate            \"\"\n"
                            "  ChangedDate          \"\"\n");
}

TEST_F(FbtoolFieldsTest, RefusesUnknownNamesAndMismatchedFiles) {
    ProgramRun r = Fbtool("dump " + dir.file("Other") + " --fields");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("not a business file"), std::string::npos);

    // A customer-length file under a product file's name.
    ASSERT_TRUE(CreateBusinessFileblock(dir.file("5P"), KindOf(FileKind::Customer)));
    r = Fbtool("dump " + dir.file("5P") + " --fields");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("record length 1008, but a ProductRecord has 300 bytes"),
              std::string::npos);
}

TEST_F(FbtoolFieldsTest, FontAndNumberFieldsOfTheCompanyFile) {
    storage::Fileblock* fb = createOpen(FileKind::Company);
    CompanyRecord c;
    c.setText(Company::CompanyNo, "1");
    c.setInt32(Company::EditorFontSize, -4);
    c.setFont(Company::FormFonts1, {"Arial", 10, 0xFF, style::Bold});
    ASSERT_TRUE(AddBusinessRecord(fb, c, prompter).ok());
    storage::CloseFileblock(fb);
    ProgramRun r = Fbtool("dump " + name(FileKind::Company) + " --fields");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("  EditorFontSize       -4\n"), std::string::npos);
    EXPECT_NE(r.out.find("  FormFonts1           \"Arial\" size 10 colour 0x0000FF style 1\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("  AgingCaption3        \"\"\n"), std::string::npos);
}

}  // namespace
}  // namespace invarro::data
