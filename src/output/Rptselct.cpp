#include "output/Rptselct.h"

#include "data/Ansi.h"
#include "data/Files.h"
#include "data/Open.h"

namespace invarro::output {

using data::Company;
using data::Date;

namespace {

constexpr PresetInfo kPresets[] = {
    {DatePreset::MonthToDate, "Month to Date"},  {DatePreset::YearToDate, "Year to Date"},
    {DatePreset::Last30Days, "Last 30 Days"},    {DatePreset::Last60Days, "Last 60 Days"},
    {DatePreset::Last90Days, "Last 90 Days"},    {DatePreset::Last12Months, "Last 12 Months"},
    {DatePreset::CurrentYear, "Current Year"},   {DatePreset::PreviousYear, "Previous Year"},
    {DatePreset::CurrentMonth, "Current Month"}, {DatePreset::PreviousMonth, "Previous Month"},
    {DatePreset::CustomDates, "Custom Dates"},
};

// A date from parts, the day clamped to the month's last day.
Date Clamped(int year, int month, int day) {
    const int last = data::DaysInMonth(year, month);
    return Date{year, month, day > last ? last : day};
}

platform::Message Info(const std::string& title, const std::string& text) {
    return platform::Message{title, text, platform::Icon::Information, platform::Buttons::Ok,
                             platform::Answer::Ok};
}

}  // namespace

std::span<const PresetInfo> DatePresets() {
    return kPresets;
}

std::optional<DatePreset> FindPreset(std::string_view name) {
    for (const PresetInfo& p : kPresets)
        if (p.name == name) return p.id;
    return std::nullopt;
}

std::optional<DateRange> PresetDates(DatePreset preset, const Date& today, data::DateOrder order) {
    const int y = today.year, m = today.month;
    Date from = today, to = today;
    switch (preset) {
        case DatePreset::MonthToDate:
            from = Date{y, m, 1};
            break;
        case DatePreset::YearToDate:
            from = Date{y, 1, 1};
            break;
        case DatePreset::Last30Days:
            from = data::AddDays(today, -30);
            break;
        case DatePreset::Last60Days:
            from = data::AddDays(today, -60);
            break;
        case DatePreset::Last90Days:
            from = data::AddDays(today, -90);
            break;
        case DatePreset::Last12Months:
            from = Clamped(y - 1, m, today.day);
            break;
        case DatePreset::CurrentYear:
            from = Date{y, 1, 1};
            to = Date{y, 12, 31};
            break;
        case DatePreset::PreviousYear:
            from = Date{y - 1, 1, 1};
            to = Date{y - 1, 12, 31};
            break;
        case DatePreset::CurrentMonth:
            from = Date{y, m, 1};
            to = Clamped(y, m, 31);
            break;
        case DatePreset::PreviousMonth: {
            const int py = m == 1 ? y - 1 : y;
            const int pm = m == 1 ? 12 : m - 1;
            from = Date{py, pm, 1};
            to = Clamped(py, pm, 31);
            break;
        }
        case DatePreset::CustomDates:
            return std::nullopt;
    }
    return DateRange{data::FormatUserDate(from, order), data::FormatUserDate(to, order)};
}

ReportRunStatus CheckReportDates(const ReportChoice& choice, data::DateOrder order,
                                 ReportSelection& selection, platform::Message& message) {
    const auto from = data::ParseUserDate(data::TrimmedText(choice.from), order);
    if (!from) {
        message = Info("FROM Date",
                       "You have an invalid beginning date. You can clear the date and then "
                       "select the calendar button.");
        return ReportRunStatus::BadFrom;
    }
    const auto to = data::ParseUserDate(data::TrimmedText(choice.to), order);
    if (!to) {
        message = Info("TO Date",
                       "You have an invalid ending date. You can clear the date and then select "
                       "the calendar button.");
        return ReportRunStatus::BadTo;
    }
    if (*to < *from) {
        message = Info("FROM Date", "Your beginning date is not older than your ending date.");
        return ReportRunStatus::Reversed;
    }
    selection.fromSort = data::FormatSortDate(*from);
    selection.toSort = data::FormatSortDate(*to);
    selection.fromShown = data::FormatUserDate(*from, order);
    selection.toShown = data::FormatUserDate(*to, order);
    return ReportRunStatus::Ready;
}

ReportRun RunReport(const ReportChoice& choice, const ReportSource& source) {
    ReportRun run;
    const ReportInfo& info = ReportOf(choice.report);
    ReportSelection selection;
    selection.filter = choice.filter;
    if (info.dated) {
        run.status = CheckReportDates(choice, source.order, selection, run.message);
        if (run.status != ReportRunStatus::Ready) return run;
    }
    BuiltReport built = BuildReport(choice.report, source, selection);
    if (!built.ok) {
        run.status = ReportRunStatus::Failed;
        run.message = Info(std::string(info.name), built.error);
        run.message.icon = platform::Icon::Error;
        return run;
    }
    if (built.table.rows.empty()) {
        run.status = ReportRunStatus::Empty;
        if (choice.report == ReportId::RepeatBillingList) {
            run.message =
                Info(std::string(info.name), "No repeat billing master invoices were found.");
        } else if (choice.report == ReportId::AccountsReceivable &&
                   source.company->money(Company::ARBalance).isZero() &&
                   ReportFilterText(choice.filter).empty()) {
            // Told only when there is nothing open at all: receivables that add up to
            // zero (a deposit against a debt) are still listed.
            run.status = ReportRunStatus::NoBalance;
            run.message = Info("Account Receivable Report",
                               "Your Accounts Receivable balance is zero for this company. There "
                               "are no outstanding items.");
        } else {
            run.message =
                Info(std::string(info.name), "No matching records found for the dates entered.");
        }
        return run;
    }
    run.status = ReportRunStatus::Ready;
    run.view.emplace(std::move(built.table));
    return run;
}

ReportRun RunReportInFolder(const ReportChoice& choice, const ReportFolder& where,
                            platform::Prompter& prompter) {
    const std::string prefix = data::CompanyPrefix(where.company->text(Company::CompanyNo));
    data::ExistingFileblock invoices, lines;
    data::OpenExisting(invoices, where.dataFolder, data::FileKind::Invoice, prefix, prompter);
    if (choice.report == ReportId::SalesReport)
        data::OpenExisting(lines, where.dataFolder, data::FileKind::InvoiceLine, prefix, prompter);
    ReportRun run;
    if (!invoices.ok || !lines.ok) {
        run.status = ReportRunStatus::Failed;
        run.message = Info(std::string(ReportOf(choice.report).name),
                           "The invoice files of this company cannot be opened.");
        run.message.icon = platform::Icon::Error;
        return run;
    }
    platform::SystemClock system;
    const platform::Clock& clock = where.clock ? *where.clock : system;
    ReportSource source;
    source.invoices = invoices.fb;
    source.lines = lines.fb;
    source.company = where.company;
    source.order = data::DateOrderFromCode(where.company->text(Company::DateFormatCode));
    source.now = clock.now();
    return RunReport(choice, source);
}

}  // namespace invarro::output
