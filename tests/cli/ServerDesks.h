// Books on the test cluster with several people's folders connected to them: the demo
// uploaded from an office folder, and desks that each connect a folder of their own. With
// what the tests ask of them afterwards: balances as `aging` prints them, and the numbers
// a posting reported.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FolderBooks.h"
#include "app/Demo.h"
#include "data/Money.h"
#include "data/Open.h"
#include "data/Update.h"
#include "platform/Prompter.h"
#include "storage/Engine.h"
#include "support/PgCluster.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::cli {

// Tests of books on the test cluster: skipped when it cannot be started, unless the
// environment asks for it (CI), where they fail.
class ServerBooksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cluster = testing::SharedPgCluster();
        if (!cluster) {
            if (testing::PgRequired()) FAIL() << "the PostgreSQL test cluster did not start";
            GTEST_SKIP() << "no PostgreSQL test cluster";
        }
    }
    testing::PgCluster* cluster = nullptr;
};

struct ServerDesks {
    std::string conninfo;
    std::string office;
    std::vector<std::string> desks;
    std::string error;  // empty when all of it was made
};

// The demo in dir/office, uploaded into a new database `database`, and `count` desks
// (dir/desk0, ...) connected to it.
inline ServerDesks MakeServerDesks(testing::PgCluster& cluster, testing::TempDir& dir,
                                   const std::string& database, int count) {
    ServerDesks s;
    s.office = dir.file("office");
    std::filesystem::create_directory(s.office);
    storage::InitEngine(30);
    testing::ScriptedPrompter quiet;
    const app::InstallResult demo = app::CreateDemoInstallation(s.office, quiet);
    storage::ExitEngine();
    if (!demo.ok) {
        s.error = demo.message;
        return s;
    }
    if (!cluster.createDatabase(database)) {
        s.error = "the database " + database + " cannot be created: " + cluster.error();
        return s;
    }
    s.conninfo = cluster.connectionString(database);
    const CliRun up = Cli(s.office, {"server", "upload", s.conninfo});
    if (up.status != 0) {
        s.error = up.output;
        return s;
    }
    for (int d = 0; d < count; ++d) {
        s.desks.push_back(dir.file("desk" + std::to_string(d)));
        const CliRun joined = Cli(s.desks.back(), {"server", "connect", s.conninfo});
        if (joined.status != 0) {
            s.error = joined.output;
            return s;
        }
    }
    return s;
}

// What one command of a worker reported.
struct Posted {
    std::string verb;  // "invoice" or "payment"
    std::string customer;
    int status = -1;
    std::string output;
};

// Reads the lines a worker wrote: status, verb, customer, then the output up to a line "%%".
inline std::vector<Posted> ReadLog(const std::string& path) {
    std::vector<Posted> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        Posted p;
        std::istringstream head(line);
        head >> p.status >> p.verb >> p.customer;
        while (std::getline(in, line) && line != "%%")
            p.output += line + "\n";
        out.push_back(p);
    }
    return out;
}

// Writes what one command reported, for ReadLog.
inline void WriteLog(std::ostream& log, const CliRun& r, const std::string& verb,
                     const std::string& customer) {
    log << r.status << " " << verb << " " << customer << "\n"
        << r.output << (r.output.empty() || r.output.back() == '\n' ? "" : "\n") << "%%\n";
}

// The balance of each customer as `aging` prints it (number, then the balance column).
inline std::map<std::string, data::Money> Balances(const std::string& folder,
                                                   const std::vector<std::string>& customers) {
    std::map<std::string, data::Money> out;
    const CliRun aging = Cli(folder, {"aging"});
    EXPECT_EQ(aging.status, 0) << aging.output;
    std::istringstream lines(aging.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        for (const std::string& c : customers)
            if (!w.empty() && w[0] == c) {
                // The balance is the first amount after the name.
                for (std::size_t i = 1; i < w.size(); ++i) {
                    std::string t = w[i];
                    t.erase(std::remove(t.begin(), t.end(), ','), t.end());
                    if (t.find('.') != std::string::npos)
                        if (auto m = data::ParseMoney(t)) {
                            out[c] = *m;
                            break;
                        }
                }
            }
    }
    return out;
}

// The amount after `word` ("total ", "payment of ") in a posting's report.
inline data::Money AmountAfter(const std::string& text, const std::string& word) {
    const std::size_t at = text.find(word);
    if (at == std::string::npos) return data::Money();
    std::string amount;
    for (std::size_t i = at + word.size();
         i < text.size() && text[i] != ',' && text[i] != ' ' && text[i] != '\n'; ++i)
        if (text[i] != ',') amount += text[i];
    return data::ParseMoney(amount).value_or(data::Money());
}

// The number `invoice new` printed on a line of its own; 0 when there is none.
inline long InvoiceNumberOf(const std::string& output) {
    std::istringstream lines(output);
    std::string last, line;
    while (std::getline(lines, line))
        if (!line.empty() && line.find(' ') == std::string::npos) last = line;
    return last.empty() || !std::isdigit(static_cast<unsigned char>(last[0])) ? 0 : std::stol(last);
}

// Remembers every message and answers it with its default, as the command line does.
struct Recording : platform::Prompter {
    platform::Answer ask(const platform::Message& m) override {
        texts.push_back(m.text);
        return m.defaultButton;
    }
    void beep() override {}
    std::vector<std::string> texts;
};

// The company in use of a folder whose books are mounted: the first company on file.
inline std::optional<data::CompanyRecord> FirstCompany(const std::string& folder,
                                                       platform::Prompter& prompter) {
    data::ExistingFileblock companies;
    data::OpenExisting(companies, folder, data::FileKind::Company, {}, prompter);
    if (!companies.fb) return std::nullopt;
    auto found = data::FindAtOrAfter<data::Company>(companies.fb, 1, data::CompanyRecord());
    if (!found) return std::nullopt;
    return found->record;
}

}  // namespace invarro::cli
