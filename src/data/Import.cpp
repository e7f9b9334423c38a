#include "data/Import.h"

namespace invarro::data {

std::string LoadedFileText(std::string_view fileName, std::size_t rows) {
    if (rows == 0) return std::string(kNoRecordsText);
    return std::string(fileName) + " - " + std::to_string(rows) + " records.";
}

namespace {

// A value of the file as a message shows it: a line break as "¶".
std::string Shown(std::string_view value) {
    std::string out;
    const std::string_view t = TrimText(value);
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
        if (t[i] == '\r' || t[i] == '\n')
            out += "\u00b6";
        else
            out += t[i];
    }
    return out;
}

// " 3 values were changed ..." after the run's text, or nothing.
std::string ChangedText(const ImportResult& r) {
    if (r.changed == 0) return "";
    return " " + std::to_string(r.changed) + (r.changed == 1 ? " value was" : " values were") +
           " changed to fit the file (a character it cannot hold became \"?\", a value too "
           "long was cut, a line break became a blank); the first was on line " +
           std::to_string(r.firstChangedLine) + ": " + r.firstChange + ".";
}

}  // namespace

std::string ImportedValue(std::string_view value) {
    const std::string_view t = TrimText(value);
    if (!t.empty() && t[0] == '\'' && StartsAsFormula(t)) return std::string(t.substr(1));
    return std::string(value);
}

DelimitedText ImportedText(DelimitedText text) {
    for (DelimitedRow& row : text.rows)
        for (std::string& field : row.fields)
            if (!field.empty() && (field[0] == '\'' || static_cast<unsigned char>(field[0]) <= ' '))
                field = ImportedValue(field);
    return text;
}

DelimitedText ReadImportFile(const std::string& path, char separator) {
    return ImportedText(ReadDelimitedFile(path, separator));
}

std::string OneLineValue(std::string_view value, int width, bool* changed) {
    const std::string_view given = TrimText(value);
    std::string out;
    out.reserve(given.size());
    bool differs = false;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(given[i]);
        if (c == '\r' && i + 1 < given.size() && given[i + 1] == '\n') ++i;
        if (c < 32 || c == 127) {
            out += ' ';
            differs = true;
        } else {
            out += char(c);
        }
    }
    // What the code page holds, as the record will: "?" for the rest.
    std::string stored = Utf8FromAnsi(AnsiFromUtf8(out));
    if (stored != out) differs = true;
    if (CharCount(stored) > std::size_t(width)) {
        stored = TrimmedText(FirstChars(stored, std::size_t(width)));
        differs = true;
    }
    if (changed) *changed = differs;
    return stored;
}

std::string RowValues::fit(std::string_view value, int width, std::string_view heading) {
    bool changed = false;
    std::string stored = OneLineValue(value, width, &changed);
    if (changed && result_)
        result_->change(
            line_, std::string(heading) + " \"" + Shown(value) + "\" became \"" + stored + "\"");
    return stored;
}

platform::Message ImportDoneMessage(const ImportResult& r, std::string_view complete,
                                    std::string_view what, std::string_view after) {
    platform::Message m;
    m.title = "Import";
    if (r.failed == 0 && !r.stopped) {
        m.text = std::string(complete) + ChangedText(r);
        if (r.changed > 0) m.icon = platform::Icon::Warning;
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
    m.text += ChangedText(r);
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
