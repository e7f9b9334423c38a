// Bank statements exported as CSV, read through a column mapping the user sets once per
// company: the delimiter, the decimal mark, the date order and the header of each column
// used. Lines above the header and below the data are skipped.
#pragma once

#include <string>
#include <string_view>

#include "banking/Statement.h"
#include "data/IniFile.h"

namespace invarro::banking {

enum class CsvDateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

struct CsvMapping {
    char delimiter = ';';
    bool decimalComma = true;
    CsvDateOrder dateOrder = CsvDateOrder::DayMonthYear;
    // Column headers as the bank writes them (letter case and blanks around ignored).
    // The amount is one signed column, or a credit and a debit column.
    std::string date;
    std::string amount;
    std::string credit;
    std::string debit;
    std::string currency;  // empty: every line is in defaultCurrency
    std::string defaultCurrency = "EUR";
    std::string name;
    std::string iban;
    std::string text;
    std::string reference;
    std::string bankId;
    std::string account;  // empty: every line is in defaultAccount
    std::string defaultAccount;
    bool operator==(const CsvMapping&) const = default;
};

// Why the mapping cannot read a statement ("" when it can): a delimiter, a date column and
// either an amount or a credit and a debit column.
std::string CsvMappingProblem(const CsvMapping& mapping);

// The lines of the file. The header is the first row holding every mapped header; each
// row after it with a date is a line, and reading stops at the first row without one
// (a footer such as a closing balance). A row with a date but an amount that is not one
// fails with its line. A debit column's amount is a debit whether or not the bank wrote a
// minus. Text that is not UTF-8 is read as Windows-1252.
ReadResult ReadCsv(std::string_view bytes, const CsvMapping& mapping);

// The company's mapping in the INI file (section "Bank CSV <company number>").
CsvMapping ReadCsvMapping(const data::IniFile& ini, std::string_view companyNo);
bool WriteCsvMapping(data::IniFile& ini, std::string_view companyNo, const CsvMapping& mapping,
                     std::string* error = nullptr);

}  // namespace invarro::banking
