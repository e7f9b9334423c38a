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
    if (r.takenBack) {
        m.text = "Import ";
        m.text += r.stopped ? "stopped" : "failed";
        m.text += " at line " + std::to_string(r.lastLine);
        if (!r.stopped && r.failed > 0 && !r.firstFailure.empty()) {
            if (!r.firstFailedName.empty()) m.text += " (" + r.firstFailedName + ")";
            m.text += ": " + r.firstFailure;
        }
        m.text += ". Nothing was imported; the " + std::string(what) + " on file are as they were.";
        return m;
    }
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

namespace {
constexpr int kCountsShownEvery = 50;
}

ImportRun::ImportRun(platform::Progress& progress, const std::string& title, std::string_view what,
                     ImportResult& result, std::size_t rows)
    : progress_(progress), what_(what), result_(result), rows_(rows) {
    progress_.start(title, 3);
    progress_.setLine(0, std::string(kImportingText));
    showCounts();
}

void ImportRun::begin(int line) {
    ++result_.rows;
    result_.lastLine = line;
}

bool ImportRun::added(const UpdateResult& add, const std::string& name) {
    if (add.ok()) {
        ++result_.added;
        return true;
    }
    result_.fail(result_.lastLine, name,
                 "the record could not be stored (error " + std::to_string(add.engineError) + ")");
    return false;
}

bool ImportRun::done() {
    if (result_.rows % kCountsShownEvery == 0) showCounts();
    if (progress_.step()) return true;
    result_.stopped = std::size_t(result_.rows) < rows_;
    return false;
}

void ImportRun::finish() {
    showCounts();
    progress_.finish();
}

void ImportRun::showCounts() {
    progress_.setLine(1, "Rows read: " + std::to_string(result_.rows));
    progress_.setLine(2, what_ + " added: " + std::to_string(result_.added));
}

}  // namespace invarro::data
