// A demo installation in a temporary data folder, a second folder for the archive, the
// real ZIP archive, and helpers to snapshot a folder and to make archives with python3.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "app/Demo.h"
#include "data/Files.h"
#include "maintenance/Backup.h"
#include "maintenance/FileSet.h"
#include "platform/zip/ZipArchive.h"
#include "storage/Engine.h"
#include "support/Command.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

namespace invarro::maintenance {

// Every file under a folder (sub-folders included) with its bytes; links as "-> target".
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = fs::relative(e.path(), folder).string();
        if (e.is_symlink())
            files[rel] = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_regular_file())
            files[rel] = testing::ReadFileBytes(e.path().string());
        else
            files[rel + "/"] = "";
    }
    return files;
}

// Runs a python3 script with the given arguments; its exit status.
inline int Python(const std::string& script, const std::string& args) {
    testing::TempDir dir;
    const std::string file = dir.file("make.py");
    testing::WriteFileBytes(file, script);
    return testing::RunCommand("python3 " + testing::ShellQuote(file) + " " + args).status;
}

class BackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedFloor_ = storage::PoolFloor();
        storage::SetPoolFloor(0);
        ASSERT_EQ(storage::InitEngine(30), 30);
        app::InstallResult made = app::CreateDemoInstallation(data.path(), prompter);
        ASSERT_TRUE(made.ok) << made.message;
        storage::ExitEngine();
        // The side files the masks miss, and files that are not the program's.
        testing::WriteFileBytes(data.file("Shadeclr.fnt"), std::string(48, '\x11'));
        testing::WriteFileBytes(data.file("InvBoxClr.fnt"), std::string(48, '\x22'));
        testing::WriteFileBytes(data.file("invarro.ini"), "[MainForm]\r\nTop=10\r\n");
        testing::WriteFileBytes(data.file("SAVELINE.SAV"), "saved lines");
        testing::WriteFileBytes(data.file("notes.txt"), "not a data file");
    }
    void TearDown() override {
        if (storage::EngineStarted()) storage::ExitEngine();
        storage::SetPoolFloor(savedFloor_);
    }

    BackupRequest request(bool alsoBackupFolder = false) const {
        BackupRequest r;
        r.dataFolder = data.path();
        r.targetFolder = target.path();
        r.alsoBackupFolder = alsoBackupFolder;
        r.today = {2026, 3, 4};
        r.dateOrder = data::DateOrder::MonthFirst;
        return r;
    }
    BackupOutcome backup(platform::Archive& a, bool alsoBackupFolder = false) {
        FileMover mover;
        return RunBackup(request(alsoBackupFolder), a, mover);
    }
    std::string archivePath() const { return target.file("ZTBackup.zip"); }

    // The files of the set with their bytes.
    std::map<std::string, std::string> setFiles() const {
        std::map<std::string, std::string> files;
        for (const std::string& name : CollectFileSet(data.path()))
            files[name] = testing::ReadFileBytes(data.file(name));
        return files;
    }

    testing::TempDir data;
    testing::TempDir target;
    testing::ScriptedPrompter prompter;
    platform::zip::ZipArchive zip;
    int savedFloor_ = 0;
};

}  // namespace invarro::maintenance
