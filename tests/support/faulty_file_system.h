// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/forwarding_file_system.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace tavrel::test {

// Wraps a real file system and makes chosen calls fail, to drive the engine through errors
// it cannot meet on demand on a healthy disk: disk full on the n-th copy, a read error in a
// comparison, a refused delete. Calls that are not made to fail reach the wrapped system.
class FaultyFileSystem final : public platform::ForwardingFileSystem
{
public:
    enum class Operation
    {
        List,
        CreateFolder,
        ReadStamp,
        CopyCreateOnly,
        CopyOverwrite,
        MakeNormal,
        OpenForReading,
        Delete,
        Read, // one FileReader::read call of any reader this wrapper opened
        RealFolder,
        Lock,
        Keep, // keepItem, by its source and destination
    };

    explicit FaultyFileSystem(platform::FileSystem& inner) : ForwardingFileSystem(inner) {}

    // The n-th call of `operation` (1-based, counted from construction or the last reset)
    // returns `error` without reaching the wrapped system. A failed Read returns -1.
    void failNth(Operation operation, int n, platform::FsError error);
    // Every call of `operation` whose path (source or target for copies) contains `substring`
    // returns `error`, with `failure` as the thread's last failure (none by default: an
    // injected failure has no system reason). For Read, the path is the one the reader was
    // opened with.
    void failMatching(Operation operation, std::string substring, platform::FsError error,
                      const platform::FailureNote& failure = {});
    // Every delete returns AccessDenied and removes nothing.
    void refuseDeletes() { failMatching(Operation::Delete, "", platform::FsError::AccessDenied); }
    // Every lock gives no handle and no error, as on a file system without locks.
    void withoutLocks() { m_withoutLocks = true; }
    // The volume this file system pretends to be, as a probe would find it.
    void pretendVolume(const platform::VolumeTraits& traits) { m_traits = traits; }
    // Copies report these metadata refusals once they have happened (the content is kept).
    void refuseMetadata(const platform::MetadataRefusals& refusals) { m_refusals = refusals; }
    // Calls of `operation` made so far, failed ones included.
    int callCount(Operation operation) const { return m_counts[index(operation)]; }
    // Forgets every rule and zeroes the counts.
    void reset();

    platform::FsError listFolder(const std::string& folder,
                                 std::vector<platform::DirEntry>& entries) override;
    platform::FsError createFolder(const std::string& folder, const std::string& ownerFrom = {}) override;
    platform::FsError readStamp(const std::string& path, platform::FileStamp& stamp) override;
    // Counted and failed as CopyCreateOnly or CopyOverwrite by the request's mode.
    platform::FsError copy(const std::string& source, const std::string& target,
                           const platform::CopyRequest& request) override;
    platform::FsError makeNormal(const std::string& path) override;
    std::unique_ptr<platform::FileReader> openForReading(const std::string& path,
                                                         platform::FsError& error) override;
    platform::FsError deleteItem(const std::string& path, bool toTrash) override;
    platform::FsError keepItem(const std::string& path, const std::string& destination,
                               platform::KeepMode mode) override;
    platform::FsError realFolder(const std::string& folder, std::string& real) override;
    std::unique_ptr<platform::FolderLock> lockFolder(const std::string& folder,
                                                     platform::FsError& error) override;
    platform::VolumeTraits probeVolume(const std::string& folder,
                                       const platform::VolumeTraits* known) override
    {
        (void)folder;
        return known != nullptr ? *known : m_traits;
    }
    platform::MetadataRefusals refusedMetadata() const override
    {
        const bool copied = callCount(Operation::CopyCreateOnly) + callCount(Operation::CopyOverwrite) > 0;
        return copied ? m_refusals : platform::MetadataRefusals{};
    }

    // Counts a call and returns the injected error for it, or Ok to let it through.
    platform::FsError nextCall(Operation operation, const std::string& path,
                               const std::string& otherPath = {});

private:
    static constexpr std::size_t kOperationCount = static_cast<std::size_t>(Operation::Keep) + 1;
    static std::size_t index(Operation operation) { return static_cast<std::size_t>(operation); }

    struct Rule
    {
        Operation operation;
        int nth = 0; // 0: match by substring instead
        std::string substring;
        platform::FsError error;
        platform::FailureNote failure;
    };

    std::vector<Rule> m_rules;
    // Readers of large files are read on two threads at once.
    std::array<std::atomic<int>, kOperationCount> m_counts = {};
    bool m_withoutLocks = false;
    platform::VolumeTraits m_traits;
    platform::MetadataRefusals m_refusals;
};

} // namespace tavrel::test
