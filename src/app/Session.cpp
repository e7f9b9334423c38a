#include "app/Session.h"

#include "data/Fileblocks.h"

namespace invarro::app {

std::string Session::companyPrefix() const {
    return data::CompanyPrefix(std::string_view(company.ansi(data::Company::CompanyNo)));
}

std::string Session::todayText(const data::Date& today) const {
    return data::FormatUserDate(today, dateOrder);
}

}  // namespace invarro::app
