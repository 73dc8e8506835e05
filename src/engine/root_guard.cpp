// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/root_guard.h"

#include "engine/method_rules.h"
#include "platform/path_text.h"
#include "text/text_codec.h"

#include <utility>

namespace tavrel::engine {

namespace {

using platform::FsError;

} // namespace

RootGuard::RootGuard(platform::FileSystem& fs, RunProgress& progress, RunSink& sink,
                     std::unique_ptr<report::RootRecord> record, bool keepRecord)
    : m_fs(fs), m_progress(progress), m_sink(sink), m_record(std::move(record)), m_keepRecord(keepRecord)
{
    if (m_record)
        m_record->load();
}

uint64_t RootGuard::volumeAbove(const std::string& folder)
{
    std::string real;
    for (std::string current = folder; !current.empty(); current = std::string(platform::parentOf(current))) {
        if (m_fs.realFolder(current, real) == FsError::Ok)
            return m_fs.volumeOf(real);
        if (current == "/")
            break;
    }
    return 0;
}

void RootGuard::noteRunStart(const model::Job& job)
{
    m_startVolumes.clear();
    for (int slot = 0; slot < model::kMaxPairs; ++slot) {
        const model::FolderPair* pair = job.pairAt(slot);
        if (!pair || pair->enabled == 0)
            continue;
        std::vector<std::u16string> roots{pair->tgtPath};
        if (traitsOf(pair->method).walksBackFromTarget)
            roots.push_back(pair->orgPath);
        for (const std::u16string& root : roots) {
            const std::string folder = platform::asFolder(text::toUtf8(root));
            if (folder.size() > 1 && !platform::pathTooLong(folder) && !m_startVolumes.count(folder))
                m_startVolumes.emplace(folder, volumeAbove(folder));
        }
    }
}

void RootGuard::beginPair(int slot, const model::FolderPair& pair)
{
    m_slot = slot;
    m_pair = &pair;
    m_orgRoot = platform::asFolder(text::toUtf8(pair.orgPath));
    m_tgtRoot = platform::asFolder(text::toUtf8(pair.tgtPath));
}

void RootGuard::endPair()
{
    if (m_record && m_pair) {
        std::string real;
        if (m_fs.realFolder(m_tgtRoot, real) == FsError::Ok)
            m_record->noteExisting(m_slot, report::RootSide::Tgt, m_tgtRoot);
        if (traitsOf(m_pair->method).walksBackFromTarget && m_fs.realFolder(m_orgRoot, real) == FsError::Ok)
            m_record->noteExisting(m_slot, report::RootSide::Org, m_orgRoot);
    }
    m_pair = nullptr;
}

void RootGuard::finishRun()
{
    if (m_record && m_keepRecord)
        (void)m_record->save(); // a record that cannot be kept costs the run nothing
}

void RootGuard::refuse(const std::string& folder, const std::string& reason)
{
    platform::forgetLastFailure();
    m_progress.logError(
        "ERROR: target folder is missing (is its drive connected?): " + text::displayName(folder) + "\r\n",
        reason);
}

bool RootGuard::mayCreate(const std::string& folder)
{
    std::string real;
    if (m_pair == nullptr || m_fs.realFolder(folder, real) != FsError::NotFound)
        return true; // it exists, or making it fails and says so
    const auto started = m_startVolumes.find(folder);
    const uint64_t startVolume = started == m_startVolumes.end() ? 0 : started->second;
    const uint64_t nowVolume = volumeAbove(folder);
    if (startVolume != 0 && nowVolume != 0 && startVolume != nowVolume) {
        refuse(folder, "the folder above it is on another volume than when the run started");
        return false;
    }
    if (m_fs.liesOnVacantMountPoint(folder)) {
        refuse(folder, "it lies below a mount point of /etc/fstab where nothing is mounted");
        return false;
    }
    const report::RootSide side = folder == m_tgtRoot ? report::RootSide::Tgt : report::RootSide::Org;
    if (!m_record || !m_record->existed(m_slot, side, folder))
        return true;
    const std::string name = text::displayName(text::toUtf8(m_pair->name));
    const std::string question = "The folder " + text::displayName(folder) + " of pair " + name +
                                 " existed when the pair last ran and is missing now. Is its drive "
                                 "connected? Create it?";
    if (m_sink.ConfirmRootCreation(question))
        return true;
    refuse(folder, "it existed when this pair last ran; --create-missing creates it");
    return false;
}

} // namespace tavrel::engine
