#include "app/Interest.h"

#include "app/Aging.h"
#include "data/Fileblocks.h"

namespace invarro::app {

invoicing::InterestBooks InterestBooksOf(Session& session, platform::Prompter& prompter,
                                         platform::Progress& progress, const RunHooks& hooks) {
    return invoicing::InterestBooks{
        session.folder, session.companyPrefix(), session.dateOrder,
        [&session, &prompter, &progress, &hooks](const platform::Clock& asOf) {
            return RunAging(session, true, asOf, prompter, progress, hooks).status ==
                   AgingStatus::Done;
        }};
}

std::optional<invoicing::InterestScan> ScanInterest(Session& session,
                                                    invoicing::InterestSettings& settings,
                                                    platform::Prompter& prompter,
                                                    platform::Progress& progress,
                                                    const RunHooks& hooks) {
    return invoicing::ScanInterest(InterestBooksOf(session, prompter, progress, hooks), settings,
                                   prompter);
}

bool AgeDemoCompany(const std::string& folder, data::CompanyRecord& company,
                    const platform::Clock& asOf, platform::Prompter& prompter) {
    Session session;
    session.folder = folder;
    session.company = company;
    session.dateOrder = data::DateOrderFromCode(company.text(data::Company::DateFormatCode));
    platform::SilentProgress silent;
    const bool done =
        RunAging(session, true, asOf, prompter, silent, RunHooks{}).status == AgingStatus::Done;
    company = session.company;
    return done;
}

}  // namespace invarro::app
