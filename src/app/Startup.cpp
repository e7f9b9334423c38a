#include "app/Startup.h"

#include "app/MailPassword.h"

#include "data/Ansi.h"
#include "data/Fileblocks.h"
#include "data/Files.h"
#include "data/Keys.h"
#include "data/Open.h"
#include "data/SideFiles.h"
#include "data/Texts.h"
#include "data/Update.h"

namespace invarro::app {

namespace {

using data::Company;

data::FontSetting EditorFont(const data::CompanyRecord& c) {
    data::FontSetting f;
    f.name = c.text(Company::EditorFontName);
    f.size = c.int32(Company::EditorFontSize);
    f.colour = c.int32(Company::EditorFontColor);
    f.style = c.style(Company::EditorFontStyle);
    return f;
}

CompanyLook Look(Session& session, platform::Prompter* prompter) {
    data::CompanyRecord& c = session.company;
    CompanyLook look;
    // Characters, as the record stores them: "É" alone is no company name.
    if (data::CharCount(data::TrimText(c.text(Company::Name))) < 2) {
        c.setText(Company::Name, kPleaseSetup);
        c.setByte(Company::UseBackground, 0);
        look.caption = std::string(kPleaseSetup);
        return look;
    }
    look.setUp = true;
    look.caption = CompanyCaption(c);
    look.font = EditorFont(c);
    look.showBackground = c.byte(Company::UseBackground) != 0;

    const std::string stored = data::TrimmedText(c.text(Company::BackgroundFile));
    if (stored.empty()) {
        look.showBackground = false;
        return look;
    }
    const std::string path = ResolveDataFile(session.folder, stored);
    if (data::FileExists(path)) {
        look.source = BackgroundSource::File;
        look.file = path;
        return look;
    }
    if (!prompter) {
        look.source = BackgroundSource::Keep;
        return look;
    }
    look.source = BackgroundSource::BuiltIn;
    prompter->ask(platform::Message{std::string(data::kAppTitle), std::string(kBackgroundMissing),
                                    platform::Icon::Warning, platform::Buttons::Ok,
                                    platform::Answer::Ok});
    const std::string fallback = data::JoinPath(session.folder, kFallbackBackground);
    if (data::FileExists(fallback)) {
        c.setText(Company::BackgroundFile, fallback);
        look.source = BackgroundSource::File;
        look.file = fallback;
    }
    return look;
}

}  // namespace

bool HasDataFiles(const std::string& folder) {
    return data::FileExists(data::JoinPath(folder, data::kLastCompanyFile));
}

platform::Message NoDataFilesMessage(const std::string& folder) {
    // The files belong in the data folder, not beside the program: the question says which
    // folder that is and how another one is chosen.
    return platform::Message{
        std::string(data::kAppTitle),
        "I do not find the billing data files in the data folder\n" + folder +
            "\n\nAnother data folder is given with --data FOLDER or in INVARRO_DATA; without "
            "either it is ~/.local/share/invarro.\n\nDo you want to set up a new, empty "
            "installation there now?",
        platform::Icon::Question, platform::Buttons::YesNo, platform::Answer::Yes};
}

std::optional<data::CompanyRecord> ReadCompanyByNumber(const std::string& folder,
                                                       std::string_view companyNo,
                                                       platform::Prompter& prompter) {
    const std::string name = data::FileblockName(folder, data::FileKind::Company);
    if (!storage::FileblockExists(name)) return std::nullopt;
    data::OpenRequest request;
    request.name = name;
    request.kind = data::FileKind::Company;
    request.giveUp = data::GiveUpMessage("Unable to open databases: ");
    request.giveUpWithError = true;
    data::OpenResult opened = data::OpenBusinessFileblock(request, prompter);
    if (!opened) return std::nullopt;

    data::CompanyRecord probe;
    probe.setText(Company::CompanyNo, companyNo);
    auto found = data::FindAtOrAfter<Company>(opened.fb, 1, probe);
    storage::CloseFileblock(opened.fb);
    // The entry at or after the number belongs to another company when this one is gone.
    if (!found || found->key != data::CompanyKey(probe, 1)) return std::nullopt;
    return found->record;
}

std::optional<data::CompanyRecord> LoadCompanyInUse(const std::string& folder,
                                                    platform::Prompter& prompter) {
    auto company = data::ReadLastCompany(folder);
    if (!company) return std::nullopt;
    auto fresh = ReadCompanyByNumber(folder, company->text(Company::CompanyNo), prompter);
    if (fresh) {
        company = fresh;
        // A mail password that has left the company record (moved to the keyring by an
        // older version) leaves the copy too; a folder that cannot be written keeps it
        // until the next time it can.
        SyncLastCompanyPassword(folder, *fresh);
    }
    return company;
}

bool ComputerDateSuspect(const data::Date& today) {
    return today < data::Date{2008, 1, 1};
}

bool WarnAboutComputerDate(const platform::Clock& clock, platform::Prompter& prompter) {
    if (!ComputerDateSuspect(data::Today(clock))) return false;
    prompter.ask(platform::Message{"Computer Date", std::string(kComputerDateWrong),
                                   platform::Icon::Warning, platform::Buttons::Ok,
                                   platform::Answer::Ok});
    return true;
}

void ApplyCompanySettings(Session& session) {
    session.dateOrder = data::DateOrderFromCode(session.company.ansi(Company::DateFormatCode));
    if (data::TrimmedText(session.company.text(Company::QuoteCaption)).empty())
        session.company.setText(Company::QuoteCaption, kDefaultQuoteWord);
}

std::string CompanyCaption(const data::CompanyRecord& company) {
    return data::TrimmedText(company.text(Company::Name)) +
           "     Number: " + data::TrimmedText(company.text(Company::CompanyNo));
}

CompanyLook StartCompanyLook(Session& session, platform::Prompter& prompter) {
    return Look(session, &prompter);
}

CompanyLook ReloadCompanyLook(Session& session) {
    return Look(session, nullptr);
}

std::string ResolveDataFile(const std::string& folder, const std::string& stored) {
    if (stored.empty() || stored.front() == '/') return stored;
    return data::JoinPath(folder, stored);
}

}  // namespace invarro::app
