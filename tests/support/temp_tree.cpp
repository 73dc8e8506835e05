// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/temp_tree.h"

#include "platform/posix/temporary_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavrel::test {

namespace {

namespace fs = std::filesystem;

timespec toTimespec(int64_t ns)
{
    timespec time{};
    time.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    time.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return time;
}

void fail(const std::string& what, const std::string& path)
{
    throw std::runtime_error("tree builder: " + what + " " + path);
}

void makeParents(const std::string& root, const std::string& relative)
{
    const std::size_t slash = relative.rfind('/');
    if (slash != std::string::npos)
        fs::create_directories(root + relative.substr(0, slash));
}

// Removes `name` in the folder `parent` with everything in it, one level at a time through
// descriptors, so that read-only folders and paths longer than PATH_MAX go too.
void removeAt(int parent, const char* name)
{
    struct stat info
    {
    };
    if (::fstatat(parent, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    if (S_ISDIR(info.st_mode)) {
        // A volume without modes (FAT, some FUSE mounts) refuses, and its folders open anyway;
        // any other failure would leave the tree behind.
        if (::fchmodat(parent, name, 0755, 0) != 0 && errno != EPERM && errno != EOPNOTSUPP &&
            errno != ENOSYS)
            ADD_FAILURE() << "cannot open up " << name << " for removal: " << std::strerror(errno);
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
        if (fd >= 0) {
            std::vector<std::string> names;
            if (DIR* dir = ::fdopendir(::dup(fd))) {
                while (const dirent* found = ::readdir(dir))
                    if (std::string_view(found->d_name) != "." && std::string_view(found->d_name) != "..")
                        names.emplace_back(found->d_name);
                ::closedir(dir);
            }
            for (const std::string& child : names)
                removeAt(fd, child.c_str());
            ::close(fd);
        }
        ::unlinkat(parent, name, AT_REMOVEDIR);
    } else {
        ::unlinkat(parent, name, 0);
    }
}

} // namespace

Node file(std::string path, std::string content, int64_t mtimeNs, mode_t mode)
{
    return {std::move(path), NodeKind::File, std::move(content), mtimeNs, mode};
}

Node folder(std::string path, mode_t mode)
{
    return {std::move(path), NodeKind::Folder, {}, 0, mode};
}

Node symlink(std::string path, std::string linkText, int64_t mtimeNs)
{
    return {std::move(path), NodeKind::Symlink, std::move(linkText), mtimeNs, 0777};
}

Node fifo(std::string path)
{
    return {std::move(path), NodeKind::Fifo, {}, 0, 0644};
}

Node unixSocket(std::string path)
{
    return {std::move(path), NodeKind::Socket, {}, 0, 0755};
}

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/tavrel-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        fail("cannot make temporary folder", pattern);
    m_path = pattern + "/";
}

TempDir::~TempDir()
{
    removeAt(AT_FDCWD, m_path.substr(0, m_path.size() - 1).c_str());
}

void buildTree(const std::string& rootPath, const std::vector<Node>& nodes)
{
    const std::string root = rootPath.ends_with('/') ? rootPath : rootPath + "/";
    fs::create_directories(root);
    std::vector<const Node*> folders;
    for (const Node& node : nodes) {
        makeParents(root, node.path);
        const std::string path = root + node.path;
        switch (node.kind) {
        case NodeKind::File: {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0)
                fail("cannot create", path);
            const bool written = ::write(fd, node.content.data(), node.content.size()) ==
                                 static_cast<ssize_t>(node.content.size());
            ::close(fd);
            if (!written)
                fail("cannot write", path);
            break;
        }
        case NodeKind::Folder:
            fs::create_directories(path);
            folders.push_back(&node);
            break;
        case NodeKind::Symlink:
            if (::symlink(node.content.c_str(), path.c_str()) != 0)
                fail("cannot link", path);
            break;
        case NodeKind::Fifo:
            if (::mkfifo(path.c_str(), node.mode) != 0)
                fail("cannot make fifo", path);
            break;
        case NodeKind::Socket: {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            if (path.size() >= sizeof address.sun_path)
                fail("too long for a socket", path);
            path.copy(address.sun_path, path.size());
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool bound =
                fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            if (fd >= 0)
                ::close(fd);
            if (!bound)
                fail("cannot bind a socket at", path);
            break;
        }
        }
    }
    for (const Node& node : nodes) {
        const std::string path = root + node.path;
        if (node.kind == NodeKind::File || node.kind == NodeKind::Symlink) {
            const timespec times[2] = {toTimespec(node.mtimeNs), toTimespec(node.mtimeNs)};
            if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
                fail("cannot set time of", path);
        }
        if (node.kind == NodeKind::File && ::chmod(path.c_str(), node.mode) != 0)
            fail("cannot set mode of", path);
    }
    // Folder modes last: a read-only folder would refuse its own children.
    for (const Node* node : folders)
        ::chmod((root + node->path).c_str(), node->mode);
}

TreeSnapshot snapshotTree(const std::string& root)
{
    TreeSnapshot snapshot;
    std::error_code error;
    if (!fs::is_directory(root, error))
        return snapshot;
    const fs::path base(root);
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::end(it);
         it.increment(error)) {
        const std::string path = it->path().string();
        std::string relative = it->path().lexically_relative(base).string();
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        NodeState state;
        if (S_ISDIR(info.st_mode)) {
            state.kind = NodeKind::Folder;
        } else if (S_ISLNK(info.st_mode)) {
            state.kind = NodeKind::Symlink;
            state.content = fs::read_symlink(it->path(), error).string();
            state.mtimeNs = int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
        } else if (S_ISFIFO(info.st_mode)) {
            state.kind = NodeKind::Fifo;
        } else if (S_ISSOCK(info.st_mode)) {
            state.kind = NodeKind::Socket;
        } else {
            state.kind = NodeKind::File;
            state.content = readFile(path);
            state.mtimeNs = int64_t(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
            state.mode = info.st_mode & 07777;
        }
        snapshot[relative] = state;
    }
    return snapshot;
}

TreeSnapshot describeTree(const std::vector<Node>& nodes)
{
    TreeSnapshot snapshot;
    for (const Node& node : nodes) {
        for (std::size_t slash = node.path.find('/'); slash != std::string::npos;
             slash = node.path.find('/', slash + 1))
            snapshot[node.path.substr(0, slash)] = NodeState{NodeKind::Folder, {}, 0, 0};
        NodeState state;
        state.kind = node.kind;
        if (node.kind == NodeKind::File || node.kind == NodeKind::Symlink) {
            state.content = node.content;
            state.mtimeNs = node.mtimeNs;
        }
        if (node.kind == NodeKind::File)
            state.mode = node.mode;
        snapshot[node.path] = state;
    }
    return snapshot;
}

void PrintTo(const NodeState& state, std::ostream* out)
{
    static const char* const kinds[] = {"file", "folder", "link", "fifo"};
    *out << kinds[static_cast<int>(state.kind)];
    if (state.kind == NodeKind::File || state.kind == NodeKind::Symlink)
        *out << " \"" << state.content << "\" t=" << state.mtimeNs;
    if (state.kind == NodeKind::File)
        *out << " mode=" << std::oct << state.mode << std::dec;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << path;
}

void setTimes(const std::string& path, time_t seconds, long nanoseconds)
{
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct stat lstatOf(const std::string& path)
{
    struct stat st = {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

int temporaryLeftovers(const std::string& folder)
{
    int count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().filename().string().ends_with(platform::kTemporarySuffix))
            ++count;
    return count;
}

std::vector<std::string> readReportLines(const std::string& reportPath)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(reportPath));
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t marker = line.find("<strong>[");
        if (marker == std::string::npos)
            continue;
        std::string plain;
        bool inTag = false;
        for (char c : line) {
            if (c == '<')
                inTag = true;
            else if (c == '>' && inTag)
                inTag = false;
            else if (!inTag)
                plain.push_back(c);
        }
        for (const auto& [entity, text] : std::vector<std::pair<std::string, std::string>>{
                 {"&nbsp;", " "}, {"&gt;", ">"}, {"&lt;", "<"}, {"&quot;", "\""}, {"&amp;", "&"}}) {
            for (std::size_t at = plain.find(entity); at != std::string::npos;
                 at = plain.find(entity, at + text.size()))
                plain.replace(at, entity.size(), text);
        }
        lines.push_back(plain);
    }
    return lines;
}

} // namespace tavrel::test
