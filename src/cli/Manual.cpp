#include "cli/Manual.h"

#include <algorithm>
#include <cctype>

namespace invarro::cli {

namespace {

bool IsLiteralBlock(const std::string& paragraph) {
    if (paragraph.rfind("    ", 0) != 0) return false;
    for (size_t at = paragraph.find('\n'); at != std::string::npos;
         at = paragraph.find('\n', at + 1))
        if (paragraph.compare(at + 1, 4, "    ") != 0) return false;
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t at; (at = text.find('\n', from)) != std::string::npos; from = at + 1)
        out.push_back(text.substr(from, at - from));
    out.push_back(text.substr(from));
    return out;
}

// ------------------------------------------------------------------ plain text for --help

// Backquotes mark literals; in a terminal they are simply left out.
std::string Plain(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '`') out += c;
    return out;
}

std::string OptionLabel(const OptionDoc& o) {
    return o.value.empty() ? o.name : o.name + " " + o.value;
}

// Options in two columns: the option with its value, then what it does. An option too long
// for the column has its text on the next line.
void AppendOptions(std::string& out, const std::vector<OptionDoc>& options, size_t indent,
                   size_t widest = 24) {
    size_t column = 0;
    for (const OptionDoc& o : options)
        column = std::max(column, OptionLabel(o).size());
    column = std::min(column + 2, widest);
    for (const OptionDoc& o : options) {
        std::string line(indent, ' ');
        line += OptionLabel(o);
        if (line.size() + 1 > indent + column) {
            out += line + "\n";
            line.assign(indent + column, ' ');
        } else {
            line.resize(indent + column, ' ');
        }
        out += line + Wrap(Plain(o.text), line.size(), indent + column) + "\n";
    }
}

// Whether the blank at `at` of a usage line joins an option to its value ("--out FILE").
bool JoinsValue(const std::string& usage, size_t at) {
    const size_t word = usage.find_last_of(" [(|", at - 1);
    const size_t start = word == std::string::npos ? 0 : word + 1;
    return usage.compare(start, 2, "--") == 0 && at + 1 < usage.size() &&
           std::isupper(static_cast<unsigned char>(usage[at + 1]));
}

// A usage line broken over lines only between its parts: never inside [ ] or ( ), nor
// between an option and its value.
std::string WrapUsage(std::string usage, size_t first, size_t indent) {
    int depth = 0;
    for (size_t i = 0; i < usage.size(); ++i) {
        char& c = usage[i];
        if (c == '[' || c == '(') ++depth;
        if (c == ']' || c == ')') --depth;
        if (c == ' ' && (depth > 0 || JoinsValue(usage, i))) c = '\x01';
    }
    std::string out = Wrap(usage, first, indent);
    std::replace(out.begin(), out.end(), '\x01', ' ');
    return out;
}

std::string CommandLabel(const CommandDoc& c, bool withUsage) {
    return withUsage && !c.usage.empty() ? c.words + " " + c.usage : c.words;
}

// -------------------------------------------------------------------- the manual page

// Text as roff reads it: backslashes escaped, a leading dot or quote made harmless, and a
// hyphen that starts a word (an option) written as the minus sign one types.
std::string Roff(const std::string& text, bool literal = false) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char before = i ? text[i - 1] : ' ';
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-' &&
                   (literal || std::string(" \t([|/=\"'").find(before) != std::string::npos ||
                    before == '-')) {
            out += "\\-";
        } else if ((c == '.' || c == '\'') && (i == 0 || before == '\n')) {
            out += "\\&";
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// Prose with its backquoted literals in bold.
std::string RoffProse(const std::string& text) {
    std::string out;
    size_t from = 0;
    while (true) {
        const size_t open = text.find('`', from);
        if (open == std::string::npos) break;
        const size_t close = text.find('`', open + 1);
        if (close == std::string::npos) break;
        out += Roff(text.substr(from, open - from));
        out += "\\fB" + Roff(text.substr(open + 1, close - open - 1), true) + "\\fR";
        from = close + 1;
    }
    std::string rest = Roff(text.substr(from));
    // A line of the paragraph that begins with a dot after a break would be a request.
    if (!out.empty() && !rest.empty() && (rest[0] == '.' || rest[0] == '\'')) rest = "\\&" + rest;
    return out + rest;
}

bool IsPlaceholder(const std::string& word) {
    bool letter = false;
    for (char c : word) {
        if (std::isupper(static_cast<unsigned char>(c))) {
            letter = true;
        } else if (!std::isdigit(static_cast<unsigned char>(c)) && c != '_' && c != ':' &&
                   c != '.') {
            return false;
        }
    }
    return letter;
}

// A usage line: options and keywords in bold, the values the user supplies in italics,
// brackets, bars and ellipses as they are. The line is broken only between its parts,
// never inside [ ] or ( ).
std::string RoffUsage(const std::string& usage) {
    std::string out, word;
    int depth = 0;
    auto flush = [&] {
        if (word.empty()) return;
        if (word == "...")
            out += "\\&...";
        else if (IsPlaceholder(word) || word == "options")
            out += "\\fI" + Roff(word, true) + "\\fR";
        else
            out += "\\fB" + Roff(word, true) + "\\fR";
        word.clear();
    };
    for (size_t i = 0; i < usage.size(); ++i) {
        const char c = usage[i];
        if (std::string(" []()|").find(c) != std::string::npos) {
            flush();
            if (c == '[' || c == '(') ++depth;
            if (c == ']' || c == ')') --depth;
            const bool join = c == ' ' && (depth > 0 || JoinsValue(usage, i));
            out += join ? std::string("\\ ") : std::string(1, c);
        } else {
            word += c;
        }
    }
    flush();
    return out;
}

std::string RoffOption(const OptionDoc& o) {
    std::string label = "\\fB" + Roff(o.name, true) + "\\fR";
    if (!o.value.empty()) label += " " + RoffUsage(o.value);
    return label;
}

void AppendParagraphs(std::string& out, const std::vector<std::string>& paragraphs) {
    for (const std::string& p : paragraphs) {
        if (IsLiteralBlock(p)) {
            out += ".PP\n.RS 4\n.nf\n";
            for (const std::string& line : Lines(p))
                out += (line.size() > 4 ? Roff(line.substr(4), true) : std::string()) + "\n";
            out += ".fi\n.RE\n";
        } else {
            out += ".PP\n" + RoffProse(p) + "\n";
        }
    }
}

void AppendOptionList(std::string& out, const std::vector<OptionDoc>& options) {
    for (const OptionDoc& o : options)
        out += ".TP\n" + RoffOption(o) + "\n" + RoffProse(o.text) + "\n";
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string Wrap(const std::string& text, size_t first, size_t indent, size_t width) {
    std::string out;
    size_t column = first;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find(' ', from);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(from, end - from);
        from = end + 1;
        if (word.empty()) continue;
        const bool lineStart = column == first && out.empty();
        if (!lineStart && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (!lineStart && column != indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

std::string HelpText(const ProgramDoc& doc) {
    std::string out = "usage: " + doc.name + " " + Plain(doc.synopsis) + "\n";
    if (!doc.lead.empty()) out += Wrap(Plain(doc.lead), 0, 0) + "\n";
    if (!doc.options.empty()) {
        out += "\n";
        AppendOptions(out, doc.options, 2);
    }
    if (!doc.commandsTitle.empty() && !doc.commands.empty()) {
        out += "\n" + doc.commandsTitle + ":\n";
        // The summaries start two blanks at least after the longest name of up to 20
        // characters; a longer name stands on a line of its own.
        size_t column = 0;
        for (const CommandDoc& c : doc.commands)
            if (const size_t n = CommandLabel(c, doc.commandsInFull).size(); n <= 20)
                column = std::max(column, n);
        column = std::clamp<size_t>(column + 2, 18, 22);
        for (const CommandDoc& c : doc.commands) {
            std::string line = "  " + CommandLabel(c, doc.commandsInFull);
            if (line.size() + 1 > 2 + column) {
                out += line + "\n";
                line.assign(2 + column, ' ');
            } else {
                line.resize(2 + column, ' ');
            }
            out += line + Wrap(Plain(c.summary), line.size(), 2 + column) + "\n";
            if (doc.commandsInFull) AppendOptions(out, c.options, 2 + column, 10);
        }
    }
    if (!doc.helpNotes.empty()) {
        out += "\n";
        for (const std::string& note : doc.helpNotes)
            out += Wrap(Plain(note), 0, 0) + "\n";
    }
    return out;
}

std::string CommandHelpText(const ProgramDoc& doc, const CommandDoc& command) {
    std::string usage = doc.name;
    if (!doc.commandPrefix.empty()) usage += " " + doc.commandPrefix;
    usage += " " + CommandLabel(command, true);
    std::string out =
        "usage: " + WrapUsage(usage, 7, 9) + "\n" + Wrap(Plain(command.summary), 0, 0) + "\n";
    if (!command.options.empty()) {
        out += "\n";
        AppendOptions(out, command.options, 2);
    }
    return out;
}

std::vector<const CommandDoc*> CommandGroup(const ProgramDoc& doc, const std::string& group) {
    std::vector<const CommandDoc*> out;
    for (const CommandDoc& c : doc.commands)
        if (c.words.size() > group.size() && c.words.compare(0, group.size(), group) == 0 &&
            c.words[group.size()] == ' ')
            out.push_back(&c);
    return out;
}

std::string GroupHelpText(const ProgramDoc& doc, const std::string& group) {
    const std::vector<const CommandDoc*> members = CommandGroup(doc, group);
    std::string names;
    for (const CommandDoc* c : members)
        names += (names.empty() ? "" : "|") + c->words.substr(group.size() + 1);
    std::string usage = doc.name;
    if (!doc.commandPrefix.empty()) usage += " " + doc.commandPrefix;
    usage += " " + group + " " + names + " ...";
    std::string out = "usage: " + WrapUsage(usage, 7, 9) + "\n";
    for (const CommandDoc* c : members) {
        out += "\n  " + WrapUsage(CommandLabel(*c, true), 2, 6) + "\n";
        out += "      " + Wrap(Plain(c->summary), 6, 6) + "\n";
    }
    out += "\n" + doc.name + " " + group + " VERB --help describes one of them.\n";
    return out;
}

std::string ManPage(const ProgramDoc& doc, const std::string& version, const std::string& date) {
    std::string out;
    out += ".\\\" The manual page of " + doc.name +
           ", written from the program's own description of its\n"
           ".\\\" command line (the one its --help prints).\n";
    out += ".TH " + Upper(Roff(doc.name)) + " 1 \"" + date + "\" \"Invarro " + version +
           "\" \"User Commands\"\n";
    // Names and options are not broken across lines, nor is the text stretched to both
    // margins, so that what a reader sees can be typed as it stands.
    out += ".nh\n.ad l\n";
    out += ".SH NAME\n" + Roff(doc.name) + " \\- " + Roff(doc.purpose) + "\n";
    out += ".SH SYNOPSIS\n.B " + Roff(doc.name) + "\n" + RoffUsage(doc.synopsis) + "\n";
    if (!doc.description.empty()) {
        out += ".SH DESCRIPTION\n";
        AppendParagraphs(out, doc.description);
    }
    if (!doc.options.empty()) {
        out += ".SH OPTIONS\n";
        AppendOptionList(out, doc.options);
    }
    if (!doc.commandsTitle.empty() && !doc.commands.empty()) {
        out += ".SH " + Upper(doc.commandsTitle) + "\n";
        for (const CommandDoc& c : doc.commands) {
            out += ".TP\n" + RoffUsage(c.words);
            if (!c.usage.empty()) out += " " + RoffUsage(c.usage);
            out += "\n" + RoffProse(c.summary) + "\n";
            if (!c.options.empty()) {
                out += ".RS\n";
                AppendOptionList(out, c.options);
                out += ".RE\n";
            }
        }
    }
    for (const SectionDoc& s : doc.sections) {
        out += ".SH " + Upper(Roff(s.title)) + "\n";
        AppendParagraphs(out, s.paragraphs);
        AppendOptionList(out, s.items);
    }
    if (!doc.seeAlso.empty()) {
        out += ".SH SEE ALSO\n";
        for (size_t i = 0; i < doc.seeAlso.size(); ++i) {
            const std::string& ref = doc.seeAlso[i];
            const size_t paren = ref.find('(');
            out += ".BR " + Roff(ref.substr(0, paren), true) + " " + ref.substr(paren) +
                   (i + 1 < doc.seeAlso.size() ? "," : "") + "\n";
        }
    }
    return out;
}

}  // namespace invarro::cli
