#include "customers/CImport.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "data/Ansi.h"
#include "data/Keys.h"
#include "data/Money.h"
#include "data/Posting.h"
#include "data/Update.h"
#include "storage/BTree.h"

namespace invarro::customers {

const std::array<std::string_view, kImportColumns> kImportHeadings = {"Customer Name",
                                                                      "Number",
                                                                      "Address Filed 1",
                                                                      "Address Field 2",
                                                                      "Address Field 3",
                                                                      "Address Field 4",
                                                                      "Ship Address 1",
                                                                      "Ship Address 2",
                                                                      "Ship Address 3",
                                                                      "Ship Address 4",
                                                                      "Phone 1",
                                                                      "Phone 2",
                                                                      "Type",
                                                                      "Short Name",
                                                                      "Mail/Sort Code",
                                                                      "E-Mail"};

namespace {

using data::Customer;
using data::CustomerRecord;
using platform::Answer;
using platform::Buttons;
using platform::Icon;

std::string Cut(std::string_view text, int width) {
    return data::FirstChars(text, std::size_t(width));
}

std::string Cell(const CustomerImportRow& row, int col) {
    return data::TrimmedText(row.cells[std::size_t(col)]);
}

// The numbers and name keys taken: those on file and those given out during the run.
class TakenSet {
  public:
    bool has(const std::string& s) const { return set_.count(s) > 0; }
    void add(std::string s) { set_.insert(std::move(s)); }

  private:
    std::set<std::string> set_;
};

std::string NameKey(std::string_view name) {
    CustomerRecord probe;
    probe.setText(Customer::Name, name);
    return data::CustomerKey(probe, 1);
}

// Walks one key of the customer file from the start, handing each key string over.
template <class Each>
void WalkKey(storage::Fileblock* customers, int keyNo, Each&& each) {
    std::string key;
    int32_t recNo = storage::FindKeyAtOrAfter(customers, keyNo, key);
    while (storage::EngineOk) {
        each(key);
        storage::NextKey(customers, keyNo, key, recNo);
    }
}

}  // namespace

platform::Message CustomerPreviewMessage(const CustomerImportRow& first, bool forceShipping) {
    auto cell = [&](int col) { return Cell(first, col); };
    std::string text = "Please verify! This is record 1 from your import file:\n\n";
    text += "Customer Name: " + cell(column::kName) + "\n";
    const std::string number = cell(column::kNumber);
    text += "Number: " + (number.empty() ? std::string("Will be assigned.") : number) + "\n";
    text += "Billing Address:\n";
    for (int i = 0; i < 4; ++i)
        text += "    " + cell(column::kBill1 + i) + "\n";
    text += "Shipping Address:\n";
    const int ship = forceShipping ? column::kBill1 : column::kShip1;
    for (int i = 0; i < 4; ++i)
        text += "    " + cell(ship + i) + "\n";
    for (int col = column::kPhone1; col <= column::kEMail; ++col)
        text += std::string(kImportHeadings[std::size_t(col)]) + ": " + cell(col) + "\n";
    text += "\nIs this information correct?";
    return platform::Message{"Import Customers", text, Icon::Question, Buttons::OkCancel,
                             Answer::Ok};
}

CustomerRecord CustomerFromRow(const CustomerImportRow& row, bool forceShipping,
                               const data::CompanyRecord& company, data::ImportResult* changes) {
    data::RowValues values(row.line, changes);
    auto cell = [&](int col, int width) {
        return values.fit(row.cells[std::size_t(col)], width, kImportHeadings[std::size_t(col)]);
    };
    CustomerEntry e;
    e.number = cell(column::kNumber, width::kNumber);
    e.name = cell(column::kName, width::kName);
    e.custType = cell(column::kType, width::kType);
    e.taxExempt = "N";
    e.creditLimit = "0.00";
    for (int i = 0; i < 4; ++i)
        e.bill[std::size_t(i)] = cell(column::kBill1 + i, width::kAddress);
    for (int i = 0; i < 4; ++i)
        e.ship[std::size_t(i)] =
            forceShipping ? e.bill[std::size_t(i)] : cell(column::kShip1 + i, width::kAddress);
    e.phone1 = cell(column::kPhone1, width::kPhone);
    e.phone2 = cell(column::kPhone2, width::kPhone);
    e.shortName = cell(column::kShortName, width::kShortName);
    ApplyShortNameRule(e);
    e.mailSortCode = cell(column::kMailSortCode, width::kMailSortCode);
    e.eMail = cell(column::kEMail, width::kEMail);
    e.terms = company.text(data::Company::DefTerms);
    return NewCustomerRecord(e);
}

namespace {

// One attempt of a customer import, inside its posting: true when its rows are to be kept.
// The company's counter is read from its row first, which stays locked until the posting
// ends, so that customers added meanwhile by others are seen and their numbers not given
// again.
bool CustomerImportAttempt(CustomerFiles& files, const std::vector<CustomerImportRow>& rows,
                           bool forceShipping, platform::Progress& progress,
                           platform::Prompter& prompter, CustomerImportResult& result) {
    data::ImportRun run(progress, "Customer Import", "Customers", result, rows.size());
    bool writeFailed = false;

    // The next number to give out: above the company's counter and above every whole
    // customer number on file.
    const std::optional<std::string> counterNow = LockedNextCustomerNumber(files, prompter);
    if (!counterNow) {
        result.fail(0, "", "the company's next customer number cannot be read");
        return false;
    }
    int64_t next = data::WholeNumber(*counterNow).value_or(0);
    if (data::TrimText(*counterNow).empty()) next = 1;
    TakenSet numbers, names;
    WalkKey(files.customers, 2, [&](const std::string& key) {
        const std::string number = data::TrimmedText(key);
        numbers.add(number);
        if (auto n = data::WholeNumber(number); n && *n > next) next = *n;
    });
    WalkKey(files.customers, 1, [&](const std::string& key) { names.add(key); });
    ++next;
    int64_t highestAdded = 0;

    // The next free automatic number; empty when none fits the field.
    auto automatic = [&]() -> std::string {
        while (numbers.has(std::to_string(next)))
            ++next;
        std::string n = std::to_string(next);
        if (int(n.size()) > width::kNumber) return {};
        ++next;
        return n;
    };

    for (const CustomerImportRow& row : rows) {
        run.begin(row.line);
        CustomerRecord record = CustomerFromRow(row, forceShipping, files.company, &result);
        const std::string shownName = data::TrimmedText(record.text(Customer::Name));

        std::string number = NumberForCompare(record.text(Customer::CustNo));
        std::string stored = data::TrimmedText(record.text(Customer::CustNo));
        if (!number.empty() && numbers.has(number)) {
            // A number already given: "B" after it, or the next free number when that is
            // taken as well.
            stored = Cut(stored, width::kNumber - 1) + "B";
            if (numbers.has(NumberForCompare(stored))) stored = automatic();
            ++result.renumbered;
        } else if (number.empty()) {
            stored = automatic();
        }
        if (stored.empty()) {
            result.fail(row.line, shownName, "no customer number is left to give it");
        } else if (shownName.empty()) {
            result.fail(row.line, shownName, "it has no customer name");
        } else {
            record.setText(Customer::CustNo, stored);
            number = NumberForCompare(stored);

            std::string key = data::CustomerKey(record, 1);
            if (names.has(key)) {
                // A name already on file: the number after it, first within the name's 35
                // characters, then within the 30 that the name key compares.
                std::string renamed = Cut(shownName + " " + stored, width::kName);
                if (names.has(NameKey(renamed))) {
                    const int room = data::kMaxKeyText - 1 - int(data::CharCount(stored));
                    renamed = data::TrimmedText(Cut(shownName, std::max(room, 0))) + " " + stored;
                }
                record.setText(Customer::Name, renamed);
                key = data::CustomerKey(record, 1);
                ++result.renamed;
            }
            if (names.has(key)) {
                result.fail(row.line, shownName, "its name is already on file");
            } else if (!writeFailed) {
                if (run.added(data::AddUnkeyedRecord(files.customers, record, prompter),
                              shownName)) {
                    numbers.add(number);
                    names.add(key);
                    if (auto n = data::WholeNumber(stored); n && *n > highestAdded)
                        highestAdded = *n;
                } else {
                    writeFailed = true;
                }
            }
        }
        if (writeFailed || !run.done()) break;
    }
    run.finish();
    if (writeFailed || result.stopped) return false;
    if (result.added > 0) storage::MarkForRebuild(files.customers);

    // The counter goes past the numbers given out and past those the file brought.
    const int64_t counter = std::max(next, highestAdded + 1);
    const std::string counterText = std::to_string(counter);
    if (int(counterText.size()) <= width::kNumber &&
        !StoreNextCustomerNumber(files.folder, files.company, counterText, prompter)) {
        // A lock met: the posting runs again whole.
        if (storage::ErrorClass() == 2) return false;
        result.counterSaved = false;
        files.company.setText(data::Company::NextCustNo, counterText);
        prompter.inform("Next Customer Number",
                        "The customers were added, but the next customer number could not be "
                        "saved in the company file.",
                        Icon::Warning);
    }
    return true;
}

}  // namespace

CustomerImportResult ImportCustomers(CustomerFiles& files,
                                     const std::vector<CustomerImportRow>& rows, bool forceShipping,
                                     platform::Progress& progress, platform::Prompter& prompter) {
    // Every record and the customer counter are one posting; the records go in without
    // their keys, so the customer file is left marked for the rebuild that follows. An
    // import that is stopped or cannot write a record leaves nothing behind, and running
    // it again imports each row once.
    return data::RunImportPosting<CustomerImportResult>(
        prompter,
        [&](data::Posting& posting, platform::Prompter& held, CustomerImportResult& result) {
            posting.keep(files.company);
            return CustomerImportAttempt(files, rows, forceShipping, progress, held, result);
        });
}

platform::Message CustomerImportDoneMessage(const CustomerImportResult& result) {
    return data::ImportDoneMessage(result, data::kImportCompleteText, "customers",
                                   "Now we need to rebuild the data files.");
}

}  // namespace invarro::customers
