// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/write_record.h"

namespace tavrel::cli {
namespace {

using platform::FsError;

std::string bare(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

class RecordingFileSystem final : public platform::FileSystem
{
public:
    RecordingFileSystem(platform::FileSystem& inner, WrittenPaths& written,
                        std::unique_ptr<platform::FileSystem> owned = nullptr)
        : m_owned(std::move(owned)), m_inner(m_owned ? *m_owned : inner), m_written(written)
    {}

    FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        return m_inner.listFolder(folder, entries);
    }
    FsError listFolderCounting(const std::string& folder, std::vector<platform::DirEntry>& entries,
                               int32_t& specialItems) override
    {
        return m_inner.listFolderCounting(folder, entries, specialItems);
    }
    FsError listKinds(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        return m_inner.listKinds(folder, entries);
    }
    FsError createFolder(const std::string& folder, const std::string& ownerFrom) override
    {
        note(folder);
        return m_inner.createFolder(folder, ownerFrom);
    }
    FsError readStamp(const std::string& path, platform::FileStamp& stamp) override
    {
        return m_inner.readStamp(path, stamp);
    }
    FsError copyCreateOnly(const std::string& source, const std::string& target,
                           const std::atomic<int32_t>* stopRequested) override
    {
        note(target);
        return m_inner.copyCreateOnly(source, target, stopRequested);
    }
    FsError copyOverwrite(const std::string& source, const std::string& target,
                          const platform::FileStamp* expected,
                          const std::atomic<int32_t>* stopRequested) override
    {
        note(target);
        return m_inner.copyOverwrite(source, target, expected, stopRequested);
    }
    FsError copyOverwriteKeepingOld(const std::string& source, const std::string& target,
                                    const platform::FileStamp* expected,
                                    const std::atomic<int32_t>* stopRequested) override
    {
        note(target);
        return m_inner.copyOverwriteKeepingOld(source, target, expected, stopRequested);
    }
    FsError makeNormal(const std::string& path) override
    {
        note(path);
        return m_inner.makeNormal(path);
    }
    std::unique_ptr<platform::FileReader> openForReading(const std::string& path, FsError& error) override
    {
        return m_inner.openForReading(path, error);
    }
    FsError deleteItem(const std::string& path, bool toTrash) override
    {
        m_written.removed.insert(bare(path));
        return m_inner.deleteItem(path, toTrash);
    }
    FsError keepItem(const std::string& path, const std::string& destination,
                     platform::KeepMode mode) override
    {
        if (mode == platform::KeepMode::Move)
            m_written.removed.insert(bare(path));
        note(destination);
        return m_inner.keepItem(path, destination, mode);
    }
    FsError removeEmptyFolder(const std::string& path) override
    {
        m_written.removed.insert(bare(path));
        return m_inner.removeEmptyFolder(path);
    }
    FsError realFolder(const std::string& folder, std::string& real) override
    {
        return m_inner.realFolder(folder, real);
    }
    void removeStaleTemporaries(const std::string& folder) override
    {
        m_inner.removeStaleTemporaries(folder);
    }
    std::unique_ptr<platform::FolderLock> lockFolder(const std::string& folder, FsError& error) override
    {
        return m_inner.lockFolder(folder, error);
    }
    FsError readLink(const std::string& path, std::string& text) override
    {
        return m_inner.readLink(path, text);
    }
    platform::VolumeTraits probeVolume(const std::string& folder,
                                       const platform::VolumeTraits* known) override
    {
        return m_inner.probeVolume(folder, known);
    }
    uint64_t volumeOf(const std::string& folder) override { return m_inner.volumeOf(folder); }
    bool liesOnVacantMountPoint(const std::string& folder) override
    {
        return m_inner.liesOnVacantMountPoint(folder);
    }
    FsError sameFolder(const std::string& a, const std::string& b, bool& same) override
    {
        return m_inner.sameFolder(a, b, same);
    }
    platform::MetadataRefusals refusedMetadata() const override { return m_inner.refusedMetadata(); }
    std::unique_ptr<platform::FileSystem> confineTo(const std::vector<std::string>& roots,
                                                    FsError& error) override
    {
        std::unique_ptr<platform::FileSystem> view = m_inner.confineTo(roots, error);
        if (!view)
            return nullptr;
        return std::make_unique<RecordingFileSystem>(m_inner, m_written, std::move(view));
    }

private:
    void note(const std::string& path) { m_written.made.insert(bare(path)); }

    std::unique_ptr<platform::FileSystem> m_owned; // a view of the inner file system
    platform::FileSystem& m_inner;
    WrittenPaths& m_written;
};

} // namespace

bool WrittenPaths::wrote(const std::string& path) const
{
    if (made.count(path) != 0)
        return true;
    // The path itself or a folder above it went.
    for (std::size_t end = path.size(); end != std::string::npos && end > 0; end = path.rfind('/', end - 1))
        if (removed.count(path.substr(0, end)) != 0)
            return true;
    return false;
}

std::unique_ptr<platform::FileSystem> recordWrites(platform::FileSystem& inner, WrittenPaths& written)
{
    return std::make_unique<RecordingFileSystem>(inner, written);
}

} // namespace tavrel::cli
