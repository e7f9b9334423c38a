#include "app/DemoCompanies.h"

#include <functional>

#include "app/CompanyManager.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "storage/Engine.h"

namespace invarro::app {

namespace {

// Adds a company set up by setup as the company manager's "&Add" would: it starts from
// the company in use and takes the first free number from 2 up.
InstallResult AddDemoCompany(const std::string& folder, platform::Prompter& prompter,
                             const std::function<void(data::CompanyRecord&)>& setup) {
    using data::Company;
    InstallResult result;
    const std::string name = data::FileblockName(folder, data::FileKind::Company);
    storage::Fileblock* fb = storage::OpenFileblock(name, false);
    if (!storage::EngineOk) {
        result.message = "Cannot open the company file " + name + " (engine error " +
                         std::to_string(storage::EngineError) + ")";
        return result;
    }

    const data::CompanyRecord base =
        data::ReadLastCompany(folder).value_or(data::FirstCompanyBase());
    const int32_t count = storage::UsedRecordCount(fb);
    data::CompanyRecord c = data::NewCompanyRecord(base, int(count));
    int number = 2;
    while (number <= data::kMaxCompanyNo && FindCompanyByNumber(fb, std::to_string(number)))
        ++number;
    c.setText(Company::CompanyNo, std::to_string(number));
    setup(c);

    data::UpdateResult added = data::AddBusinessRecord(fb, c, prompter);
    storage::CloseFileblock(fb);
    if (!added.ok() || !storage::EngineOk) {
        result.message =
            "Cannot store the demo company " + c.text(Company::Name) + " (engine error " +
            std::to_string(added.ok() ? storage::EngineError : added.engineError) + ")";
        return result;
    }
    result.ok = true;
    result.message = "Company " + std::to_string(number) + " added: " + c.text(Company::Name) + ".";
    return result;
}

}  // namespace

InstallResult AddDemoSecondCompany(const std::string& folder, platform::Prompter& prompter) {
    using data::Company;
    return AddDemoCompany(folder, prompter, [](data::CompanyRecord& c) {
        c.setText(Company::Name, "Cedar Ridge Landscaping");
        c.setText(Company::CoAddr1, "88 Orchard Road");
        c.setText(Company::CoAddr2, "Bend, OR 97701");
        c.setText(Company::CoAddr3, "Phone (541) 555-0186");
        c.setText(Company::CoAddr4, "www.cedarridge.example");
        c.setText(Company::EMailAddress, "office@cedarridge.example");
        // Its mailbox is at Microsoft 365, which signs in through the browser.
        c.setText(Company::EMailHost, "smtp.office365.com");
        c.setText(Company::EMailPort, "587");
        // Oregon charges no sales tax.
        c.setByte(Company::CalcTaxes, 0);
        c.setText(Company::DefTaxRate, "0.000");
        c.setText(Company::DefTerms, "Net 20 Days");
        c.setText(Company::NextInvNo, "5001");
        c.setText(Company::NextCustNo, "100");
        c.setText(Company::SalesMsg1, "Thank you for letting us care for your garden.");
        c.setText(Company::MemoHeading, "Description of Services");
        c.setText(Company::SalesMsg2,
                  "Ask about our spring clean-up and irrigation check packages.");
        c.setText(Company::AgingDays1, "30");
        c.setText(Company::AgingDays2, "45");
        c.setText(Company::AgingDays3, "60");
        c.setText(Company::AgingCaption2, "31-45:");
        c.setText(Company::AgingCaption3, "46-60:");
        c.setText(Company::EditorFontName, "Times New Roman");
        c.setInt32(Company::EditorFontSize, 12);
        c.setInt32(Company::EditorFontColor, 0x1E5A28);  // a dark forest green
    });
}

InstallResult AddDemoEuropeanCompany(const std::string& folder, platform::Prompter& prompter) {
    using data::Company;
    return AddDemoCompany(folder, prompter, [](data::CompanyRecord& c) {
        c.setText(Company::Name, "Lindenhof Druck & Design GmbH");
        c.setText(Company::CoAddr1, "Lindenstraße 12");
        c.setText(Company::CoAddr2, "10115 Berlin");
        c.setText(Company::CoAddr3, "Telefon +49 30 5550 1420");
        c.setText(Company::CoAddr4, "rechnung@lindenhof.example");
        c.setText(Company::CoAddr5, "");
        c.setText(Company::EMailAddress, "rechnung@lindenhof.example");
        c.setText(Company::EMailHost, "smtp.lindenhof.example");
        c.setText(Company::EMailPort, "587");
        c.setText(Company::CurrencySymbol, "€");
        c.setByte(Company::CalcTaxes, 1);
        c.setText(Company::DefTaxRate, "19.000");
        c.setText(Company::NextInvNo, "3001");
        c.setText(Company::NextCustNo, "100");
        c.setByte(Company::UseBackground, 0);
        // What a German business sets up: dates day first, and the texts of its documents
        // that the settings hold in German.
        c.setText(Company::DateFormatCode, "D");
        c.setText(Company::TaxHeading, "MwSt.");
        c.setText(Company::DefTerms, "Zahlbar in 14 Tagen netto");
        c.setText(Company::SalesMsg1, "Vielen Dank für Ihren Auftrag.");
        c.setText(Company::SalesMsg2, "Bitte geben Sie bei der Zahlung die Rechnungsnummer an.");
        c.setText(Company::InvoiceCaption, "RECHNUNG");
        c.setText(Company::QuoteCaption, "ANGEBOT");
        c.setText(Company::PackSlipCaption, "LIEFERSCHEIN");
        c.setText(Company::FileCopyCaption, "ABLAGEKOPIE");
        c.setText(Company::StatementCaption, "KONTOAUSZUG");
        c.setText(Company::ShipToCaption, "Lieferanschrift:");
        c.setText(Company::CodeHeading, "Art.-Nr.");
        c.setText(Company::QtyHeading, "Menge");
        c.setText(Company::DescHeading, "Bezeichnung");
        c.setText(Company::PriceHeading, "Einzelpreis");
        c.setText(Company::ExtHeading, "Betrag");
        c.setText(Company::MemoHeading, "Leistungsbeschreibung");
        c.setText(Company::AgingCaption1, "Aktuell:");
    });
}

InstallResult AddDemoSwissCompany(const std::string& folder, platform::Prompter& prompter) {
    using data::Company;
    return AddDemoCompany(folder, prompter, [](data::CompanyRecord& c) {
        c.setText(Company::Name, "Alpenblick Druck AG");
        c.setText(Company::CoAddr1, "Bahnhofstrasse 17");
        c.setText(Company::CoAddr2, "8001 Zürich");
        c.setText(Company::CoAddr3, "Tel. +41 44 555 12 12");
        c.setText(Company::CoAddr4, "rechnung@alpenblick.example");
        c.setText(Company::CoAddr5, "");
        c.setText(Company::EMailAddress, "rechnung@alpenblick.example");
        c.setText(Company::EMailHost, "smtp.alpenblick.example");
        c.setText(Company::EMailPort, "587");
        // Francs have no one-character symbol: the currency is set with the bank details.
        c.setText(Company::CurrencySymbol, "");
        c.setByte(Company::CalcTaxes, 1);
        c.setText(Company::DefTaxRate, "8.100");
        c.setText(Company::NextInvNo, "7001");
        c.setText(Company::NextCustNo, "100");
        c.setByte(Company::UseBackground, 0);
        c.setText(Company::DateFormatCode, "D");
        c.setText(Company::TaxHeading, "MWST");
        c.setText(Company::DefTerms, "Zahlbar innert 30 Tagen");
        c.setText(Company::SalesMsg1, "Besten Dank für Ihren Auftrag.");
        c.setText(Company::SalesMsg2, "Bitte bezahlen Sie mit dem QR-Einzahlungsschein.");
        c.setText(Company::InvoiceCaption, "RECHNUNG");
        c.setText(Company::MemoHeading, "Leistung");
    });
}

}  // namespace invarro::app
