// Durable postings of the whole program, timed on a demo installation.
//
//   invarro-bench-postings save FOLDER [COUNT]    COUNT new invoices of five lines saved
//                                                  through the editor's save (default 200)
//   invarro-bench-postings masters FOLDER [COUNT] COUNT monthly repeat masters due today
//                                                  added to company 1 (default 1,000)
//   invarro-bench-postings customers FILE [COUNT] a customer import file of COUNT rows
//                                                  (default 10,000)
//
// `save` and `masters` make a demo installation in FOLDER when it has none. The repeat run
// and the import are timed through invarro-cli on the folder `masters` prepared, so that
// the same command line measures the program with and without transactions.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Demo.h"
#include "data/Company.h"
#include "data/Dates.h"
#include "data/Fileblocks.h"
#include "data/Keys.h"
#include "data/Records.h"
#include "data/Update.h"
#include "invoicing/InvEdit.h"
#include "invoicing/RepeatSet.h"
#include "platform/Clock.h"
#include "platform/Prompter.h"
#include "storage/BTree.h"
#include "storage/Engine.h"

#if __has_include("storage/Transaction.h")
#include "storage/Transaction.h"
#define INVARRO_BENCH_TRANSACTIONS 1
#endif

namespace {

using namespace invarro;
using Clock = std::chrono::steady_clock;

class Quiet : public platform::Prompter {
  public:
    platform::Answer ask(const platform::Message& m) override {
        (void)m;
        return m.buttons == platform::Buttons::YesNo ? platform::Answer::No : platform::Answer::Ok;
    }
};

struct Open {
    storage::Fileblock* fb = nullptr;
    Open(const std::string& folder, data::FileKind kind, const std::string& prefix) {
        fb = storage::OpenFileblock(data::FileblockName(folder, kind, prefix), false);
        if (!storage::EngineOk) {
            std::fprintf(stderr, "cannot open %s: error %d\n",
                         data::FileblockName(folder, kind, prefix).c_str(),
                         int(storage::EngineError));
            std::exit(1);
        }
    }
    ~Open() { storage::CloseFileblock(fb); }
};

data::CompanyRecord FirstCompany(const std::string& folder) {
    Open companies(folder, data::FileKind::Company, "");
    auto c = data::ReadBusinessRecord<data::Company>(companies.fb, 1);
    if (!c) {
        std::fprintf(stderr, "no company 1 in %s\n", folder.c_str());
        std::exit(1);
    }
    return *c;
}

void EnsureDemo(const std::string& folder) {
    if (std::filesystem::exists(data::FileblockName(folder, data::FileKind::Company, "") + ".DAT"))
        return;
    std::filesystem::create_directories(folder);
    Quiet quiet;
#ifdef INVARRO_BENCH_TRANSACTIONS
    storage::SetDurableCommits(false);
#endif
    auto made = app::CreateDemoInstallation(folder, quiet);
#ifdef INVARRO_BENCH_TRANSACTIONS
    storage::SetDurableCommits(true);
#endif
    if (!made.ok) {
        std::fprintf(stderr, "the demo could not be made in %s\n", folder.c_str());
        std::exit(1);
    }
}

std::vector<data::CustomerRecord> SomeCustomers(storage::Fileblock* customers) {
    std::vector<data::CustomerRecord> people;
    for (int32_t rec = storage::NextUsedRecord(customers, 0);
         storage::EngineOk && rec > 0 && people.size() < 20;
         rec = storage::NextUsedRecord(customers, rec))
        if (auto c = data::ReadBusinessRecord<data::Customer>(customers, rec)) people.push_back(*c);
    return people;
}

// Saves `count` invoices (or masters when `masters`) through the editor's save.
int Post(const std::string& folder, int count, bool masters) {
    EnsureDemo(folder);
    data::CompanyRecord company = FirstCompany(folder);
    const std::string prefix = data::CompanyPrefix(company.text(data::Company::CompanyNo));
    const data::DateOrder order =
        data::DateOrderFromCode(company.text(data::Company::DateFormatCode));
    const data::Date today = data::Today(platform::SystemClock());
    Quiet quiet;
    Open customers(folder, data::FileKind::Customer, prefix);
    Open invoices(folder, data::FileKind::Invoice, prefix);
    Open lines(folder, data::FileKind::InvoiceLine, prefix);
    Open memos(folder, data::FileKind::Memo, prefix);
    std::vector<data::CustomerRecord> people = SomeCustomers(customers.fb);
    if (people.empty()) {
        std::fprintf(stderr, "no customers in company %s\n", prefix.c_str());
        return 1;
    }
    invoicing::SaveFiles files{folder,       company, invoices.fb, lines.fb, memos.fb,
                               customers.fb, today,   nullptr,     nullptr};
    const data::Date start = data::AddDays(today, -31);
    const auto began = Clock::now();
    for (int i = 0; i < count; ++i) {
        invoicing::InvoiceEditor ed =
            invoicing::InvoiceEditor::ForNew(company, order, masters ? start : today);
        ed.entry.date = data::FormatUserDate(masters ? start : today, order);
        ed.chooseCustomer(people[size_t(i) % people.size()], quiet);
        const int rows = masters ? 1 : 5;
        for (int r = 1; r <= rows; ++r) {
            invoicing::ProductChoice p{"SVC" + std::to_string(r),
                                       "Service hour " + std::to_string(r),
                                       std::to_string(40 + r) + ".50", r % 2 == 0};
            ed.applyProduct(r, p, true);
            ed.entry.grid[size_t(r)].quantity = std::to_string(r);
            ed.cellEdited(r);
        }
        ed.recalc();
        invoicing::SaveResult saved = invoicing::SaveNewInvoice(files, ed, quiet);
        if (saved.recNo <= 0) {
            std::fprintf(stderr, "save %d failed\n", i + 1);
            return 1;
        }
        if (masters) {
            auto record = data::ReadBusinessRecord<data::Invoice>(invoices.fb, saved.recNo);
            if (!record) return 1;
            invoicing::RepeatSetupEntry e = invoicing::SetupEntryFor(*record, order);
            e.generate = true;
            e.unit = invoicing::RepeatUnit::Months;
            e.every = "1";
            e.nextDate = data::FormatUserDate(today, order);
            invoicing::ApplyRepeatSetup(files, saved.recNo, *record, e, order, quiet);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf("%s %d in %.3f s, %.2f ms each\n", masters ? "masters" : "saved", count, seconds,
                1000.0 * seconds / count);
    invoicing::ForgetInvoiceDate();
    return 0;
}

// Rows in the sixteen columns of the import grid: name, number, four billing and four
// shipping lines, two phones, type, short name, mail sort code, e-mail.
int CustomerFile(const std::string& path, int count) {
    std::ofstream out(path);
    for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(i);
        out << "\"Bench Customer " << n << "\",\"B" << (100000 + i) << "\",\"Jo " << n << "\",\""
            << (100 + i % 900) << " Main Street\",\"Springfield, IL 6270" << i % 10
            << "\",\"\",\"\",\"\",\"\",\"\",\"217-555-" << (1000 + i % 9000)
            << "\",\"\",\"Retail\",\"\",\"6270" << i % 10 << "\",\"jo" << n << "@example.com\"\n";
    }
    std::printf("customers %d in %s\n", count, path.c_str());
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s save|masters FOLDER [COUNT] | customers FILE [COUNT]\n",
                     argv[0]);
        return 2;
    }
    const std::string verb = argv[1];
    const std::string where = argv[2];
    if (verb == "customers") return CustomerFile(where, argc > 3 ? std::atoi(argv[3]) : 10000);
    if (verb != "save" && verb != "masters") return 2;
    if (storage::InitEngine(30) <= 0) return 1;
    const int rc = Post(where, argc > 3 ? std::atoi(argv[3]) : (verb == "save" ? 200 : 1000),
                        verb == "masters");
    storage::ExitEngine();
    return rc;
}
