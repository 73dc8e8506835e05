// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/write_record.h"

#include "platform/forwarding_file_system.h"

#include <atomic>
#include <cstdint>
#include <utility>

namespace tavrel::cli {
namespace {

using platform::FsError;

std::string bare(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// Records each write and removal on its way to the inner file system; reads are forwarded.
class RecordingFileSystem final : public platform::ForwardingFileSystem
{
public:
    RecordingFileSystem(platform::FileSystem& inner, WrittenPaths& written,
                        std::unique_ptr<platform::FileSystem> view = nullptr)
        : ForwardingFileSystem(std::move(view), inner), m_written(written)
    {}

    // Listings change nothing here: the inner ones, counting and kinds-only lists included.
    FsError listFolderCounting(const std::string& folder, std::vector<platform::DirEntry>& entries,
                               int32_t& specialItems) override
    {
        return inner().listFolderCounting(folder, entries, specialItems);
    }
    FsError listKinds(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        return inner().listKinds(folder, entries);
    }
    FsError createFolder(const std::string& folder, const std::string& ownerFrom) override
    {
        note(folder);
        return inner().createFolder(folder, ownerFrom);
    }
    FsError copy(const std::string& source, const std::string& target,
                 const platform::CopyRequest& request) override
    {
        note(target);
        return inner().copy(source, target, request);
    }
    FsError makeNormal(const std::string& path) override
    {
        note(path);
        return inner().makeNormal(path);
    }
    FsError deleteItem(const std::string& path, bool toTrash) override
    {
        m_written.removed.insert(bare(path));
        return inner().deleteItem(path, toTrash);
    }
    FsError keepItem(const std::string& path, const std::string& destination,
                     platform::KeepMode mode) override
    {
        if (mode == platform::KeepMode::Move)
            m_written.removed.insert(bare(path));
        note(destination);
        return inner().keepItem(path, destination, mode);
    }
    FsError removeEmptyFolder(const std::string& path) override
    {
        m_written.removed.insert(bare(path));
        return inner().removeEmptyFolder(path);
    }
    // The pair's view of the inner file system, recorded the same way.
    std::unique_ptr<platform::FileSystem> confineTo(const std::vector<std::string>& roots,
                                                    FsError& error) override
    {
        std::unique_ptr<platform::FileSystem> view = inner().confineTo(roots, error);
        if (!view)
            return nullptr;
        return std::make_unique<RecordingFileSystem>(inner(), m_written, std::move(view));
    }

private:
    void note(const std::string& path) { m_written.made.insert(bare(path)); }

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
