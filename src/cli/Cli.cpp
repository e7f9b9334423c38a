#include "cli/Cli.h"

#include <algorithm>
#include <cstring>

#include "app/ServerBooks.h"
#include "app/Startup.h"
#include "cli/Command.h"
#include "data/Ansi.h"
#include "data/DataFolder.h"
#include "data/Files.h"
#include "data/OwnFiles.h"
#include "data/Recovery.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "output/CStmnt.h"
#include "output/EMail.h"
#include "storage/Engine.h"

namespace invarro::cli {

namespace {

constexpr char kProgram[] = "invarro-cli";

// The options that come before the verb.
const std::vector<OptionDoc>& GlobalOptions() {
    static const std::vector<OptionDoc> options = {
        {"--data", "DIR", "the data folder (else $INVARRO_DATA, else ~/.local/share/invarro)"},
        {"--company", "N", "the company to work on (else the company in use)"},
        {"--yes", "", "accept the questions a window would ask (overwrite, restore, import)"},
        {"--help", "", "this text; VERB --help describes one verb"},
    };
    return options;
}

void ProgramHelp(std::FILE* out) {
    std::fputs(HelpText(CliDoc()).c_str(), out);
}

void VerbHelp(std::FILE* out, const Verb& v) {
    const ProgramDoc doc = CliDoc();
    for (const CommandDoc& c : doc.commands)
        if (c.words == v.words) std::fputs(CommandHelpText(doc, c).c_str(), out);
}

size_t WordCount(const char* words) {
    return size_t(std::count(words, words + std::strlen(words), ' ')) + 1;
}

// The verb named by the first words of args; the longest name wins.
const Verb* FindVerb(const std::vector<std::string>& args, size_t from, size_t& used) {
    const Verb* best = nullptr;
    for (const Verb& v : Verbs()) {
        const size_t n = WordCount(v.words);
        if (from + n > args.size()) continue;
        std::string joined;
        for (size_t i = 0; i < n; ++i)
            joined += (i ? " " : "") + args[from + i];
        if (joined == v.words && (!best || n > used)) {
            best = &v;
            used = n;
        }
    }
    return best;
}

Args ParseArgs(const Verb& verb, const std::vector<std::string>& args, size_t from) {
    Args out;
    for (size_t i = from; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            std::string name = a, value;
            bool inlineValue = false;
            if (const size_t eq = a.find('='); eq != std::string::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                inlineValue = true;
            }
            const auto option = std::find_if(verb.options.begin(), verb.options.end(),
                                             [&](const OptionDoc& o) { return o.name == name; });
            const bool takesValue = option != verb.options.end() && !option->value.empty();
            const bool isFlag = option != verb.options.end() && option->value.empty();
            if (takesValue) {
                if (!inlineValue) {
                    if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
                    value = args[++i];
                }
                out.values[name].push_back(value);
            } else if (isFlag && !inlineValue) {
                out.flags.push_back(name);
            } else {
                throw UsageError("unknown option " + a);
            }
        } else {
            out.positional.push_back(a);
        }
    }
    if (int(out.positional.size()) < verb.minArgs) throw UsageError("missing argument");
    if (int(out.positional.size()) > verb.maxArgs)
        throw UsageError("unexpected argument " + out.positional[size_t(verb.maxArgs)]);
    return out;
}

// The company the verb works on: --company N, else the company in use. The desktop
// program's company in use is left as it was.
bool OpenCompany(Context& ctx) {
    if (!app::HasDataFiles(ctx.folder)) {
        ctx.fail("no Invarro installation in " + ctx.folder + " (\"LastCo.Dat\" is missing)");
        return false;
    }
    std::optional<data::CompanyRecord> company;
    if (ctx.companyNo)
        company = app::ReadCompanyByNumber(ctx.folder, *ctx.companyNo, ctx.prompter);
    else
        company = app::LoadCompanyInUse(ctx.folder, ctx.prompter);
    if (!company) {
        ctx.fail(ctx.companyNo ? "company " + *ctx.companyNo + " is not on file"
                               : "the company in use cannot be read");
        return false;
    }
    ctx.session.folder = ctx.folder;
    ctx.session.company = *company;
    app::ApplyCompanySettings(ctx.session);
    return true;
}

}  // namespace

ProgramDoc CliDoc() {
    ProgramDoc doc;
    doc.name = kProgram;
    doc.purpose = "run the month-end jobs of Invarro without a window";
    doc.synopsis = "[--data DIR] [--company N] [--yes] VERB [options]";
    doc.commandPrefix = "[--data DIR] [--company N] [--yes]";
    doc.lead = "Runs the month-end jobs of Invarro without a window.";
    doc.description = {
        "`invarro-cli` runs the jobs of Invarro's windows from a terminal, a script or a timer: "
        "the aging of the receivables, invoice documents and their e-mail, repeat billing, "
        "interest charges, customer statements, reports, backup and restore, import and "
        "export, and the check of the books. Each verb calls the same routine as the window "
        "that does the job, so it leaves the books as the window would. No display is "
        "needed: PDF files are written on Qt's offscreen platform.",
        "Results go to standard output, messages and progress to standard error. The command "
        "never waits for an answer: where a window would ask a question, it takes the safe "
        "choice (no overwrite, no restore, no import) and says so; `--yes` accepts the "
        "question instead.",
        "A data folder that a running `invarro` holds is refused with status 1, and while a "
        "command runs the desktop program does not start on that folder.",
        "An output path that names one of the data folder's own data, index, side or settings "
        "files is refused with status 2, whatever `--yes` says.",
        "The e-mail verbs use the company's e-mail settings and one connection for the whole "
        "run, and attach each document as PDF when the company attaches documents (`--attach` "
        "and `--no-attach` decide for one run). When the company keeps its mail password in "
        "the desktop keyring and the keyring does not answer (as under cron), the run stops "
        "before any login. They end with a line of counts (sent, not sent, skipped, the first "
        "failure) and exit with status 1 when anything was not sent.",
    };
    doc.options = GlobalOptions();
    doc.commandsTitle = "Verbs";
    for (const Verb& v : Verbs())
        doc.commands.push_back({v.words, v.usage, v.summary, v.options});
    doc.helpNotes = {
        "Dates are yyyy-mm-dd (the company's own date order is accepted too).",
        "Exit status: 0 done, 1 the job failed or found problems, 2 wrong command line.",
    };
    doc.sections = {
        {"Dates",
         {"Dates are given as yyyy-mm-dd; the company's own date order (for example "
          "mm/dd/yyyy) is accepted too."},
         {}},
        {"Exit status",
         {},
         {{"0", "", "the job was done"},
          {"1", "",
           "the job failed or found problems, or the data folder is in use by the desktop "
           "program"},
          {"2", "", "the command line was wrong"}}},
        {"Environment", {}, {{"INVARRO_DATA", "", "the data folder when `--data` is not given"}}},
        {"Files",
         {},
         {{"~/.local/share/invarro", "",
           "the data folder when neither `--data` nor INVARRO_DATA names one"},
          {"DATA/pdf", "", "where PDF files go unless `--out` names another place"},
          {"DATA/invarro.ini", "",
           "the folder's settings; [Server] names the server of the books"}}},
        {"Examples",
         {"Check the books, see which repeat invoices are due, and write the statements of the "
          "customers with a balance due:",
          "    invarro-cli check\n"
          "    invarro-cli repeat --through 2026-12-31 --dry-run\n"
          "    invarro-cli statements pdf --unpaid-only --out ~/statements",
          "The books of the second company checked, and the balances and aging that do not "
          "agree with its transactions written anew:",
          "    invarro-cli --company 2 --yes check --repair",
          "The books of a folder moved to a database server, a second person's folder made on "
          "it, and a copy of the books written back into files:",
          "    invarro-cli --data ~/books server upload 'host=db.example.com dbname=books' "
          "--root-certificate ~/ca.crt\n"
          "    invarro-cli --data ~/books2 server connect 'host=db.example.com dbname=books' "
          "--root-certificate ~/ca.crt\n"
          "    invarro-cli --data ~/books server download ~/books-copy"},
         {}},
    };
    doc.seeAlso = {"invarro(1)", "invarro-fbtool(1)"};
    return doc;
}

int RunCli(const std::vector<std::string>& args, CliServices& services) {
    std::optional<std::string> dataOption, companyOption;
    bool yes = false;
    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if ((a == "--data" || a == "--company") && i + 1 < args.size()) {
            (a == "--data" ? dataOption : companyOption) = args[++i];
        } else if (a == "--yes" || a == "-y") {
            yes = true;
        } else if (a == "--help" || a == "-h") {
            ProgramHelp(services.out);
            return kExitOk;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(services.err, "%s: unknown option %s\n", kProgram, a.c_str());
            ProgramHelp(services.err);
            return kExitUsage;
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        ProgramHelp(services.err);
        return kExitUsage;
    }
    size_t used = 0;
    const Verb* verb = FindVerb(args, i, used);
    if (!verb) {
        // The first word of a group of verbs ("invoice", "statements") lists its verbs.
        const ProgramDoc doc = CliDoc();
        if (!CommandGroup(doc, args[i]).empty()) {
            const bool help =
                i + 1 < args.size() && (args[i + 1] == "--help" || args[i + 1] == "-h");
            if (help) {
                std::fputs(GroupHelpText(doc, args[i]).c_str(), services.out);
                return kExitOk;
            }
            if (i + 1 < args.size())
                std::fprintf(services.err, "%s: unknown verb \"%s %s\"\n", kProgram,
                             args[i].c_str(), args[i + 1].c_str());
            else
                std::fprintf(services.err, "%s: \"%s\" needs one of its verbs\n", kProgram,
                             args[i].c_str());
            std::fputs(GroupHelpText(doc, args[i]).c_str(), services.err);
            return kExitUsage;
        }
        std::fprintf(services.err, "%s: unknown verb \"%s\"; %s --help lists them\n", kProgram,
                     args[i].c_str(), kProgram);
        return kExitUsage;
    }
    const size_t from = i + used;
    if (std::find(args.begin() + long(from), args.end(), "--help") != args.end()) {
        VerbHelp(services.out, *verb);
        return kExitOk;
    }
    Args parsed;
    try {
        parsed = ParseArgs(*verb, args, from);
    } catch (const UsageError& e) {
        std::fprintf(services.err, "%s %s: %s\n", kProgram, verb->words, e.what());
        VerbHelp(services.err, *verb);
        return kExitUsage;
    }
    if (companyOption) {
        const std::string no = data::TrimmedText(*companyOption);
        const bool number = !no.empty() && std::all_of(no.begin(), no.end(),
                                                       [](char c) { return c >= '0' && c <= '9'; });
        if (!number || no.size() > 5) {
            std::fprintf(services.err, "%s: --company takes a company number\n", kProgram);
            return kExitUsage;
        }
        companyOption = no;
    }

    platform::SystemClock system;
    Context ctx(services, services.clock ? *services.clock : system, yes);
    ctx.folder = data::ResolveDataFolder(dataOption);
    ctx.companyNo = companyOption;
    // The writers of the files the command names keep off the folder's own files.
    const data::DataFolderInUseScope inUse(ctx.folder);

    if (services.claimFolder) {
        switch (services.claimFolder(ctx.folder)) {
            case FolderClaim::Free:
                break;
            case FolderClaim::InUse:
                return ctx.fail("the data folder " + ctx.folder +
                                " is in use by a running invarro; close it first");
            case FolderClaim::Starting:
                return ctx.fail("invarro is starting on the data folder " + ctx.folder +
                                "; try again when it has started or ended");
        }
    }

    // Settings or side files that are not what they should be are not read.
    for (const std::string& problem : data::UnreadSideFiles(ctx.folder))
        ctx.say(problem + "; the defaults are used");

    // The desktop program's company in use stays as it is whatever --company says.
    const std::string lastCo = data::JoinPath(ctx.folder, std::string(data::kLastCompanyFile));
    const std::optional<std::string> lastCoBytes =
        companyOption && verb->company ? data::ReadWholeFile(lastCo) : std::nullopt;

    storage::InitEngine(30);
    if (!storage::EngineOk) return ctx.fail("cannot start the storage engine");
    // A folder that names a server has its books there.
    if (const std::string error = app::MountBooksOfFolder(
            ctx.folder, services.serverKeyring ? services.serverKeyring() : nullptr, "invarro-cli");
        !error.empty()) {
        // Where the books are is said all the same.
        if (std::string_view(verb->words) != "server status") {
            storage::ExitEngine();
            return ctx.fail(error);
        }
        ctx.say(error);
    }
    // Whatever an interrupted program left in the folder is finished or undone first.
    if (const data::FolderRecovery recovered = data::RecoverDataFolder(ctx.folder, ctx.progress);
        !recovered.ok) {
        storage::ExitEngine();
        return ctx.fail(recovered.error);
    }
    int status = kExitFailed;
    try {
        if (!verb->company || OpenCompany(ctx)) status = verb->run(ctx, parsed);
    } catch (const UsageError& e) {
        std::fprintf(services.err, "%s %s: %s\n", kProgram, verb->words, e.what());
        VerbHelp(services.err, *verb);
        status = kExitUsage;
    } catch (const std::exception& e) {
        status = ctx.fail(e.what());
    }
    storage::ExitEngine();
    app::UnmountBooks(ctx.folder);
    if (lastCoBytes && data::ReadWholeFile(lastCo) != lastCoBytes)
        data::ReplaceFile(lastCo, *lastCoBytes);
    return status;
}

// ----------------------------------------------------------------------- support

platform::Answer BatchPrompter::ask(const platform::Message& m) {
    using platform::Answer;
    using platform::Buttons;
    std::fprintf(err_, "%s%s%s\n", m.title.c_str(), m.title.empty() ? "" : ": ", m.text.c_str());
    // "Abort?" when the books stay locked: a command that nobody watches gives up rather
    // than waiting without end.
    if (m.text == data::kCannotGetLock || m.text == data::kFilesInUse) {
        std::fprintf(err_, "  -> answered Yes without asking\n");
        return Answer::Yes;
    }
    switch (m.buttons) {
        case Buttons::Ok:
            return Answer::Ok;
        case Buttons::OkCancel:
            if (yes_) return Answer::Ok;
            break;
        case Buttons::YesNo:
        case Buttons::YesNoCancel:
            if (yes_) return Answer::Yes;
            break;
    }
    ++declined_;
    const bool hasNo = m.buttons == Buttons::YesNo;
    std::fprintf(err_, "  -> answered %s without asking (--yes accepts)\n",
                 hasNo ? "No" : "Cancel");
    return hasNo ? Answer::No : Answer::Cancel;
}

void StderrProgress::start(const std::string& title, int) {
    // The windows of a batch run are titled with the print mode; on the command line the
    // verb itself says where the documents go, so only the titles of jobs are shown.
    if (title.empty() || title == output::kPrinterModeTitle || title == output::kEMailModeTitle)
        return;
    std::fprintf(err_, "%s...\n", title.c_str());
}

bool Args::flag(const std::string& name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::optional<std::string> Args::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

void Context::say(const std::string& text) const {
    std::fprintf(err(), "%s: %s\n", kProgram, text.c_str());
}

int Context::fail(const std::string& text) const {
    say(text);
    return kExitFailed;
}

data::Date Context::today() const {
    return data::Today(clock);
}

data::Date Context::date(const std::string& option, const std::string& text) const {
    const std::string t = data::TrimmedText(text);
    if (t.size() == 10 && t[4] == '-' && t[7] == '-') {
        std::string sort = t;
        sort[4] = sort[7] = '/';
        if (auto d = data::ParseSortDate(sort)) return *d;
    } else if (auto d = data::ParseUserDate(t, session.dateOrder)) {
        return *d;
    }
    throw UsageError(option + " takes a date as yyyy-mm-dd, not \"" + text + "\"");
}

}  // namespace invarro::cli
