// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/faulty_file_system.h"

#include <utility>

namespace tavrel::test {

using platform::FsError;

namespace {

class FaultyReader final : public platform::FileReader
{
public:
    FaultyReader(FaultyFileSystem& owner, std::unique_ptr<platform::FileReader> inner, std::string path)
        : m_owner(owner), m_inner(std::move(inner)), m_path(std::move(path))
    {}

    long read(void* buffer, std::size_t size) override
    {
        if (m_owner.nextCall(FaultyFileSystem::Operation::Read, m_path) != FsError::Ok)
            return -1;
        return m_inner->read(buffer, size);
    }

private:
    FaultyFileSystem& m_owner;
    std::unique_ptr<platform::FileReader> m_inner;
    std::string m_path;
};

} // namespace

void FaultyFileSystem::failNth(Operation operation, int n, FsError error)
{
    m_rules.push_back({operation, n, {}, error, {}});
}

void FaultyFileSystem::failMatching(Operation operation, std::string substring, FsError error,
                                    const platform::FailureNote& failure)
{
    m_rules.push_back({operation, 0, std::move(substring), error, failure});
}

void FaultyFileSystem::reset()
{
    m_rules.clear();
    for (std::atomic<int>& count : m_counts)
        count.store(0);
    m_withoutLocks = false;
}

FsError FaultyFileSystem::nextCall(Operation operation, const std::string& path, const std::string& otherPath)
{
    const int call = ++m_counts[index(operation)];
    for (const Rule& rule : m_rules) {
        if (rule.operation != operation)
            continue;
        if (rule.nth > 0 ? rule.nth == call
                         : path.find(rule.substring) != std::string::npos ||
                               (!otherPath.empty() && otherPath.find(rule.substring) != std::string::npos)) {
            platform::noteFailure(rule.failure);
            return rule.error;
        }
    }
    return FsError::Ok;
}

FsError FaultyFileSystem::listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries)
{
    if (FsError error = nextCall(Operation::List, folder); error != FsError::Ok) {
        entries.clear();
        return error;
    }
    return inner().listFolder(folder, entries);
}

FsError FaultyFileSystem::createFolder(const std::string& folder, const std::string& ownerFrom)
{
    if (FsError error = nextCall(Operation::CreateFolder, folder); error != FsError::Ok)
        return error;
    return inner().createFolder(folder, ownerFrom);
}

FsError FaultyFileSystem::readStamp(const std::string& path, platform::FileStamp& stamp)
{
    if (FsError error = nextCall(Operation::ReadStamp, path); error != FsError::Ok)
        return error;
    return inner().readStamp(path, stamp);
}

FsError FaultyFileSystem::copy(const std::string& source, const std::string& target,
                               const platform::CopyRequest& request)
{
    const Operation operation =
        request.mode == platform::CopyMode::CreateOnly ? Operation::CopyCreateOnly : Operation::CopyOverwrite;
    if (FsError error = nextCall(operation, source, target); error != FsError::Ok)
        return error;
    return inner().copy(source, target, request);
}

FsError FaultyFileSystem::makeNormal(const std::string& path)
{
    if (FsError error = nextCall(Operation::MakeNormal, path); error != FsError::Ok)
        return error;
    return inner().makeNormal(path);
}

std::unique_ptr<platform::FileReader> FaultyFileSystem::openForReading(const std::string& path,
                                                                       FsError& error)
{
    if ((error = nextCall(Operation::OpenForReading, path)) != FsError::Ok)
        return nullptr;
    auto reader = inner().openForReading(path, error);
    if (reader == nullptr)
        return nullptr;
    return std::make_unique<FaultyReader>(*this, std::move(reader), path);
}

FsError FaultyFileSystem::deleteItem(const std::string& path, bool toTrash)
{
    if (FsError error = nextCall(Operation::Delete, path); error != FsError::Ok)
        return error;
    return inner().deleteItem(path, toTrash);
}

FsError FaultyFileSystem::keepItem(const std::string& path, const std::string& destination,
                                   platform::KeepMode mode)
{
    if (FsError error = nextCall(Operation::Keep, path, destination); error != FsError::Ok)
        return error;
    return inner().keepItem(path, destination, mode);
}

FsError FaultyFileSystem::realFolder(const std::string& folder, std::string& real)
{
    if (FsError error = nextCall(Operation::RealFolder, folder); error != FsError::Ok)
        return error;
    return inner().realFolder(folder, real);
}

std::unique_ptr<platform::FolderLock> FaultyFileSystem::lockFolder(const std::string& folder, FsError& error)
{
    if ((error = nextCall(Operation::Lock, folder)) != FsError::Ok || m_withoutLocks)
        return nullptr;
    return inner().lockFolder(folder, error);
}

} // namespace tavrel::test
