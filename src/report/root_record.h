// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace tavrel::report {

// Which side of a pair a root is.
enum class RootSide
{
    Org,
    Tgt,
};

// The folder that holds the records: the user's data folder's "roots", beside the run history.
std::filesystem::path defaultRootRecordFolder();

// For one project file: the roots of its pairs that existed when each pair last ended. A root
// that existed then and is missing now is more likely a drive that is away than a folder to
// make. One small file per project, named by a digest of the project's path and holding that
// path, so two projects never share one.
class RootRecord final
{
public:
    // The record of the project file `jobFile` (made absolute; links and dots resolved where
    // they exist), kept in `folder`. Nothing is read yet.
    explicit RootRecord(const std::filesystem::path& jobFile,
                        std::filesystem::path folder = defaultRootRecordFolder());

    // Reads the record. A missing, unreadable, oversized or foreign file, a link in its place or
    // a folder that is a link gives an empty record: nothing is known of earlier runs.
    void load();

    // Whether `root` (as the pair names it) was the root on `side` of the pair in `slot` and
    // existed when that pair last ended.
    bool existed(int slot, RootSide side, const std::string& root) const;

    // `root` exists as the pair in `slot` ends; it replaces what was known of that side.
    void noteExisting(int slot, RootSide side, const std::string& root);

    // Writes the record to a temporary file beside it and renames it into place (the folder is
    // made if missing; never through a link). False when it could not be written. A record that
    // holds what its file held when it was loaded is not written again (true): most runs end
    // with the roots they started with, and each write is synced to the disk.
    bool save() const;

    // Where the record is kept.
    std::filesystem::path file() const;

private:
    std::string m_jobFile;
    std::filesystem::path m_folder;
    std::map<std::pair<int, RootSide>, std::string> m_roots;
    bool m_changed = true; // since the file was read, or never read
};

} // namespace tavrel::report
