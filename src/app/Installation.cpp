#include "app/Installation.h"

#include "data/Company.h"
#include "data/DataFolder.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/SideFiles.h"
#include "data/Update.h"
#include "storage/Engine.h"

namespace invarro::app {

namespace {

using namespace invarro::data;

std::string EngineFailure(const std::string& what) {
    return what + " (engine error " + std::to_string(storage::EngineError) + ")";
}

}  // namespace

InstallResult CreateInstallation(const std::string& folder, platform::Prompter& prompter) {
    InstallResult result;
    const std::string companies = FileblockName(folder, FileKind::Company);
    const std::string lastCo = JoinPath(folder, kLastCompanyFile);
    if (FileExists(lastCo)) {
        result.message = "The folder " + folder + " already holds an installation (" +
                         std::string(kLastCompanyFile) + "); nothing was changed.";
        return result;
    }
    if (storage::FileblockExists(companies)) {
        result.message = "The folder " + folder + " already holds a company file (" +
                         storage::DataFileName(companies) + "); nothing was changed.";
        return result;
    }
    if (!storage::EngineStarted()) {
        result.message = "The storage engine is not started.";
        return result;
    }
    if (!EnsureFolder(folder, &result.message)) return result;

    const RecordKind& kind = KindOf(FileKind::Company);
    if (!CreateBusinessFileblock(companies, kind)) {
        result.message = EngineFailure("Cannot create the company file " + companies);
        return result;
    }
    auto undo = [&] {
        storage::DeleteFileblock(companies);
        RemoveFile(lastCo);
    };

    storage::Fileblock* fb = storage::OpenFileblock(companies, false);
    if (!storage::EngineOk) {
        result.message = EngineFailure("Cannot open the company file " + companies);
        undo();
        return result;
    }
    CompanyRecord company = NewCompanyRecord(FirstCompanyBase(), 0);
    UpdateResult added = AddBusinessRecord(fb, company, prompter);
    storage::CloseFileblock(fb);
    bool closed = storage::EngineOk;
    if (!added.ok() || !closed) {
        result.message = "Cannot store company 1 in " + companies + " (engine error " +
                         std::to_string(added.ok() ? storage::EngineError : added.engineError) +
                         ")";
        undo();
        return result;
    }

    std::string error;
    if (!WriteLastCompany(folder, company, &error)) {
        result.message = error;
        undo();
        return result;
    }
    TermsList terms = LoadTerms(folder);
    if (!terms.ok) {
        result.message = terms.error;
        undo();
        return result;
    }

    result.ok = true;
    result.message = "New installation in " + folder + ": company 1 created.";
    return result;
}

}  // namespace invarro::app
