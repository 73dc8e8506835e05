// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <ostream>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace tavrel::test {

// A fixed point in time for test trees, plus whole seconds: exact to the nanosecond.
inline constexpr int64_t kBaseTimeNs = 1'600'000'000'000'000'000;
inline constexpr int64_t at(int64_t seconds)
{
    return kBaseTimeNs + seconds * 1'000'000'000;
}

enum class NodeKind
{
    File,
    Folder,
    Symlink,
    Fifo,
    Socket, // a Unix socket bound there and left behind
};

// One item of a declarative tree. `path` is relative to the tree's root; missing parent
// folders are made as plain 0755 folders. For a link, `content` is the link text.
struct Node
{
    std::string path;
    NodeKind kind = NodeKind::File;
    std::string content;
    int64_t mtimeNs = at(0);
    mode_t mode = 0644;
};

Node file(std::string path, std::string content, int64_t mtimeNs = at(0), mode_t mode = 0644);
Node folder(std::string path, mode_t mode = 0755);
Node symlink(std::string path, std::string linkText, int64_t mtimeNs = at(0));
Node fifo(std::string path);
Node unixSocket(std::string path);

// A unique folder under TMPDIR (when absolute) or /tmp for one test, removed with everything in
// it, read-only folders and paths beyond PATH_MAX included.
class TempDir final
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder's path, ending with "/".
    const std::string& path() const { return m_path; }
    // `relative` inside the folder.
    std::string operator/(const std::string& relative) const { return m_path + relative; }

private:
    std::string m_path;
};

// Makes every node under `root` (created if missing). Times are set last, so that creating
// children does not disturb a folder's own content.
void buildTree(const std::string& root, const std::vector<Node>& nodes);

// What a tree holds, keyed by relative path: kinds, contents (link text for links), file and
// link times, and permission bits of files. Folder times are left out, since every change
// inside a folder moves them.
struct NodeState
{
    NodeKind kind = NodeKind::File;
    std::string content;
    int64_t mtimeNs = 0;
    mode_t mode = 0;

    bool operator==(const NodeState&) const = default;
};
using TreeSnapshot = std::map<std::string, NodeState>;

// The snapshot of the tree under `root`; missing root gives an empty snapshot.
TreeSnapshot snapshotTree(const std::string& root);
// The snapshot that `buildTree(root, nodes)` would produce, parent folders included.
TreeSnapshot describeTree(const std::vector<Node>& nodes);

void PrintTo(const NodeState& state, std::ostream* out);

// Lines of a run report reduced to plain text: "[A]path", "[C]from => to", "[O]from => to",
// "[D]path", in file order. Markup and entities are undone.
std::vector<std::string> readReportLines(const std::string& reportPath);

// The whole file, or "" when it cannot be read.
std::string readFile(const std::string& path);
// Creates or truncates `path` with `content`; a failure fails the test.
void writeFile(const std::string& path, const std::string& content);
// Sets the access and last-write times of `path` (a link itself, not what it points to).
void setTimes(const std::string& path, time_t seconds, long nanoseconds);
// lstat of `path`; a failure fails the test and gives a zeroed struct.
struct stat lstatOf(const std::string& path);
// Items below `folder`, at any depth, whose names look like leftovers of an interrupted copy.
int temporaryLeftovers(const std::string& folder);

} // namespace tavrel::test
