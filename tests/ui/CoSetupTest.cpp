// TCoSetup and THeaderForm driven offscreen: the tabs and their controls, loading a
// record, the checks of "&Save" with their tab and focus, storing, help per tab, the font
// and bitmap buttons, the missing background, and the headers dialog with its colour files.

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <cstdlib>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "app/CompanySetup.h"
#include "app/MailPassword.h"
#include "app/MailSignIn.h"
#include "data/EInvoiceData.h"
#include "data/IniFile.h"
#include "data/SideFiles.h"
#include "output/EMail.h"
#include "output/PaymentCode.h"
#include "platform/Clock.h"
#include "platform/curl/CurlOAuth.h"
#include "support/MemoryKeyring.h"
#include "support/Modal.h"
#include "support/OAuthPeer.h"
#include "support/QtApp.h"
#include "support/RecordingProgress.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "ui/CoSetup.h"
#include "ui/FontColorDialog.h"
#include "ui/HeaderForm.h"
#include "ui/MailTemplateEditor.h"

namespace invarro::ui {
namespace {

using app::CompanySetupForm;
using data::Company;
using data::CompanyRecord;
using testing::ScriptedPrompter;
using testing::TempDir;
using testing::WhenModal;

class CoSetupTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::QtApp(); }

    void SetUp() override {
        services.folder = dir.path();
        services.prompter = &prompter;
        services.progress = &progress;
        services.clock = &clock;
        services.help = [this](const std::string& topic) { topics.push_back(topic); };
        record = data::NewCompanyRecord(data::FirstCompanyBase(), 0);
        record.setText(Company::Name, "Harbor Supply");
        record.setText(Company::CompanyNo, "1");
        record.setText(Company::BackgroundFile, "");
    }

    std::unique_ptr<CompanySetupForm> addForm(std::string number = "3") {
        CompanyRecord r = data::NewCompanyRecord(record, 2);
        r.setText(Company::CompanyNo, number);
        return std::make_unique<CompanySetupForm>(CompanySetupForm::Mode::Add, r, "1",
                                                  [](std::string_view n) { return n == "2"; });
    }
    std::unique_ptr<CompanySetupForm> editForm() {
        return std::make_unique<CompanySetupForm>(CompanySetupForm::Mode::Edit, record, "1",
                                                  nullptr);
    }
    template <class T = QLineEdit>
    static T* child(QWidget& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    static void type(QWidget& w, const char* name, const QString& text) {
        QLineEdit* e = child(w, name);
        e->clear();
        QTest::keyClicks(e, text);
    }
    static void save(QWidget& w) { child<QPushButton>(w, "OKBtn")->click(); }

    TempDir dir;
    ScriptedPrompter prompter;
    testing::RecordingProgress progress;
    platform::FixedClock clock{platform::LocalDateTime{2026, 3, 3, 9, 0, 0}};
    WindowServices services;
    CompanyRecord record;
    std::vector<std::string> topics;
};

TEST_F(CoSetupTest, NineTabsAndEveryControl) {
    auto form = addForm();
    TCoSetup dialog(*form, services);
    auto* tabs = child<QTabWidget>(dialog, "PageControl1");
    ASSERT_EQ(tabs->count(), 9);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(tabs->tabText(i).toStdString(), app::kSetupTabs[i]);
    EXPECT_EQ(tabs->tabText(8), "E-Invoice");
    for (const app::SetupControl& c : app::CompanySetupControls()) {
        const QString name = QString::fromUtf8(c.name.data(), qsizetype(c.name.size()));
        QWidget* w = dialog.findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << c.name;
        if (c.isBox()) {
            EXPECT_NE(qobject_cast<QAbstractButton*>(w), nullptr) << c.name;
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            EXPECT_EQ(e->maxLength(), c.limit()) << c.name;
        } else {
            EXPECT_NE(qobject_cast<QComboBox*>(w), nullptr) << c.name;
        }
        // Each control sits on the tab the checks name for it.
        QWidget* page = w;
        while (page && tabs->indexOf(page) < 0)
            page = page->parentWidget();
        ASSERT_NE(page, nullptr) << c.name;
        EXPECT_EQ(tabs->tabText(tabs->indexOf(page)).toStdString(), c.tab) << c.name;
    }
    EXPECT_EQ(child<QComboBox>(dialog, "DFTerms")->lineEdit()->maxLength(), 35);
    for (const char* button : {"EdFontBtn", "MgrFontBtn", "EnvFontBtn", "LogoBmpBtn", "BkgBmpBtn",
                               "HeaderBtn", "CancelBtn", "HelpBtn"})
        EXPECT_NE(dialog.findChild<QPushButton*>(button), nullptr) << button;
    EXPECT_EQ(child<QPushButton>(dialog, "OKBtn")->text(), "&Save");
    // Digit-only entries refuse letters.
    type(dialog, "NumCpys", "a7");
    EXPECT_EQ(child(dialog, "NumCpys")->text(), "7");
}

TEST_F(CoSetupTest, NewAndEditTitlesNumberFieldAndLoadedValues) {
    record.setText(Company::DateFormatCode, "D");
    record.setText(Company::LineStyle, "L");
    record.setText(Company::DefTerms, "Net 10 Days");
    record.setText(Company::EMailPort, "");
    auto edit = editForm();
    TCoSetup editing(*edit, services);
    EXPECT_EQ(editing.windowTitle(), "Edit Company");
    EXPECT_FALSE(child(editing, "CoNumb")->isEnabled());
    EXPECT_EQ(child(editing, "CName")->text(), "Harbor Supply");
    EXPECT_TRUE(child<QRadioButton>(editing, "DDMMYY")->isChecked());
    EXPECT_FALSE(child<QRadioButton>(editing, "MMDDYY")->isChecked());
    EXPECT_EQ(child<QComboBox>(editing, "ComboBox1")->currentText(), "solid");
    EXPECT_EQ(child<QComboBox>(editing, "DFTerms")->currentText(), "Net 10 Days");
    EXPECT_EQ(child(editing, "EMPort")->text(), "25");
    // The terms list comes from KRTERMS.DAT (written with the built-in terms when missing).
    auto* terms = child<QComboBox>(editing, "DFTerms");
    EXPECT_EQ(terms->count(), int(data::BuiltInTerms().size()));
    EXPECT_TRUE(std::filesystem::exists(dir.file("KRTERMS.DAT")));

    auto add = addForm();
    TCoSetup adding(*add, services);
    EXPECT_EQ(adding.windowTitle(), "New Company");
    EXPECT_TRUE(child(adding, "CoNumb")->isEnabled());
    EXPECT_EQ(child(adding, "CoNumb")->text(), "3");
    EXPECT_EQ(child(adding, "CName")->text(), "");
    EXPECT_EQ(child(adding, "NextIno")->text(), "1000");
}

TEST_F(CoSetupTest, ShownOnTheFirstTabWithTheNameFocused) {
    auto form = addForm();
    TCoSetup dialog(*form, services);
    child<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(4);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.currentTabName(), "Address/Taxes");
    EXPECT_EQ(dialog.focusWidget(), child(dialog, "CName"));
    dialog.reject();
}

TEST_F(CoSetupTest, SaveChecksSwitchToTheTabAndFocusTheField) {
    auto form = addForm();
    TCoSetup dialog(*form, services);
    dialog.show();
    type(dialog, "CName", "Lakeside Bakery");

    type(dialog, "CoNumb", "32001");
    prompter.expect("The Company number must be between 0 and 32001.");
    save(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), child(dialog, "CoNumb"));

    type(dialog, "CoNumb", "12a");
    prompter.expect("The company number field is numeric and valid values are 1 to 32000.");
    save(dialog);
    type(dialog, "CoNumb", "2");
    prompter.expect("This Company number already exists. Enter another number.");
    save(dialog);

    type(dialog, "CoNumb", "32000");
    type(dialog, "CAVal1", "30");
    type(dialog, "CAVal2", "31");
    type(dialog, "CAVal3", "90");
    child<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(0);
    prompter.expect(
        "The aging days for category 2 must be greater than category 1 by at least 2 days.");
    save(dialog);
    EXPECT_EQ(dialog.currentTabName(), "Envelopes/Aging");
    EXPECT_EQ(dialog.focusWidget(), child(dialog, "CAVal2"));
    EXPECT_EQ(prompter.last().title, "Aging Category 2");

    type(dialog, "CAVal2", "32");
    type(dialog, "CAVal3", "34");
    type(dialog, "CEmailAdd", "office.bakery.example");
    prompter.expect(
        "Your company e-mail address does not have the @ sign included. Bad e-mail address.");
    save(dialog);
    EXPECT_EQ(dialog.currentTabName(), "E-Mail");
    EXPECT_EQ(dialog.focusWidget(), child(dialog, "CEmailAdd"));

    type(dialog, "CEmailAdd", "office@bakery.example");
    type(dialog, "NumCpys", "7");
    save(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
    const CompanyRecord& w = form->working();
    EXPECT_EQ(w.text(Company::CompanyNo), "32000");
    EXPECT_EQ(w.text(Company::Name), "Lakeside Bakery");
    EXPECT_EQ(w.text(Company::AgingDays2), "32");
    EXPECT_EQ(w.text(Company::NumCopies), "1");
    EXPECT_EQ(w.text(Company::EMailAddress), "office@bakery.example");
    EXPECT_FALSE(dialog.reloadCompanyInUse());
}

TEST_F(CoSetupTest, EInvoiceSettingsAreCheckedOnSaveAndKeptInTheIniFile) {
    auto form = editForm();
    TCoSetup dialog(*form, services);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* tabs = child<QTabWidget>(dialog, "PageControl1");
    tabs->setCurrentIndex(8);
    child<QCheckBox>(dialog, "EIOn")->setFocus();
    QTest::keyClick(child<QCheckBox>(dialog, "EIOn"), Qt::Key_Space);
    ASSERT_TRUE(child<QCheckBox>(dialog, "EIOn")->isChecked());
    // On without the seller's data: refused, on its tab.
    tabs->setCurrentIndex(0);
    prompter.expect("An e-invoice needs the seller's country.");
    save(dialog);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.currentTabName(), "E-Invoice");
    type(dialog, "EICountry", "de");
    type(dialog, "EIVatId", "DE 123 456 788");
    type(dialog, "EIIban", "DE41 5001 0517 0123 4567 80");
    prompter.expect("The check digits of the IBAN DE41500105170123456780 are wrong.");
    save(dialog);
    EXPECT_TRUE(dialog.isVisible());
    type(dialog, "EIIban", "DE41 5001 0517 0123 4567 89");
    type(dialog, "EICurrency", "eux");
    prompter.expect("\"EUX\" is not a currency code (ISO 4217, such as EUR).");
    save(dialog);
    type(dialog, "EICurrency", "EUR");
    child<QComboBox>(dialog, "EIExempt")->setCurrentIndex(1);
    prompter.expect("Exempt lines need the reason of the exemption.");
    save(dialog);
    type(dialog, "EIReason", "Exempt from VAT");
    save(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    const data::CompanyEInvoice kept =
        data::ReadCompanyEInvoice(data::IniFile(data::IniFilePath(dir.path())), "1");
    EXPECT_TRUE(kept.on);
    EXPECT_EQ(kept.country, "DE");
    EXPECT_EQ(kept.vatId, "DE123456788");
    EXPECT_EQ(kept.iban, "DE41500105170123456789");
    EXPECT_EQ(kept.currency, "EUR");
    EXPECT_EQ(kept.exempt, data::ExemptCategory::Exempt);
    EXPECT_EQ(kept.exemptionReason, "Exempt from VAT");
    // Shown again the next time.
    TCoSetup again(*form, services);
    EXPECT_TRUE(child<QCheckBox>(again, "EIOn")->isChecked());
    EXPECT_EQ(child(again, "EIIban")->text(), "DE41500105170123456789");
    EXPECT_EQ(child<QComboBox>(again, "EIExempt")->currentIndex(), 1);
}

TEST_F(CoSetupTest, ThePaperOfTheCompanysPdfFilesFollowsItsCountryUntilOneIsChosen) {
    auto form = editForm();
    {
        TCoSetup dialog(*form, services);
        auto* paper = child<QComboBox>(dialog, "EIPaper");
        ASSERT_EQ(paper->count(), 3);
        EXPECT_EQ(paper->currentIndex(), 0);  // by the country
        type(dialog, "EICountry", "DE");
        if (const char* out = std::getenv("INVARRO_SHOTS")) {
            dialog.show();
            dialog.showTab("E-Invoice");
            dialog.grab().save(QString(out) + "/company-options-einvoice.png");
        }
        paper->setCurrentIndex(2);  // Letter, although Germany prints on A4
        save(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    data::CompanyEInvoice kept =
        data::ReadCompanyEInvoice(data::IniFile(data::IniFilePath(dir.path())), "1");
    EXPECT_EQ(kept.paper, "Letter");
    EXPECT_EQ(data::CompanyPaper(kept), data::PaperSize::Letter);
    {
        TCoSetup again(*form, services);
        EXPECT_EQ(child<QComboBox>(again, "EIPaper")->currentIndex(), 2);
        child<QComboBox>(again, "EIPaper")->setCurrentIndex(0);
        save(again);
    }
    kept = data::ReadCompanyEInvoice(data::IniFile(data::IniFilePath(dir.path())), "1");
    EXPECT_EQ(kept.paper, "");
    EXPECT_EQ(data::CompanyPaper(kept), data::PaperSize::A4);
}

TEST_F(CoSetupTest, PaymentCodesAreOnUntilSwitchedOffAndStayAsChosen) {
    auto form = editForm();
    {
        TCoSetup dialog(*form, services);
        auto* code = child<QCheckBox>(dialog, "EIPayCode");
        EXPECT_TRUE(code->isChecked());
        code->setChecked(false);
        save(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(output::PaymentCodesOff(data::IniFile(data::IniFilePath(dir.path())), "1"));
    {
        TCoSetup again(*form, services);
        EXPECT_FALSE(child<QCheckBox>(again, "EIPayCode")->isChecked());
        child<QCheckBox>(again, "EIPayCode")->setChecked(true);
        save(again);
    }
    EXPECT_FALSE(output::PaymentCodesOff(data::IniFile(data::IniFilePath(dir.path())), "1"));
}

TEST_F(CoSetupTest, ZeroNumberAndEditOfTheCompanyInUse) {
    auto form = addForm();
    TCoSetup adding(*form, services);
    adding.show();
    type(adding, "CName", "Lakeside Bakery");
    type(adding, "CoNumb", "0");
    prompter.expect("The Company number must be between 0 and 32001.");
    save(adding);
    EXPECT_EQ(adding.currentTabName(), "Address/Taxes");
    adding.reject();

    auto edit = editForm();
    TCoSetup editing(*edit, services);
    editing.show();
    child<QCheckBox>(editing, "CalcTaxes")->click();
    save(editing);
    EXPECT_EQ(editing.result(), QDialog::Accepted);
    EXPECT_TRUE(editing.reloadCompanyInUse());
    EXPECT_EQ(edit->working().byte(Company::CalcTaxes), 0);
}

TEST_F(CoSetupTest, HelpOpensTheTopicOfTheTab) {
    auto form = addForm();
    TCoSetup dialog(*form, services);
    auto* tabs = child<QTabWidget>(dialog, "PageControl1");
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        child<QPushButton>(dialog, "HelpBtn")->click();
    }
    EXPECT_EQ(topics, (std::vector<std::string>{
                          "Address and Tax Rate Settings", "E-Mail Mode", "Envelope Setup",
                          "Form Setup Options", "General Options", "Invoice Options",
                          "Invoice Options", "System Graphics", "Address and Tax Rate Settings"}));
    services.help = nullptr;
    TCoSetup without(*form, services);
    EXPECT_FALSE(child<QPushButton>(without, "HelpBtn")->isEnabled());
}

TEST_F(CoSetupTest, MissingBackgroundIsToldAndItsPictureHidden) {
    record.setText(Company::BackgroundFile, "gone.bmp");
    auto form = editForm();
    TCoSetup dialog(*form, services);
    prompter.expect(
        "Background bitmap image no longer exists. Use the Graphics tab to select another "
        "bitmap if desired.");
    dialog.show();
    QTest::qWait(50);
    EXPECT_TRUE(prompter.done());
    EXPECT_TRUE(child<QLabel>(dialog, "BkgPreview")->isHidden());

    // Choosing a bitmap in the data folder keeps its bare name and shows it.
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(30, 90, 160));
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.file("tile.bmp")), "BMP"));
    WhenModal<QFileDialog>([&](QFileDialog* files) {
        EXPECT_TRUE(files->nameFilters().first().startsWith("Bitmap File"));
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(dir.file("tile.bmp")));
        static_cast<QDialog*>(files)->accept();
    });
    child<QPushButton>(dialog, "BkgBmpBtn")->click();
    EXPECT_EQ(child(dialog, "PicName")->text(), "tile.bmp");
    auto* preview = child<QLabel>(dialog, "BkgPreview");
    EXPECT_FALSE(preview->isHidden());
    EXPECT_FALSE(preview->pixmap().isNull());
    save(dialog);
    EXPECT_EQ(form->working().text(Company::BackgroundFile), "tile.bmp");
}

TEST_F(CoSetupTest, NoMessageWhenTheBackgroundExistsOrWhenAdding) {
    testing::WriteFileBytes(dir.file("background.bmp"), "BM");
    record.setText(Company::BackgroundFile, "background.bmp");
    auto edit = editForm();
    TCoSetup editing(*edit, services);
    editing.show();
    QTest::qWait(30);
    editing.reject();
    record.setText(Company::BackgroundFile, "missing.bmp");
    auto add = addForm();
    TCoSetup adding(*add, services);
    adding.show();
    QTest::qWait(30);
    adding.reject();
    EXPECT_TRUE(prompter.seen().empty());
}

TEST_F(CoSetupTest, LogoNameDroppedWithoutTheLogoBox) {
    auto form = editForm();
    TCoSetup dialog(*form, services);
    dialog.setLogo(QString::fromStdString("/elsewhere/logo.bmp"));
    EXPECT_EQ(child(dialog, "BmpNameText")->text(), "/elsewhere/logo.bmp");
    child<QCheckBox>(dialog, "UseBmpCB")->setChecked(true);
    save(dialog);
    EXPECT_EQ(form->working().text(Company::LogoFile), "/elsewhere/logo.bmp");

    auto again = editForm();
    TCoSetup second(*again, services);
    second.setLogo(QStringLiteral("/elsewhere/logo.bmp"));
    child<QCheckBox>(second, "UseBmpCB")->setChecked(false);
    save(second);
    EXPECT_EQ(again->working().text(Company::LogoFile), "");
}

TEST_F(CoSetupTest, FontButtonsShowTheirChoice) {
    auto form = editForm();
    TCoSetup dialog(*form, services);
    WhenModal<TFontColorDialog>([](TFontColorDialog* fonts) {
        QFont f(QStringLiteral("DejaVu Serif"));
        f.setPointSize(15);
        f.setItalic(true);
        fonts->setSelectedFont(f);
        fonts->setSelectedColor(QColor(0x10, 0x20, 0x30));
        fonts->accept();
    });
    child<QPushButton>(dialog, "EdFontBtn")->click();
    const data::FontSetting f = app::ReadSetupFont(form->working(), app::SetupFont::Editor);
    EXPECT_EQ(f.name, "DejaVu Serif");
    EXPECT_EQ(f.size, 15);
    EXPECT_EQ(f.style, data::style::Italic);
    EXPECT_EQ(f.colour, 0x302010);
    auto* sample = child<QLabel>(dialog, "EdFontSample");
    EXPECT_EQ(sample->text(), "DejaVu Serif 15");
    EXPECT_TRUE(sample->font().italic());

    // Cancel changes nothing.
    WhenModal<TFontColorDialog>([](TFontColorDialog* fonts) { fonts->reject(); });
    child<QPushButton>(dialog, "MgrFontBtn")->click();
    EXPECT_EQ(form->working().text(Company::MgrFontName), "Courier New");
}

TEST_F(CoSetupTest, HeadersDialogEditsTheWorkingRecordAndWritesTheColours) {
    auto form = editForm();
    TCoSetup dialog(*form, services);
    WhenModal<THeaderForm>([&](THeaderForm* headers) {
        EXPECT_EQ(headers->windowTitle(), "Headers, Fonts and Colors");
        EXPECT_EQ(child(*headers, "InvCapData")->maxLength(), 25);
        EXPECT_EQ(child(*headers, "DescHead")->maxLength(), 32);
        EXPECT_EQ(child(*headers, "StmntNote")->maxLength(), 80);
        EXPECT_EQ(child(*headers, "QuoteEB")->text(), "Q U O T E");
        EXPECT_EQ(child<QLabel>(*headers, "FontSample2")->font().pointSize(), 20);
        EXPECT_EQ(child<QPushButton>(*headers, "FontBtn4")->text(), "Customer Address");
        type(*headers, "InvCapData", "TAX INVOICE");
        type(*headers, "Edit8", "Each");
        headers->setColour(false, 0x00C0C0);
        headers->setColour(true, 0x112233);
        headers->setFormFont(5, {"DejaVu Sans", 9, 0xFF, data::style::Bold});
        child<QPushButton>(*headers, "OKBtn")->click();
    });
    child<QPushButton>(dialog, "HeaderBtn")->click();
    EXPECT_EQ(form->working().text(Company::InvoiceCaption), "TAX INVOICE");
    EXPECT_EQ(form->working().text(Company::PriceHeading), "Each");
    EXPECT_EQ(form->working().font(Company::FormFonts6).name, "DejaVu Sans");
    EXPECT_EQ(data::ReadColourFile(dir.file("Shadeclr.fnt")), 0x00C0C0);
    EXPECT_EQ(data::ReadColourFile(dir.file("InvBoxClr.fnt")), 0x112233);

    // Cancel keeps the record and the colour files.
    WhenModal<THeaderForm>([&](THeaderForm* headers) {
        type(*headers, "InvCapData", "BILL");
        headers->setColour(true, 0xFFFFFF);
        headers->reject();
    });
    child<QPushButton>(dialog, "HeaderBtn")->click();
    EXPECT_EQ(form->working().text(Company::InvoiceCaption), "TAX INVOICE");
    EXPECT_EQ(data::ReadColourFile(dir.file("InvBoxClr.fnt")), 0x112233);
}

TEST_F(CoSetupTest, ColourButtonKeepsOnlyTheColour) {
    CompanyRecord r = record;
    THeaderForm headers(r, services);
    const data::FontSetting body = headers.formFont(0);
    WhenModal<TFontColorDialog>([](TFontColorDialog* fonts) {
        fonts->setSelectedFont(QFont(QStringLiteral("DejaVu Serif"), 30));
        fonts->setSelectedColor(QColor(0xAA, 0xBB, 0xCC));
        fonts->accept();
    });
    child<QPushButton>(headers, "ShadeClrBtn")->click();
    EXPECT_EQ(headers.colours().shading, 0xCCBBAA);
    EXPECT_EQ(headers.formFont(0), body);
}

TEST_F(CoSetupTest, KeyringOptionShowsTheKeptPasswordAndSavesItThere) {
    testing::MemoryKeyring keyring;
    // Kept by an earlier version under the number alone: shown, and moved on saving.
    keyring.secrets["1"] = "kept";
    services.keyring = &keyring;
    record.setText(Company::EMailPassword, "");
    auto form = editForm();
    {
        TCoSetup dialog(*form, services);
        auto* box = child<QCheckBox>(dialog, "EMKeyring");
        EXPECT_EQ(box->text().toStdString(), app::kKeyringOption);
        // No choice made yet and a keyring answers: on.
        EXPECT_TRUE(box->isEnabled());
        EXPECT_TRUE(box->isChecked());
        EXPECT_EQ(child(dialog, "EMpword")->text(), "kept");
        type(dialog, "EMpword", "changed");
        save(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(keyring.secrets.at(app::KeyringKey(dir.path(), "1")), "changed");
    EXPECT_FALSE(keyring.secrets.contains("1"));
    EXPECT_EQ(form->working().text(Company::EMailPassword), "");

    // Turned off: the record takes the password and the keyring's copy goes.
    record = form->working();
    auto again = editForm();
    {
        TCoSetup dialog(*again, services);
        EXPECT_EQ(child(dialog, "EMpword")->text(), "changed");
        child<QCheckBox>(dialog, "EMKeyring")->setChecked(false);
        save(dialog);
    }
    EXPECT_TRUE(keyring.secrets.empty());
    EXPECT_EQ(again->working().text(Company::EMailPassword), "changed");
    // ... and stays off when the dialog opens next.
    record = again->working();
    auto third = editForm();
    TCoSetup dialog(*third, services);
    EXPECT_FALSE(child<QCheckBox>(dialog, "EMKeyring")->isChecked());
    EXPECT_EQ(child(dialog, "EMpword")->text(), "changed");
}

TEST_F(CoSetupTest, WithoutAnsweringKeyringThePasswordStaysInTheRecord) {
    testing::MemoryKeyring keyring;
    keyring.answers = false;
    for (platform::Keyring* k :
         {static_cast<platform::Keyring*>(nullptr), static_cast<platform::Keyring*>(&keyring)}) {
        services.keyring = k;
        record.setText(Company::EMailPassword, "in record");
        auto form = editForm();
        TCoSetup dialog(*form, services);
        auto* box = child<QCheckBox>(dialog, "EMKeyring");
        EXPECT_FALSE(box->isEnabled());
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(child(dialog, "EMpword")->text(), "in record");
        save(dialog);
        EXPECT_EQ(form->working().text(Company::EMailPassword), "in record");
    }
    EXPECT_EQ(keyring.stores, 0);
}

TEST_F(CoSetupTest, ARefusedKeyringIsToldAndThePasswordKeptInTheRecord) {
    testing::MemoryKeyring keyring;
    keyring.refuseStore = true;
    services.keyring = &keyring;
    record.setText(Company::EMailPassword, "old record");
    auto form = editForm();
    TCoSetup dialog(*form, services);
    EXPECT_EQ(child(dialog, "EMpword")->text(), "old record");
    prompter.expect(
        "The mail password could not be kept in the desktop keyring (The keyring is locked.). "
        "It is kept in the company record.");
    save(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(form->working().text(Company::EMailPassword), "old record");
}

TEST_F(CoSetupTest, AttachThePdfIsOnTheEMailTabOnForNewCompaniesAndKeptInTheIniFile) {
    const std::string ini = data::IniFilePath(dir.path());
    {
        // An existing company that never chose: on.
        auto form = editForm();
        TCoSetup dialog(*form, services);
        dialog.showTab(app::kTabEMail);
        auto* box = child<QCheckBox>(dialog, "EMAttachPdf");
        EXPECT_EQ(box->text().toStdString(), output::kAttachOption);
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(box->isVisibleTo(&dialog));
        if (const char* out = std::getenv("INVARRO_SHOTS")) {
            dialog.show();
            dialog.showTab(app::kTabEMail);
            dialog.grab().save(QString(out) + "/company-options-email.png");
        }
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        EXPECT_FALSE(box->isChecked());
        save(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    // Kept beside the keyring choice, not in the company record.
    EXPECT_FALSE(output::AttachDocumentPdf(data::IniFile(ini), "1"));
    EXPECT_EQ(data::IniFile(ini).read(output::kAttachSection, "1"), "0");
    {
        auto form = editForm();
        TCoSetup dialog(*form, services);
        EXPECT_FALSE(child<QCheckBox>(dialog, "EMAttachPdf")->isChecked());
        // Closed without saving: the choice stays.
        child<QCheckBox>(dialog, "EMAttachPdf")->setChecked(true);
        dialog.reject();
    }
    EXPECT_FALSE(output::AttachDocumentPdf(data::IniFile(ini), "1"));
    {
        // A new company starts with it on, even under the number of one that chose off.
        data::IniFile(ini).writeInteger(output::kAttachSection, "3", 0);
        auto form = addForm("3");
        TCoSetup dialog(*form, services);
        EXPECT_TRUE(child<QCheckBox>(dialog, "EMAttachPdf")->isChecked());
        type(dialog, "CName", "Third Company");
        save(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted) << prompter.seen().size();
    }
    EXPECT_TRUE(output::AttachDocumentPdf(data::IniFile(ini), "3"));
}

size_t Collected(char* data, size_t size, size_t count, void*) {
    (void)data;
    return size * count;
}

TEST_F(CoSetupTest, SignInWithAProviderFromTheEMailTab) {
    testing::OAuthPeer provider(testing::OAuthPeer::Options{});
    ASSERT_TRUE(provider.ready());
    testing::MemoryKeyring tokens;
    platform::curl::CurlOAuth oauth;
    services.tokenKeyring = &tokens;
    services.oauth = &oauth;
    std::thread browser;
    services.openUrl = [&](const std::string& url) {
        // The browser follows the provider's page back to the listener.
        browser = std::thread([url] {
            CURL* e = curl_easy_init();
            curl_easy_setopt(e, CURLOPT_URL, url.c_str());
            curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
            curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, Collected);
            curl_easy_setopt(e, CURLOPT_TIMEOUT, 20L);
            curl_easy_perform(e);
            curl_easy_cleanup(e);
        });
        return true;
    };
    const std::string ini = data::IniFilePath(dir.path());
    auto choose = [](QComboBox* box, app::SignInMethod m) {
        box->setCurrentIndex(box->findData(int(m)));
        emit box->activated(box->currentIndex());
    };
    {
        auto form = editForm();
        TCoSetup dialog(*form, services);
        dialog.show();
        dialog.showTab(app::kTabEMail);
        auto* method = child<QComboBox>(dialog, "EMSignIn");
        EXPECT_EQ(method->currentText(), "Password");
        EXPECT_FALSE(child(dialog, "EMClientId")->isVisible());
        EXPECT_TRUE(child(dialog, "EMlogin")->isEnabled());

        // A named provider brings its server and scope; the password rows do not count.
        choose(method, app::SignInMethod::Microsoft);
        EXPECT_EQ(child(dialog, "CEMailHost")->text(), "smtp.office365.com");
        EXPECT_EQ(child(dialog, "EMPort")->text(), "587");
        EXPECT_TRUE(child(dialog, "EMClientId")->isVisible());
        EXPECT_FALSE(child(dialog, "EMAuthorizeUrl")->isVisible());
        EXPECT_FALSE(child(dialog, "EMClientSecret")->isVisible());
        EXPECT_EQ(child(dialog, "EMScope")->text(),
                  "https://outlook.office.com/SMTP.Send offline_access");
        EXPECT_TRUE(child(dialog, "EMScope")->isReadOnly());
        EXPECT_FALSE(child(dialog, "EMlogin")->isEnabled());
        EXPECT_FALSE(child(dialog, "EMpword")->isEnabled());
        // Google's server replaces Microsoft's, which the program had filled in itself.
        choose(method, app::SignInMethod::Google);
        EXPECT_EQ(child(dialog, "CEMailHost")->text(), "smtp.gmail.com");
        EXPECT_TRUE(child(dialog, "EMClientSecret")->isVisible());

        // Without a client id nothing is opened.
        choose(method, app::SignInMethod::Other);
        EXPECT_TRUE(child(dialog, "EMAuthorizeUrl")->isVisible());
        EXPECT_FALSE(child(dialog, "EMScope")->isReadOnly());
        prompter.expect(
            "Enter the application (client) id the provider gave when the application was "
            "registered.");
        child<QPushButton>(dialog, "EMSignInButton")->click();
        EXPECT_FALSE(browser.joinable());

        type(dialog, "EMClientId", QString::fromStdString(provider.options().clientId));
        type(dialog, "EMAuthorizeUrl", QString::fromStdString(provider.url("/authorize")));
        type(dialog, "EMTokenUrl", QString::fromStdString(provider.url("/token")));
        type(dialog, "EMScope", "https://mail.test/ offline_access");
        type(dialog, "EMRevokeUrl", QString::fromStdString(provider.url("/revoke")));
        auto signIn = [&] {
            child<QPushButton>(dialog, "EMSignInButton")->click();
            if (browser.joinable()) browser.join();
            EXPECT_EQ(child<QLabel>(dialog, "EMAccount")->text(), "billing@northside.test");
            EXPECT_TRUE(child<QPushButton>(dialog, "EMSignOutButton")->isEnabled());
            EXPECT_EQ(tokens.secrets.size(), 1u);
        };
        signIn();
        // Sign out ends the refresh token at the provider and forgets it here.
        child<QPushButton>(dialog, "EMSignOutButton")->click();
        EXPECT_EQ(provider.count("revoke ok"), 1);
        EXPECT_TRUE(tokens.secrets.empty());
        EXPECT_EQ(child<QLabel>(dialog, "EMAccount")->text(), "(not signed in)");
        EXPECT_FALSE(child<QPushButton>(dialog, "EMSignOutButton")->isEnabled());
        signIn();
        if (const char* out = std::getenv("INVARRO_SHOTS"))
            dialog.grab().save(QString(out) + "/company-options-email-signin.png");
        save(dialog);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    app::MailSignInSettings kept = app::ReadMailSignIn(data::IniFile(ini), "1");
    EXPECT_EQ(kept.method, app::SignInMethod::Other);
    EXPECT_EQ(kept.tokenUrl, provider.url("/token"));
    EXPECT_EQ(kept.account, "billing@northside.test");
    {
        // Opened again: the account is shown. Another application id makes it void.
        auto form = editForm();
        TCoSetup dialog(*form, services);
        EXPECT_EQ(child<QLabel>(dialog, "EMAccount")->text(), "billing@northside.test");
        type(dialog, "EMClientId", "someone-else");
        emit child<QComboBox>(dialog, "EMSignIn")->activated(3);
        EXPECT_EQ(child<QLabel>(dialog, "EMAccount")->text(), "(not signed in)");
        save(dialog);
    }
    kept = app::ReadMailSignIn(data::IniFile(ini), "1");
    EXPECT_EQ(kept.clientId, "someone-else");
    EXPECT_EQ(kept.account, "");
    EXPECT_TRUE(tokens.secrets.empty());
}

TEST_F(CoSetupTest, TheEMailTemplatesAreEditedWithTheirFieldsAndKeptOnSave) {
    const std::string ini = data::IniFilePath(dir.path());
    auto form = editForm();
    {
        TCoSetup dialog(*form, services);
        dialog.show();
        dialog.showTab(app::kTabEMail);
        WhenModal<TMailTemplates>([&](TMailTemplates* t) {
            auto* kind = t->findChild<QComboBox*>("MTKind");
            auto* subject = t->findChild<QLineEdit*>("MTSubject");
            auto* body = t->findChild<QPlainTextEdit*>("MTBody");
            auto* fields = t->findChild<QListWidget*>("MTFields");
            // Without a template of its own the cover letter is shown; every field is listed.
            EXPECT_EQ(subject->text().toStdString(),
                      output::CoverLetter(output::MailKind::Invoice).subject);
            EXPECT_EQ(fields->count(), int(output::MergeFields().size()));
            if (const char* out = std::getenv("INVARRO_SHOTS"))
                t->grab().save(QString(out) + "/mail-templates.png");
            // The statement's: its subject typed, a field put at the cursor by double-click.
            kind->setFocus();
            QTest::keyClick(kind, Qt::Key_End);
            EXPECT_EQ(kind->currentText(), "Statement");
            subject->setFocus();
            QTest::keyClick(subject, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(subject, "Account ");
            const QList<QListWidgetItem*> account =
                fields->findItems("{Account}", Qt::MatchExactly);
            ASSERT_EQ(account.size(), 1);
            fields->setCurrentItem(account[0]);
            emit fields->itemActivated(account[0]);
            EXPECT_EQ(subject->text(), "Account {Account}");
            body->setFocus();
            QTest::keyClick(body, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(body, "Balance: ");
            emit fields->itemActivated(fields->findItems("{Balance Due}", Qt::MatchExactly)[0]);
            // The quote's is set back to the standard text after an edit.
            QTest::keyClick(kind, Qt::Key_Up);
            emit kind->activated(kind->currentIndex());
            EXPECT_EQ(kind->currentText(), "Quote");
            subject->setText("changed");
            t->findChild<QPushButton*>("MTStandard")->click();
            EXPECT_EQ(subject->text().toStdString(),
                      output::CoverLetter(output::MailKind::Quote).subject);
            t->findChild<QPushButton*>("OKBtn")->click();
        });
        child<QPushButton>(dialog, "EMTemplates")->click();
        // Kept only on Save.
        EXPECT_FALSE(output::ReadMailTexts(dir.path(), record).statement);
        save(dialog);
        ASSERT_EQ(dialog.result(), QDialog::Accepted);
    }
    const output::MailTexts kept = output::ReadMailTexts(dir.path(), record);
    EXPECT_FALSE(kept.invoice);
    EXPECT_FALSE(kept.quote);
    ASSERT_TRUE(kept.statement);
    EXPECT_EQ(kept.statement->subject, "Account {Account}");
    EXPECT_EQ(kept.statement->body, "Balance: {Balance Due}");
    // Opened again, the dialog shows what was kept; Cancel there changes nothing.
    record = form->working();
    auto again = editForm();
    TCoSetup dialog(*again, services);
    WhenModal<TMailTemplates>([&](TMailTemplates* t) {
        t->showKind(output::MailKind::Statement);
        EXPECT_EQ(t->findChild<QLineEdit*>("MTSubject")->text(), "Account {Account}");
        t->findChild<QLineEdit*>("MTSubject")->setText("thrown away");
        t->reject();
    });
    child<QPushButton>(dialog, "EMTemplates")->click();
    EXPECT_EQ(dialog.mailTemplates()[2]->subject, "Account {Account}");
}

}  // namespace
}  // namespace invarro::ui
