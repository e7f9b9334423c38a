// Backup and restore of the whole installation: every file of the file set goes into one
// ZIP archive, "ZTBackup.zip", in a folder the user chooses, and such an archive is put
// back over the data folder.
//
// A backup writes a temporary archive beside the old one, reads every entry of it back
// against the files it came from, and only then renames it over the old archive; any
// failure keeps the old archive and records no backup date. A restore checks every entry
// name before anything changes, extracts the whole archive into a temporary folder inside
// the data folder, checks that the extracted files are books that open (RestoreCheck.h),
// and then moves the files into place one by one, putting every replaced file back when a
// move fails.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "data/Dates.h"
#include "platform/Archive.h"
#include "platform/Prompter.h"

namespace invarro::maintenance {

// ------------------------------------------------------------------ the system's texts

inline constexpr std::string_view kArchiveName = "ZTBackup.zip";
inline constexpr std::string_view kLogName = "ztbklog.txt";
inline constexpr std::string_view kBackupFolderName = "Backup";
inline constexpr std::string_view kIniSection = "Backup";
inline constexpr std::string_view kIniKey = "Date";
inline constexpr std::string_view kHelpTopic = "Backup Data Files";

inline constexpr std::string_view kCaption = "Invarro Backup and Restore";
inline constexpr std::string_view kHelpText =
    "PLEASE READ THE ONLINE HELP FOR COMPLETE INSTRUCTIONS ON HOW TO PROPERLY BACKUP AND "
    "SAFEGUARD YOUR DATA FILES!";
inline constexpr std::string_view kBackupButton = "&Backup (Safe Guard) My Data Files...";
inline constexpr std::string_view kRestoreButton =
    "&Restore ( Replace My Files) From a Previous Backup...";
inline constexpr std::string_view kLocationLabel = "Backup Drive:";
inline constexpr std::string_view kAlsoBackupFolder =
    "Also backup files to BACKUP folder in this directory";
inline constexpr std::string_view kChooseFolderButton = "Select the backup location...";
inline constexpr std::string_view kChooseArchiveButton = "Select the ZTBackup.zip file...";
inline constexpr std::string_view kBackupHeading = "Backup Data Files";
inline constexpr std::string_view kRestoreHeading = "Restore Data Files";
inline constexpr std::string_view kBackupStatus = "Click the Backup Button to start backup...";
inline constexpr std::string_view kRestoreStatus = "Click the Restore Button to restore files...";
inline constexpr std::string_view kFolderBrowserTitle = "Please select a folder to backup to...";
inline constexpr std::string_view kArchiveBrowserTitle = "Please select the ZTBackup.zip file...";

platform::Message RestoreWarning();
platform::Message NoArchiveChosenMessage();
platform::Message RestoreConfirm(const std::string& archivePath);
platform::Message ArchiveNotFoundMessage();
platform::Message RestoreCompleteMessage();
platform::Message BackupCompleteMessage();
platform::Message BackupFailedMessage(const std::string& why);
platform::Message RestoreFailedMessage(const std::string& why);
platform::Message WarningMessage(const std::string& title, const std::string& why);

// ------------------------------------------------------------------ the date of the last backup

// The date stored in the INI file ("" when none).
std::string StoredBackupDate(const std::string& dataFolder);
// "Last Backup: " and the stored date as "mmm d, yyyy" (month first) or "d mmm, yyyy"; an
// empty or unreadable date gives an empty label.
std::string LastBackupLabel(std::string_view stored, data::DateOrder order);
// The main window's status after a backup: " Last System Backup: " and "mmm d, yyyy".
std::string MainStatusAfterBackup(const data::Date& today);

// ------------------------------------------------------------------ the chosen location

enum class Mode { Backup, Restore };
// A backup folder is any path longer than one character; a restore location must be a
// file named exactly "ZTBackup.zip" (any letter case).
bool AcceptLocation(Mode mode, std::string_view path);

// ------------------------------------------------------------------ file moves

// Renames files within the data folder or the backup folder. Tests replace it to make a
// move fail half way.
class FileMover {
  public:
    virtual ~FileMover() = default;
    // Renames from to to, replacing a file at to.
    virtual bool move(const std::string& from, const std::string& to, std::string* error);
};

// ------------------------------------------------------------------ backup

struct BackupRequest {
    std::string dataFolder;
    std::string targetFolder;
    bool alsoBackupFolder = false;  // copies of the ".DAT" files in dataFolder/Backup
    data::Date today;
    data::DateOrder dateOrder = data::DateOrder::MonthFirst;
};

struct BackupOutcome {
    bool ok = false;          // the archive is written, checked and in place
    std::string error;        // why not
    std::string warning;      // what went wrong after the archive was in place
    std::string archivePath;  // targetFolder/ZTBackup.zip
    std::size_t files = 0;    // entries in the archive
    std::string dateText;     // the date written to the INI file (short date)
};

// Writes, checks and places the archive, writes "ztbklog.txt" beside it, makes the extra
// copies when asked, and writes the date. status hears the progress.
BackupOutcome RunBackup(const BackupRequest& request, platform::Archive& archive, FileMover& mover,
                        const std::function<void(const std::string&)>& status = {});

// ------------------------------------------------------------------ restore

enum class RestoreStatus {
    Done,      // every entry is in place (an archive of no entries changes nothing)
    NotFound,  // no archive at the path: nothing changed
    Refused,   // the archive cannot be read, holds an entry that may not be restored, does
               // not fit on the disk, or brings books that do not open: nothing changed
    Failed,    // extraction or a move failed: nothing changed (or see error)
};

struct RestoreOutcome {
    RestoreStatus status = RestoreStatus::Failed;
    std::string error;
    std::size_t files = 0;
};

// What the restore needs from the program around it: the company's files are closed
// before any file is replaced and the company is opened again afterwards.
struct RestoreHooks {
    std::function<bool(std::string* error)> closeCompanyFiles;
    std::function<void()> reopenCompany;
    std::function<void(const std::string&)> status;
};

RestoreOutcome RunRestore(const std::string& dataFolder, const std::string& archivePath,
                          platform::Archive& archive, FileMover& mover, const RestoreHooks& hooks);

}  // namespace invarro::maintenance
