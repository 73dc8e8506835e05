// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "engine/run_progress.h"
#include "engine/run_sink.h"
#include "model/folder_pair.h"
#include "model/job.h"
#include "platform/file_system.h"
#include "report/root_record.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

namespace tavrel::engine {

// Decides whether a pair may make a root folder that is missing. A missing root is where an
// unplugged drive shows first: making it would put the copies into the bare mount-point
// folder on the disk above. So a root is made only where
// - the nearest folder that exists above it is on the volume it was on when the run started
//   (a drive that went away during the run leaves its mount point on another volume),
// - nothing above it is a mount point that /etc/fstab names with nothing mounted there, and
// - it did not exist when the pair last ended; if it did, the front end is asked
//   (RunSink::ConfirmRootCreation), as the user may have removed it on purpose.
// A refusal is one "ERROR: target folder is missing (is its drive connected?): " line, with
// the reason on the side. The same holds for ORG where the method writes back into it.
class RootGuard final
{
public:
    // `record`: what earlier runs of the project left, or nullptr when nothing is known (a job
    // never saved). `keepRecord`: whether finishRun writes it back (not for a preview).
    RootGuard(platform::FileSystem& fs, RunProgress& progress, RunSink& sink,
              std::unique_ptr<report::RootRecord> record, bool keepRecord);

    // Before the first pair: notes the volume of each root the enabled pairs may make (TGT, and
    // ORG where the method walks back), through its nearest existing folder.
    void noteRunStart(const model::Job& job);

    // The pair in `slot` starts; at its end, its roots that exist are recorded.
    void beginPair(int slot, const model::FolderPair& pair);
    void endPair();

    // Writes the record back, when one is kept.
    void finishRun();

    // Whether the root `folder` (one of the current pair's roots, ending with "/") may be made.
    // True when it exists. When false, the error line has been logged.
    bool mayCreate(const std::string& folder);

private:
    // The volume of the nearest folder that exists at or above `folder`; 0 when unknown.
    uint64_t volumeAbove(const std::string& folder);
    void refuse(const std::string& folder, const std::string& reason);

    platform::FileSystem& m_fs;
    RunProgress& m_progress;
    RunSink& m_sink;
    std::unique_ptr<report::RootRecord> m_record;
    bool m_keepRecord = false;
    std::unordered_map<std::string, uint64_t> m_startVolumes;
    int m_slot = -1;
    const model::FolderPair* m_pair = nullptr;
    std::string m_orgRoot;
    std::string m_tgtRoot;
};

} // namespace tavrel::engine
