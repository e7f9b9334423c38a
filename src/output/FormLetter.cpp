#include "output/FormLetter.h"

#include <array>

#include "data/Ansi.h"
#include "data/Files.h"
#include "output/Labelwiz.h"
#include "output/RtfReader.h"

namespace invarro::output {

namespace {

using data::Company;
using data::Customer;

// Letters, digits and "_" make words; punctuation, blanks and symbols part them.
bool WordChar(char32_t c) {
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    if (c == 0xAA || c == 0xB5 || c == 0xBA) return true;
    if (c >= 0xC0 && c <= 0x24F) return c != 0xD7 && c != 0xF7;
    return (c >= 0x370 && c < 0x2000) || c >= 0x3040;
}

// A found code: bytes [begin, end) of the text, and its value.
struct Match {
    std::size_t begin;
    std::size_t end;
    const std::string* value;
};

std::vector<Match> FindCodes(std::string_view text,
                             const std::map<std::string, std::string>& values) {
    std::vector<Match> found;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t next = i;
        char32_t cp = 0;
        if (!data::NextUtf8(text, next, cp) || !WordChar(cp)) {
            i = next > i ? next : i + 1;
            continue;
        }
        // The whole word from i.
        std::size_t end = next;
        while (end < text.size()) {
            std::size_t after = end;
            if (!data::NextUtf8(text, after, cp) || !WordChar(cp)) break;
            end = after;
        }
        auto it = values.find(std::string(text.substr(i, end - i)));
        if (it != values.end()) found.push_back(Match{i, end, &it->second});
        i = end;
    }
    return found;
}

// Line ends of a value as the letter's line breaks.
std::string ValueText(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') {
            out += '\n';
            if (i + 1 < value.size() && value[i + 1] == '\n') ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

}  // namespace

const std::vector<std::string>& MergeCodes() {
    static const std::vector<std::string> codes = {
        "KRCSTNO",     "KRCSTNAME",  "KRCSTBAL",   "KRCSTLPMT",  "KRCSTLSTINV", "KRCSTTYPE",
        "KRCSTCREDIT", "KRCSTTERMS", "KRCSTADD1",  "KRCSTADD2",  "KRCSTADD3",   "KRCSTADD4",
        "KRCSTPHN1",   "KRCSTSHP1",  "KRCSTSHP2",  "KRCSTSHP3",  "KRCSTSHP4",   "KRCSTPHN2",
        "KRCSTACUR",   "KRCSTA3060", "KRCSTA6090", "KRCSTAOV90", "KRCSTNOTES",  "KRCSTSNAME",
        "KRCSTMLIST",  "KRCMPNAME",  "KRCMPADD1",  "KRCMPADD2",  "KRCMPADD3",   "KRCMPADD4",
        "KRCMPADD5"};
    return codes;
}

const std::vector<std::string>& MergeCodeReferences() {
    static const std::vector<std::string> list = {
        "KRCMPADD1 - Default Company Address Line 1",
        "KRCMPADD2 - Default Company Address Line 2",
        "KRCMPADD3 - Default Company Address Line 3",
        "KRCMPADD4 - Default Company Address Line 4",
        "KRCMPNAME - Default Company Name",
        "KRCSTA3060 - Customer Aging Amount (Category 2)",
        "KRCSTA6090 - Customer Aging Amount (Category 3)",
        "KRCSTACUR - Customer Aging Amount (Category 1)",
        "KRCSTADD1 - Customer Address Line 1",
        "KRCSTADD2 - Customer Address Line 2",
        "KRCSTADD3 - Customer Address Line 3",
        "KRCSTADD4 - Customer Address Line 4",
        "KRCSTAOV90 - Customer Aging Amount (Category 4)",
        "KRCSTBAL - Customer Balance",
        "KRCSTCREDIT - Customer Credit Limit",
        "KRCSTLPMT - Customers Last Payment Date",
        "KRCSTLSTINV - Customers Last Invoice Number",
        "KRCSTMLIST - Customer Mailing List Sort Code",
        "KRCSTNAME - Customer Name",
        "KRCSTNO - Customer Number",
        "KRCSTNOTES - Customer Notes",
        "KRCSTPHN1 - Customer Billing Address Phone Number",
        "KRCSTPHN2 - Customer Shipping Phone Number",
        "KRCSTSHP1 - Customer Shipping Address Line 1",
        "KRCSTSHP2 - Customer Shipping Address Line 2",
        "KRCSTSHP3 - Customer Shipping Address Line 3",
        "KRCSTSHP4 - Customer Shipping Address Line 4",
        "KRCSTSNAME - Customer Short Name",
        "KRCSTTERMS - Customer Payment Terms",
        "KRCSTTYPE - Customer Type",
    };
    return list;
}

std::map<std::string, std::string> MergeValues(const data::CustomerRecord& c,
                                               const data::CompanyRecord& company) {
    auto t = [](const std::string& s) { return data::TrimmedText(s); };
    auto m = [](data::Money v) { return v.shownText(); };
    return {
        {"KRCSTNO", t(c.text(Customer::CustNo))},
        {"KRCSTNAME", t(c.text(Customer::Name))},
        {"KRCSTBAL", m(c.money(Customer::Balance))},
        {"KRCSTLPMT", c.text(Customer::LastPayDate)},
        {"KRCSTLSTINV", t(c.text(Customer::LastInvNo))},
        {"KRCSTTYPE", t(c.text(Customer::CustType))},
        {"KRCSTCREDIT", m(c.money(Customer::CreditLimit))},
        {"KRCSTTERMS", t(c.text(Customer::Terms))},
        {"KRCSTADD1", t(c.text(Customer::BillAddr1))},
        {"KRCSTADD2", t(c.text(Customer::BillAddr2))},
        {"KRCSTADD3", t(c.text(Customer::BillAddr3))},
        {"KRCSTADD4", t(c.text(Customer::BillAddr4))},
        {"KRCSTPHN1", t(c.text(Customer::Phone1))},
        {"KRCSTSHP1", t(c.text(Customer::ShipAddr1))},
        {"KRCSTSHP2", t(c.text(Customer::ShipAddr2))},
        {"KRCSTSHP3", t(c.text(Customer::ShipAddr3))},
        {"KRCSTSHP4", t(c.text(Customer::ShipAddr4))},
        {"KRCSTPHN2", t(c.text(Customer::Phone2))},
        {"KRCSTACUR", m(c.money(Customer::Age0to30))},
        {"KRCSTA3060", m(c.money(Customer::Age31to60))},
        {"KRCSTA6090", m(c.money(Customer::Age61to90))},
        {"KRCSTAOV90", m(c.money(Customer::AgeOver90))},
        {"KRCSTNOTES", t(c.text(Customer::Notes))},
        {"KRCSTSNAME", t(c.text(Customer::ShortName))},
        {"KRCSTMLIST", t(c.text(Customer::MailSortCode))},
        {"KRCMPNAME", t(company.text(Company::Name))},
        {"KRCMPADD1", t(company.text(Company::CoAddr1))},
        {"KRCMPADD2", t(company.text(Company::CoAddr2))},
        {"KRCMPADD3", t(company.text(Company::CoAddr3))},
        {"KRCMPADD4", t(company.text(Company::CoAddr4))},
        {"KRCMPADD5", t(company.text(Company::CoAddr5))},
    };
}

std::string MergeText(std::string_view text, const std::map<std::string, std::string>& values) {
    std::string out;
    std::size_t at = 0;
    for (const Match& m : FindCodes(text, values)) {
        out.append(text.substr(at, m.begin - at));
        out += ValueText(*m.value);
        at = m.end;
    }
    out.append(text.substr(at));
    return out;
}

RtfDocument MergeLetter(const RtfDocument& letter,
                        const std::map<std::string, std::string>& values) {
    RtfDocument merged = letter;
    for (RtfParagraph& p : merged.paragraphs) {
        // Codes are found in the paragraph's whole text, so a code whose letters lie in two
        // runs is still one word.
        std::string text;
        std::vector<std::size_t> runStart;
        for (const RtfRun& r : p.runs) {
            runStart.push_back(text.size());
            text += r.text;
        }
        const std::vector<Match> found = FindCodes(text, values);
        if (found.empty()) continue;
        auto runAt = [&](std::size_t offset) {
            std::size_t i = 0;
            while (i + 1 < runStart.size() && runStart[i + 1] <= offset)
                ++i;
            return i;
        };
        std::vector<RtfRun> runs;
        auto emit = [&](const RtfRun& format, std::string piece) {
            if (piece.empty()) return;
            if (!runs.empty() && runs.back().sameFormat(format)) {
                runs.back().text += piece;
            } else {
                RtfRun r = format;
                r.text = std::move(piece);
                runs.push_back(std::move(r));
            }
        };
        // Copies text [from, to) run by run.
        auto copy = [&](std::size_t from, std::size_t to) {
            while (from < to) {
                const std::size_t i = runAt(from);
                const std::size_t runEnd = runStart[i] + p.runs[i].text.size();
                const std::size_t upTo = std::min(to, runEnd);
                emit(p.runs[i], text.substr(from, upTo - from));
                from = upTo;
            }
        };
        std::size_t at = 0;
        for (const Match& m : found) {
            copy(at, m.begin);
            emit(p.runs[runAt(m.begin)], ValueText(*m.value));
            at = m.end;
        }
        copy(at, text.size());
        if (runs.empty()) {
            // Every code had an empty value: the line keeps the format of its first run.
            RtfRun r = p.runs.front();
            r.text.clear();
            runs.push_back(std::move(r));
        }
        p.runs = std::move(runs);
    }
    return merged;
}

LetterRunResult PrintFormLetters(const std::string& folder, const RtfDocument& letter,
                                 const std::string& title, const std::vector<LabelEntry>& queue,
                                 storage::Fileblock* customers, const data::CompanyRecord& company,
                                 LetterSink& sink, platform::Progress& progress) {
    LetterRunResult result;
    const std::string scratch = data::JoinPath(folder, kLetterScratchFile);
    // The work file is the program's own; no file the user names may take its name.
    if (!data::ReplaceFile(scratch, ToRtf(letter), &result.error)) return result;
    struct RemoveScratch {
        const std::string& path;
        ~RemoveScratch() { data::RemoveFile(path); }
    } cleanup{scratch};

    progress.start(std::string(kLetterTitle), 1);
    progress.setLine(0, "Processing...");
    const std::string total = std::to_string(queue.size());
    std::size_t n = 0;
    for (const LabelEntry& entry : queue) {
        ++n;
        progress.setLine(0, "Processing letter " + std::to_string(n) + " of " + total + "...");
        if (!progress.step()) {
            result.error =
                "Printing was stopped after " + std::to_string(result.printed) + " letter(s).";
            progress.finish();
            return result;
        }
        auto customer = FindCustomerByNumber(customers, entry.custNo);
        if (!customer) {
            result.missing.push_back(entry.custNo);
            continue;
        }
        auto copy = ReadRtfFile(scratch, &result.error);
        if (!copy) {
            progress.finish();
            return result;
        }
        const RtfDocument merged = MergeLetter(*copy, MergeValues(*customer, company));
        std::string error;
        if (!sink.printLetter(merged, title, &error)) {
            result.error = error.empty() ? "The letter could not be printed." : error;
            progress.finish();
            return result;
        }
        ++result.printed;
    }
    progress.finish();
    std::string error;
    if (!sink.finish(&error)) {
        result.error = error.empty() ? "The letters could not be printed." : error;
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace invarro::output
