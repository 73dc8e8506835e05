#include "platform/posix_trash.h"

#include "platform/posix_io.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::platform::posix {

namespace {

std::string joinPath(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

bool isInside(const std::string& path, const std::string& folder)
{
    return folder == "/" || path == folder || path.starts_with(folder + "/");
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

// The mount point that holds `path` (canonical): the longest one it lies inside, as Qt's
// storage lookup picks it.
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
        if (point.size() > best.size() && isInside(path, point))
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

bool makeTrash(const std::string& trash, bool withParents)
{
    if (!(withParents ? makeFolderWithParents(trash) : makeFolder(trash)))
        return false;
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
// info/ folders; empty when there is none to be had. The choice follows the freedesktop.org
// rules the mover applies: the home trash on the home file system, $topdir/.Trash/$uid when an
// administrator made a sticky $topdir/.Trash, $topdir/.Trash-$uid otherwise.
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
        return !trash.empty() && makeTrash(trash, true) ? trash : std::string();
    }
    const std::string uid = std::to_string(::getuid());
    const std::string shared = joinPath(itemRoot, ".Trash");
    struct stat st = {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const std::string trash = joinPath(shared, uid);
        if (makeFolder(trash))
            return makeTrash(trash, false) ? trash : std::string();
    }
    const std::string trash = joinPath(itemRoot, ".Trash-" + uid);
    return makeTrash(trash, false) ? trash : std::string();
}

// Whether `placed` is an absolute path directly inside `trash`/files.
bool landedIn(const std::string& placed, const std::string& trash)
{
    if (placed.empty() || placed.front() != '/')
        return false;
    const auto [folder, name] = splitFolderAndName(placed);
    if (name.empty() || name == "." || name == "..")
        return false;
    const std::optional<std::string> realFolder = canonical(folder);
    const std::optional<std::string> realFiles = canonical(trash + "/files");
    return realFolder && realFiles && *realFolder == *realFiles;
}

// Undoes a move that put the item somewhere else than the trash: the item goes back under its
// own name (never over something that took the name meanwhile), the record written beside it
// goes, and so do the files/ and info/ folders left empty (rmdir never removes more).
void putBack(const std::string& placed, const std::string& item)
{
    ::renameat2(AT_FDCWD, placed.c_str(), AT_FDCWD, item.c_str(), RENAME_NOREPLACE);
    const auto [files, name] = splitFolderAndName(placed);
    const auto [trash, filesName] = splitFolderAndName(files);
    if (filesName != "files")
        return; // not a trash layout: nothing else of it is the mover's
    ::unlink((trash + "info/" + name + ".trashinfo").c_str());
    ::rmdir(files.c_str());
    ::rmdir((trash + "info").c_str());
}

// Qt's trash. Qt names files by QString: a name that does not survive the round trip (bytes
// that are not UTF-8) would make it look for, or trash, some other item.
bool moveWithQt(const std::string& item, std::string& pathInTrash)
{
    const QByteArray bytes(item.data(), static_cast<qsizetype>(item.size()));
    const QString name = QFile::decodeName(bytes);
    if (QFile::encodeName(name) != bytes)
        return false;
    QString inTrash;
    if (!QFile::moveToTrash(name, &inTrash))
        return false;
    const QByteArray placed = QFile::encodeName(inTrash);
    pathInTrash.assign(placed.constData(), static_cast<std::size_t>(placed.size()));
    return true;
}

} // namespace

FsError moveToTrash(const std::string& path, const TrashMover& mover)
{
    if (!isUsablePath(path))
        return FsError::Other;
    std::string item = withoutTrailingSlash(path);
    if (item.front() != '/') {
        const std::optional<std::string> here = canonical(".");
        if (!here)
            return FsError::Other;
        item = joinPath(*here, item);
    }
    if (item == "/")
        return FsError::Other;
    struct stat st = {};
    if (::lstat(item.c_str(), &st) != 0)
        return errorFromErrno(errno);
    // The trash is picked by where the item really lies (through a link, as the mover does);
    // a dangling link lies nowhere and would be trashed into the working folder.
    const std::optional<std::string> real = canonical(item);
    if (!real)
        return FsError::Other;
    const std::string trash = prepareTrash(*real);
    if (trash.empty())
        return FsError::Other;

    std::string placed;
    if (!(mover ? mover(item, placed) : moveWithQt(item, placed)))
        return FsError::Other;
    if (landedIn(placed, trash))
        return FsError::Ok;
    putBack(placed, item);
    return FsError::Other;
}

} // namespace tavrel::platform::posix
