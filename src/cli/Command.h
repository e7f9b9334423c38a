// What every verb of invarro-cli works with: its parsed command line, the data folder and
// company, a prompter that never waits, and the output streams.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Session.h"
#include "cli/Cli.h"
#include "cli/Manual.h"
#include "data/Dates.h"
#include "platform/Clock.h"
#include "platform/Progress.h"
#include "platform/Prompter.h"

namespace invarro::cli {

// A wrong command line: the text is printed with the verb's usage, and the status is 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Answers every message without waiting. A question gets the safe answer (No, Cancel),
// unless the run was started with --yes, which accepts it (Yes, OK). Every message and
// every answer given goes to standard error.
class BatchPrompter : public platform::Prompter {
  public:
    BatchPrompter(std::FILE* err, bool yes) : err_(err), yes_(yes) {}
    platform::Answer ask(const platform::Message& message) override;
    int declined() const { return declined_; }

  private:
    std::FILE* err_;
    bool yes_;
    int declined_ = 0;
};

// The status window of long runs as lines on standard error: the title once per run.
class StderrProgress : public platform::Progress {
  public:
    explicit StderrProgress(std::FILE* err) : err_(err) {}
    void start(const std::string& title, int lines) override;
    void setLine(int, const std::string&) override {}
    bool step() override { return true; }
    void finish() override {}

  private:
    std::FILE* err_;
};

// One verb's command line after the verb words.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;  // --name VALUE, repeatable
    std::vector<std::string> flags;                          // --name

    bool flag(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
};

struct Context {
    CliServices& services;
    std::string folder;
    std::optional<std::string> companyNo;  // --company
    bool yes = false;
    const platform::Clock& clock;
    BatchPrompter prompter;
    StderrProgress progress;
    app::Session session;  // filled for verbs that work on a company

    Context(CliServices& s, const platform::Clock& c, bool acceptQuestions)
        : services(s),
          yes(acceptQuestions),
          clock(c),
          prompter(s.err, acceptQuestions),
          progress(s.err) {}

    std::FILE* out() const { return services.out; }
    std::FILE* err() const { return services.err; }
    // A message on standard error, prefixed with the program name.
    void say(const std::string& text) const;
    // The same, and the job failed.
    int fail(const std::string& text) const;
    data::Date today() const;
    // A date given on the command line: yyyy-mm-dd, or the company's own date order.
    data::Date date(const std::string& option, const std::string& text) const;
};

struct Verb {
    const char* words;    // "aging", "invoice pdf"
    const char* usage;    // the arguments after the words
    const char* summary;  // one sentence
    // The options it takes: name, value (empty for a switch) and what it does.
    std::vector<OptionDoc> options;
    int minArgs = 0;
    int maxArgs = 0;
    bool company = true;  // works on the company in use (or --company)
    int (*run)(Context&, const Args&) = nullptr;
};

// The verb table.
const std::vector<Verb>& Verbs();

}  // namespace invarro::cli
