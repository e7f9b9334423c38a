#include "cli/ProgramDocs.h"

namespace invarro::cli {

ProgramDoc DesktopDoc() {
    ProgramDoc doc;
    doc.name = "invarro";
    doc.purpose = "invoicing, billing and accounts receivable for small businesses";
    doc.synopsis = "[--data DIR] [--init | --demo]";
    doc.lead = "Opens the company in use of the data folder in Invarro's main window.";
    doc.description = {
        "Invarro keeps the books of several companies: customers and products, quotes and "
        "invoices with their lines, payments, partial payments and deposits, receivables aged "
        "into four periods, repeat billing, interest and late fees, statements, reports, "
        "labels and form letters, printed, saved as PDF or sent by e-mail, with import and "
        "export of delimited files and ZIP backups.",
        "`invarro` opens the company in use of the data folder in the main window. One "
        "instance runs per data folder: a second start on the same folder brings the running "
        "window to the front and ends. At the first start of a day the receivables of the "
        "customers are aged. A folder without an installation is reported, and the program "
        "offers to set up a new, empty one there.",
        "Every data file, side file and the settings file of an installation live in its "
        "data folder, readable by their owner only. The Help menu opens the program's help "
        "pages with the desktop's browser. The month-end jobs run without a window through "
        "`invarro-cli`.",
    };
    doc.options = {
        {"--data", "DIR", "the data folder (else $INVARRO_DATA, else ~/.local/share/invarro)"},
        {"--init", "", "set up a new installation in the data folder and exit"},
        {"--demo", "", "set up a demo installation when the folder has none, and open it"},
        {"--help", "", "this text"},
    };
    doc.sections = {
        {"Signals",
         {"SIGTERM, SIGINT and SIGHUP end the program in order: waiting dialogs are closed "
          "without questions, the files are closed and the window's place is kept in "
          "invarro.ini."},
         {}},
        {"Exit status",
         {},
         {{"0", "",
           "the program ended, or a program already running on the folder was brought to the "
           "front"},
          {"1", "", "the data folder could not be set up or opened"},
          {"2", "", "the command line was wrong"}}},
        {"Environment",
         {},
         {{"INVARRO_DATA", "", "the data folder when `--data` is not given"},
          {"INVARRO_HELP", "", "a folder of help pages to use instead of the installed ones"}}},
        {"Files",
         {},
         {{"~/.local/share/invarro", "",
           "the data folder when neither `--data` nor INVARRO_DATA names one"},
          {"DATA/invarro.ini", "",
           "the program's settings, such as the windows' places and where each company's "
           "mail password is kept"},
          {"DATA/LastCo.Dat", "", "the company in use"},
          {"DATA/pdf", "", "the PDF files the program writes"},
          {"/usr/share/invarro/help", "",
           "the help pages (share/invarro/help beside the program's folder, for another "
           "installation prefix)"}}},
        {"Examples",
         {"A demo installation in a folder of its own, to try the program on:",
          "    invarro --data ~/invarro-demo --demo",
          "A new, empty installation set up without opening a window:",
          "    invarro --data ~/books --init"},
         {}},
    };
    doc.seeAlso = {"invarro-cli(1)", "invarro-fbtool(1)"};
    return doc;
}

ProgramDoc FbtoolDoc() {
    ProgramDoc doc;
    doc.name = "invarro-fbtool";
    doc.purpose = "inspect, check, dump and rebuild Invarro's fileblocks";
    doc.synopsis = "COMMAND ...";
    doc.description = {
        "`invarro-fbtool` is the storage engine's companion: it reads and repairs the "
        "fileblocks Invarro keeps its books in, without the program. A fileblock is a data "
        "file of fixed-length records (NAME.DAT) and its B-tree index file (NAME.IX).",
        "NAME is the fileblock name without extension: `~/.local/share/invarro/1C` for "
        "1C.DAT and 1C.IX. The business files are Company, and a company number followed by "
        "C (customers), I (invoices), N (invoice lines), M (memos) or P (products).",
        "Run it only on a folder that no Invarro program has open: the files are opened "
        "exclusively, and a second program is refused. Before a command on a fileblock, "
        "whatever an interrupted Invarro program left in its folder (a posting in the "
        "journal, a rebuild cut short) is finished first.",
    };
    doc.options = {{"--help", "", "this text"}};
    doc.commandsTitle = "Commands";
    doc.commandsInFull = true;
    doc.commands = {
        {"info", "NAME", "header counters and keys", {}},
        {"check", "NAME", "verify the data file and every index; prints ok, or each problem", {}},
        {"dump",
         "NAME [--fields]",
         "live records as text",
         {{"--fields", "",
           "live records field by field (business files: Company, or a company number and C, "
           "I, N, M, P)"}}},
        {"keys", "NAME K", "entries of key K in order", {}},
        {"script",
         "[FILE]",
         "engine operations, one per line, from FILE or standard input; one result line each "
         "(ok ..., or err and the engine's error number)",
         {}},
        {"rebuild",
         "NAME [--key OFFSET:LENGTH(u|d) ...]",
         "copy the live records into a fresh data file and build its index anew; without "
         "--key, a business file with its own keys",
         {{"--key", "OFFSET:LENGTH(u|d)",
           "key i from the record bytes OFFSET..OFFSET+LENGTH-1, u unique, d with duplicates "
           "(repeatable, one per key)"}}},
    };
    doc.helpNotes = {"NAME is the fileblock name without extension (NAME.DAT, NAME.IX)."};
    doc.sections = {
        {"Exit status",
         {},
         {{"0", "", "done; for check, no problem was found"},
          {"1", "", "a file could not be read or written, or check found a problem"},
          {"2", "", "the command line was wrong"}}},
        {"Examples",
         {"    invarro-fbtool check ~/.local/share/invarro/1I\n"
          "    invarro-fbtool dump ~/.local/share/invarro/Company --fields\n"
          "    invarro-fbtool rebuild ~/.local/share/invarro/1I"},
         {}},
    };
    doc.seeAlso = {"invarro(1)", "invarro-cli(1)"};
    return doc;
}

}  // namespace invarro::cli
