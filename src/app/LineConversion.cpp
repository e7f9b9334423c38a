#include "app/LineConversion.h"

#include <filesystem>
#include <vector>

#include "app/MainCommands.h"
#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Open.h"
#include "data/Records.h"
#include "data/Texts.h"
#include "data/Update.h"
#include "maintenance/BooksCopy.h"
#include "storage/Engine.h"

namespace invarro::app {

namespace {

using data::InvoiceLine;
namespace fs = std::filesystem;

// Renames a data or index file to the upper-case extension the engine opens.
bool UpperCaseExtension(const std::string& path, const std::string& wanted) {
    if (path == wanted) return true;
    std::error_code ec;
    fs::rename(path, wanted, ec);
    return !ec;
}

std::optional<std::string> FindWithExtension(const std::string& base, std::string_view upperExt) {
    const std::string stem = fs::path(base).filename().string();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(base).parent_path(), ec)) {
        const fs::path p = entry.path();
        if (p.stem().string() != stem) continue;
        if (data::UpperText(p.extension().string()) == "." + std::string(upperExt))
            return p.string();
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> FindOldLineFile(const std::string& folder, std::string_view prefix) {
    if (prefix.empty()) return std::nullopt;
    return FindWithExtension(data::JoinPath(folder, std::string(prefix) + "D"), "DAT");
}

ConversionOutcome ConvertOldLineFile(const Session& session, platform::Prompter& prompter,
                                     platform::Progress& progress, const RunHooks& hooks) {
    ConversionOutcome outcome;
    const std::string prefix = session.companyPrefix();
    auto oldData = FindOldLineFile(session.folder, prefix);
    if (!oldData) return outcome;
    outcome.status = ConversionStatus::Failed;

    prompter.ask(platform::Message{std::string(data::kAppTitle), std::string(kConversionNotice),
                                   platform::Icon::Information, platform::Buttons::Ok,
                                   platform::Answer::Ok});
    auto fail = [&](std::string error) {
        outcome.error = std::move(error);
        prompter.ask(
            data::GiveUpMessage(outcome.error + " The old invoice line file was kept as it is."));
        return outcome;
    };

    // The old file is a file of the folder; books on a server take no fileblock from it.
    if (maintenance::BooksOnBackend(session.folder))
        return fail("The books are on a server, and the old invoice line file " + *oldData +
                    " can be converted only in a folder of files: download the books (server "
                    "download), open the company there, and upload them again.");
    const std::string oldName = data::JoinPath(session.folder, prefix + "D");
    if (!UpperCaseExtension(*oldData, storage::DataFileName(oldName)))
        return fail("Cannot rename " + *oldData + ".");
    if (auto oldIndex = FindWithExtension(oldName, "IX")) {
        if (!UpperCaseExtension(*oldIndex, storage::IndexFileName(oldName)))
            return fail("Cannot rename " + *oldIndex + ".");
    }

    const std::string newName =
        data::FileblockName(session.folder, data::FileKind::InvoiceLine, prefix);
    const data::RecordKind& kind = data::KindOf(data::FileKind::InvoiceLine);
    // A line file that is already there keeps its lines; the old ones are added to it.
    storage::Fileblock* oldFb = storage::OpenFileblock(oldName, true);
    if (!storage::EngineOk)
        return fail("Cannot open the old invoice line file (error " +
                    std::to_string(storage::EngineError) + ").");
    const bool created = !storage::FileblockExists(newName);
    if (created && !data::CreateBusinessFileblock(newName, kind)) {
        const int32_t error = storage::EngineError;
        storage::CloseFileblock(oldFb);
        return fail("Cannot create the invoice line file (error " + std::to_string(error) + ").");
    }
    storage::Fileblock* newFb = storage::OpenFileblock(newName, false);
    if (!storage::EngineOk) {
        const int32_t error = storage::EngineError;
        storage::CloseFileblock(oldFb);
        if (created) storage::DeleteFileblock(newName);
        return fail("Cannot open the invoice line file (error " + std::to_string(error) + ").");
    }

    std::string error;
    // The lines this run adds, so that a run that fails can take them out of a line file
    // that was there before; the next try then starts from the same state.
    std::vector<std::pair<int32_t, data::InvoiceLineRecord>> addedLines;
    {
        BusyScope busy(hooks);
        const int32_t oldLength = storage::RecordLength(oldFb);
        // The old record, padded with zeros to the new length so that every field of the
        // new layout can be read from it at its own offset.
        std::vector<uint8_t> buffer(size_t(std::max<int32_t>(oldLength, InvoiceLine::kLength)));
        for (int32_t rec = storage::NextUsedRecord(oldFb, 0); storage::EngineOk && rec > 0;
             rec = storage::NextUsedRecord(oldFb, rec)) {
            std::fill(buffer.begin(), buffer.end(), uint8_t(0));
            storage::GetRecord(oldFb, rec, buffer.data());
            if (!storage::EngineOk) break;
            data::RecordView<InvoiceLine> old(buffer.data());
            if (data::ReadInt32(buffer.data()) != 0) continue;

            data::InvoiceLineRecord line;
            for (auto f : {InvoiceLine::LineText, InvoiceLine::LineStyle, InvoiceLine::InvNo,
                           InvoiceLine::LineDate, InvoiceLine::ProdCode, InvoiceLine::CustNo,
                           InvoiceLine::ShortName}) {
                if (f.def().offset + f.def().width + 1 <= oldLength) line.setAnsi(f, old.ansi(f));
            }
            line.setText(InvoiceLine::LineNo, "01");
            line.setAnsi(InvoiceLine::LineKey,
                         data::LineKeyText(line.ansi(InvoiceLine::InvNo), "01"));
            data::UpdateResult added = data::AddBusinessRecord(newFb, line, prompter);
            if (!added.ok()) {
                error = "detail add 1 failed. (error " + std::to_string(added.engineError) + ")";
                break;
            }
            if (!created) addedLines.emplace_back(added.recNo, line);
            ++outcome.converted;
            if (outcome.converted % 50 == 0) progress.step();
        }
        if (error.empty() && storage::EngineError != storage::err::NoMoreRecords)
            error = "Cannot read the old invoice line file (error " +
                    std::to_string(storage::EngineError) + ").";
    }
    if (!error.empty()) {
        for (auto it = addedLines.rbegin(); it != addedLines.rend(); ++it)
            data::DeleteBusinessRecord(newFb, it->first, it->second, prompter);
    }
    storage::CloseFileblock(newFb);
    storage::CloseFileblock(oldFb);
    if (!error.empty()) {
        // A line file made by this run goes again, so that the next try starts afresh.
        if (created) storage::DeleteFileblock(newName);
        return fail(error);
    }

    storage::DeleteFileblock(oldName);
    if (!storage::EngineOk) return fail("Cannot delete the old invoice line file.");
    RebuildDataFiles(session, prompter, progress, hooks);
    prompter.ask(platform::Message{std::string(data::kAppTitle), std::string(kConversionDone),
                                   platform::Icon::Information, platform::Buttons::Ok,
                                   platform::Answer::Ok});
    outcome.status = ConversionStatus::Done;
    return outcome;
}

}  // namespace invarro::app
