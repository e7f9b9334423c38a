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
    c.setText(Company::Name, "Blue Heron Print & Design");
    c.setText(Company::CoAddr1, "2150 Riverside Drive, Suite 4");
    c.setText(Company::CoAddr2, "Portland, OR 97201");
    c.setText(Company::CoAddr3, "Phone (503) 555-0148");
    c.setText(Company::CoAddr4, "www.blueheronprint.example");
    c.setText(Company::EMailAddress, "billing@blueheronprint.example");
    c.setText(Company::EMailHost, "smtp.blueheronprint.example");
    c.setText(Company::EMailPort, "587");
    // Oregon charges no sales tax.
    c.setByte(Company::CalcTaxes, 0);
    c.setText(Company::DefTaxRate, "0.000");
    c.setText(Company::DefTerms, "2% 10 Net 30");
    c.setText(Company::NextInvNo, "5001");
    c.setText(Company::NextCustNo, "100");
    c.setText(Company::SalesMsg1, "Thank you for choosing Blue Heron for your print work.");
    c.setText(Company::SalesMsg2, "Ask about our reorder discount on business cards and flyers.");
    c.setText(Company::AgingDays1, "30");
    c.setText(Company::AgingDays2, "45");
    c.setText(Company::AgingDays3, "60");
    c.setText(Company::AgingCaption2, "31-45:");
    c.setText(Company::AgingCaption3, "46-60:");
    c.setText(Company::EditorFontName, "Times New Roman");
    c.setInt32(Company::EditorFontSize, 12);
    c.setInt32(Company::EditorFontColor, 0x5A3C14);  // a dark slate blue

    data::UpdateResult added = data::AddBusinessRecord(fb, c, prompter);
    storage::CloseFileblock(fb);
    if (!added.ok() || !storage::EngineOk) {
        result.message = "Cannot store the second demo company (engine error " +
                         std::to_string(added.ok() ? storage::EngineError : added.engineError) +
                         ")";
        return result;
    }
    result.ok = true;
    result.message = "Company " + std::to_string(number) + " added: Blue Heron Print & Design.";
    return result;
}

}  // namespace invarro::app
