// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_trash.h"

#include "platform/path_text.h"
#include "platform/posix/fd_io.h"
#include "platform/posix/posix_io.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform::posix {

namespace {

constexpr const char* kNoTrashHere = "no trash to be had on the item's volume";
constexpr const char* kNoRecord = "the trash's record could not be written";

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::optional<std::string> canonical(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string result = resolved;
    std::free(resolved);
    return result;
}

bool isFolder(const std::string& path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Mount points escape blanks, tabs, line breaks and backslashes as octal.
std::string unescapeMountField(const std::string& field)
{
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                result += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        result += field[i];
    }
    return result;
}

// The mount point that holds `path` (canonical): the longest one it lies inside.
std::string mountRootOf(const std::string& path)
{
    std::ifstream mounts("/proc/self/mounts");
    std::string best = "/";
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string point;
        if (!(fields >> device >> point))
            continue;
        point = unescapeMountField(point);
        if (point.size() > best.size() && isAtOrBelow(path, point))
            best = point;
    }
    return best;
}

// A folder of the trash: made with mode 0700 unless a folder is there already.
bool makeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    return errno == EEXIST && isFolder(path);
}

bool makeFolderWithParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        if (!makeFolder(path.substr(0, slash)))
            return false;
    return makeFolder(path);
}

// A user's trash at the top of a shared volume: made 0700, or, when something is there, taken
// only as a folder (not a link) that belongs to this user. Another user who made it first
// would otherwise be handed everything this one deletes.
bool makeOwnFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    struct stat st = {};
    return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid();
}

// The trash's files/ and info/ folders, inside a trash folder that is there.
bool makeTrashParts(const std::string& trash)
{
    return makeFolder(trash + "/files") && makeFolder(trash + "/info");
}

// The user's home trash, $XDG_DATA_HOME/Trash or ~/.local/share/Trash; empty when neither
// names an absolute folder (a relative one would be taken from the working folder).
std::string homeTrash()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] != '\0')
        return dataHome[0] == '/' ? joinPath(withoutTrailingSlash(dataHome), "Trash") : std::string();
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return joinPath(withoutTrailingSlash(home), ".local/share/Trash");
}

// The trash folder that the item at `canonicalItem` goes to, made ready with its files/ and
// info/ folders; empty when there is none to be had. The freedesktop.org rules: the home trash
// on the home file system, $topdir/.Trash/$uid when an administrator made a sticky
// $topdir/.Trash, $topdir/.Trash-$uid otherwise. The one place that chooses, and nothing checks
// it afterwards: it sees the folder's real path as its handle gives it, not a path text the
// kernel would resolve again through links, and the move is one rename from that handle, which
// fails (EXDEV) rather than copy when the choice is on another volume.
std::string prepareTrash(const std::string& canonicalItem)
{
    const char* home = std::getenv("HOME");
    const std::optional<std::string> realHome =
        home != nullptr && home[0] == '/' ? canonical(home) : std::nullopt;
    if (!realHome)
        return {};
    const std::string itemRoot = mountRootOf(canonicalItem);
    if (itemRoot == mountRootOf(*realHome)) {
        const std::string trash = homeTrash();
        return !trash.empty() && makeFolderWithParents(trash) && makeTrashParts(trash) ? trash
                                                                                       : std::string();
    }
    const std::string uid = std::to_string(::getuid());
    const std::string shared = joinPath(itemRoot, ".Trash");
    struct stat st = {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const std::string trash = joinPath(shared, uid);
        if (makeOwnFolder(trash))
            return makeTrashParts(trash) ? trash : std::string();
    }
    const std::string trash = joinPath(itemRoot, ".Trash-" + uid);
    return makeOwnFolder(trash) && makeTrashParts(trash) ? trash : std::string();
}

// The folder open as `folder`, as an absolute path without links; empty when it cannot be told.
std::string pathOfFolder(int folder)
{
    int error = 0;
    const std::string path = readLinkText(AT_FDCWD, "/proc/self/fd/" + std::to_string(folder), 0, error);
    return error == 0 && path.starts_with('/') ? path : std::string();
}

// The original place as a trash record keeps it: bytes outside the unreserved set of URLs are
// %-escaped, so any name (line breaks, bytes that are not UTF-8) survives the record.
std::string escapeTrashPath(const std::string& path)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 || std::strchr("/-_.!~*'()", c) != nullptr) {
            escaped += c;
        } else {
            escaped += '%';
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 15];
        }
    }
    return escaped;
}

std::string localDeletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Reserves a name in the trash by creating its record exclusively: "name", then "name.2", ...
// The record's descriptor is returned open with the chosen name in `trashName`. Not a
// temporary name: other trash tools show and restore the item under this one.
UniqueFd reserveTrashName(int info, const std::string& name, std::string& trashName)
{
    for (int attempt = 1; attempt < 1000; ++attempt) {
        trashName = attempt == 1 ? name : name + "." + std::to_string(attempt);
        if (trashName.size() + 10 > 255)
            trashName = trashName.substr(trashName.size() + 10 - 255); // keep the distinguishing end
        const std::string record = trashName + ".trashinfo";
        UniqueFd fd(retryOnEintr([&] {
            return ::openat(info, record.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        }));
        if (fd.valid() || errno != EEXIST)
            return fd;
    }
    return UniqueFd();
}

} // namespace

FsError moveToTrashAt(int folder, const std::string& name, const ForeignFolders& foreign)
{
    if (!isPlainName(name))
        return FsError::Other;
    struct stat st = {};
    if (::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errorFromErrno(errno);
    if (isForeign(st, foreign))
        return FsError::Overlap;
    // The item itself is never followed: a link goes to the trash of the folder it is in.
    const std::string folderPath = pathOfFolder(folder);
    if (folderPath.empty())
        return FsError::Other;
    const std::string item = joinPath(folderPath, name);
    errno = 0;
    const std::string trash = prepareTrash(item);
    if (trash.empty()) {
        const int error = errno;
        return error == ENOSPC || error == EDQUOT
                   ? errorFromErrno(error)
                   : failedBecause(FsError::Other, FailedSide::Target, kNoTrashHere);
    }
    UniqueFd files(retryOnEintr(
        [&] { return ::open((trash + "/files").c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    UniqueFd info(retryOnEintr(
        [&] { return ::open((trash + "/info").c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!files.valid() || !info.valid())
        return failedBecause(FsError::Other, FailedSide::Target, kNoTrashHere);
    // A trash on another volume is never used: the move could only be a copy, and a volume
    // that went away (lazily unmounted) shows its folders under the root file system's paths.
    struct stat trashSt = {};
    if (::fstat(files.get(), &trashSt) != 0 || trashSt.st_dev != st.st_dev)
        return failedBecause(FsError::Other, FailedSide::Target, kNoTrashHere);

    std::string trashName;
    UniqueFd record = reserveTrashName(info.get(), name, trashName);
    if (!record.valid())
        return errno == ENOSPC || errno == EDQUOT
                   ? errorFromErrno(errno)
                   : failedBecause(FsError::Other, FailedSide::Target, kNoRecord);
    const std::string recordName = trashName + ".trashinfo";
    const std::string text =
        "[Trash Info]\nPath=" + escapeTrashPath(item) + "\nDeletionDate=" + localDeletionDate() + "\n";
    int error = writeAll(record.get(), {reinterpret_cast<const uint8_t*>(text.data()), text.size()}).value();
    if (error == 0)
        error = record.close();
    if (error != 0) {
        ::unlinkat(info.get(), recordName.c_str(), 0);
        return error == ENOSPC || error == EDQUOT
                   ? errorFromErrno(error)
                   : failedBecause(FsError::Other, FailedSide::Target, kNoRecord);
    }
    // One rename, from the item's own folder handle: the item leaves whole or not at all, and
    // nothing outside that folder is touched on the way. Another file system (EXDEV) means
    // there is no trash to be had here: nothing is deleted.
    if (renameWithoutReplacing(folder, name, files.get(), trashName) != 0) {
        error = errno;
        ::unlinkat(info.get(), recordName.c_str(), 0);
        return error == EXDEV ? failedBecause(FsError::Other, FailedSide::Target, kNoTrashHere)
                              : errorFromErrno(error);
    }
    return FsError::Ok;
}

} // namespace tavrel::platform::posix
