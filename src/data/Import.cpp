#include "data/Import.h"

namespace invarro::data {

std::string LoadedFileText(std::string_view fileName, std::size_t rows) {
    if (rows == 0) return std::string(kNoRecordsText);
    return std::string(fileName) + " - " + std::to_string(rows) + " records.";
}

platform::Message ImportDoneMessage(const ImportResult& r, std::string_view complete,
                                    std::string_view what, std::string_view after) {
    platform::Message m;
    m.title = "Import";
    if (r.failed == 0 && !r.stopped) {
        m.text = std::string(complete);
        return m;
    }
    m.icon = platform::Icon::Warning;
    m.text = "Import ";
    m.text += r.stopped ? "stopped" : "finished";
    m.text += ": " + std::to_string(r.added) + " " + std::string(what) + " added";
    if (r.failed > 0) {
        m.text += ", " + std::to_string(r.failed) + " could not be added. The first was line " +
                  std::to_string(r.firstFailedLine);
        if (!r.firstFailedName.empty()) m.text += " (" + r.firstFailedName + ")";
        if (!r.firstFailure.empty()) m.text += ": " + r.firstFailure;
    }
    m.text += ".";
    if (r.stopped)
        m.text += " The rows after line " + std::to_string(r.lastLine) + " were not imported.";
    if (!after.empty()) m.text += " " + std::string(after);
    return m;
}

ExportFileProposal ExportProposal(DelimitedKind kind, std::string_view baseName) {
    if (kind == DelimitedKind::CsvFile)
        return {"CSV", std::string(baseName) + ".CSV",
                "CSV File (*.CSV)|*.CSV|Record List (*.TXT)|*.TXT"};
    return {"TXT", std::string(baseName) + ".Txt",
            "Record List (*.TXT)|*.TXT|CSV File (*.CSV)|*.CSV"};
}

std::string ExportedText(std::size_t lines) {
    return std::to_string(lines) + " records exported.";
}

}  // namespace invarro::data
