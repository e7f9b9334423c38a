// A program's command line described once: its --help text and its manual page are both
// written from this description, so the two always name the same commands and options.
//
// Texts are plain. A span in backquotes (`--yes`, `invarro-cli check`) is a literal the
// reader types: bold in the manual page, printed without the quotes in --help. A paragraph
// whose lines all begin with four blanks is shown as it is (an example or a script).
#pragma once

#include <string>
#include <vector>

namespace invarro::cli {

struct OptionDoc {
    std::string name;   // "--out"
    std::string value;  // "FILE"; empty for a switch
    std::string text;   // what it does
};

struct CommandDoc {
    std::string words;    // "invoice pdf"
    std::string usage;    // the arguments after the words
    std::string summary;  // what it does, in one sentence
    std::vector<OptionDoc> options;
};

struct SectionDoc {
    std::string title;  // "EXIT STATUS"
    std::vector<std::string> paragraphs;
    std::vector<OptionDoc> items;  // a list of terms after the paragraphs (files, variables)
};

struct ProgramDoc {
    std::string name;      // "invarro-cli"
    std::string purpose;   // the manual's one-line description
    std::string synopsis;  // the arguments after the name
    std::string lead;      // the sentence under the usage line of --help
    // What stands between the name and a command's words in the command's usage line.
    std::string commandPrefix;
    std::vector<std::string> description;  // the manual's DESCRIPTION
    std::vector<OptionDoc> options;
    std::string commandsTitle;  // "Verbs", "Commands"; the list is left out when empty
    std::vector<CommandDoc> commands;
    // --help lists each command with its arguments and options (for a program with a few
    // small commands); otherwise with its words only, and COMMAND --help gives the rest.
    bool commandsInFull = false;
    std::vector<std::string> helpNotes;  // closing lines of --help
    std::vector<SectionDoc> sections;    // the manual's further sections, in order
    std::vector<std::string> seeAlso;    // "invarro(1)"
};

// The text --help prints.
std::string HelpText(const ProgramDoc& doc);
// The text COMMAND --help prints.
std::string CommandHelpText(const ProgramDoc& doc, const CommandDoc& command);
// The commands whose first word is `group` ("invoice": invoice pdf, invoice email).
std::vector<const CommandDoc*> CommandGroup(const ProgramDoc& doc, const std::string& group);
// The text GROUP --help prints: the usage of each command of the group.
std::string GroupHelpText(const ProgramDoc& doc, const std::string& group);

// The manual page in the man(7) macros, section 1.
std::string ManPage(const ProgramDoc& doc, const std::string& version, const std::string& date);

// Breaks text into lines of at most `width` columns, the first starting after `first`
// columns already used and the others indented by `indent` blanks.
std::string Wrap(const std::string& text, size_t first, size_t indent, size_t width = 79);

}  // namespace invarro::cli
