#include "app/DemoCompanies.h"

#include "app/CompanyManager.h"
#include "data/Company.h"
#include "data/Fileblocks.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "storage/Engine.h"

namespace invarro::app {

InstallResult AddDemoSecondCompany(const std::string& folder, platform::Prompter& prompter) {
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
    c.setText(Company::Name, "Cedar Ridge Landscaping");
    c.setText(Company::CoAddr1, "88 Orchard Road");
    c.setText(Company::CoAddr2, "Bend, OR 97701");
    c.setText(Company::CoAddr3, "Phone (541) 555-0186");
    c.setText(Company::CoAddr4, "www.cedarridge.example");
    c.setText(Company::EMailAddress, "office@cedarridge.example");
    c.setText(Company::EMailHost, "smtp.cedarridge.example");
    c.setText(Company::EMailPort, "587");
    // Oregon charges no sales tax.
    c.setByte(Company::CalcTaxes, 0);
    c.setText(Company::DefTaxRate, "0.000");
    c.setText(Company::DefTerms, "Net 20 Days");
    c.setText(Company::NextInvNo, "5001");
    c.setText(Company::NextCustNo, "100");
    c.setText(Company::SalesMsg1, "Thank you for letting us care for your garden.");
    c.setText(Company::MemoHeading, "Description of Services");
    c.setText(Company::SalesMsg2, "Ask about our spring clean-up and irrigation check packages.");
    c.setText(Company::AgingDays1, "30");
    c.setText(Company::AgingDays2, "45");
    c.setText(Company::AgingDays3, "60");
    c.setText(Company::AgingCaption2, "31-45:");
    c.setText(Company::AgingCaption3, "46-60:");
    c.setText(Company::EditorFontName, "Times New Roman");
    c.setInt32(Company::EditorFontSize, 12);
    c.setInt32(Company::EditorFontColor, 0x1E5A28);  // a dark forest green

    data::UpdateResult added = data::AddBusinessRecord(fb, c, prompter);
    storage::CloseFileblock(fb);
    if (!added.ok() || !storage::EngineOk) {
        result.message = "Cannot store the second demo company (engine error " +
                         std::to_string(added.ok() ? storage::EngineError : added.engineError) +
                         ")";
        return result;
    }
    result.ok = true;
    result.message = "Company " + std::to_string(number) + " added: Cedar Ridge Landscaping.";
    return result;
}

}  // namespace invarro::app
