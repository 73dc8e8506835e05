// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/file_system.h"
#include "platform/posix/posix_io.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Every operation of the file-system interface on a name inside a folder handle. The path-based
// file system and the view confined to a pair's roots differ only in how they open that handle.
namespace tavrel::platform::posix {

// Lists the folder open as `folder` (read access). Temporary files of ours are never listed;
// those unchanged for `staleAge` are removed on the way (zero: all of them).
// With `kindsOnly`, items are told apart by the folder's own type field, stat only where
// the volume does not fill it in; attributes, times and sizes stay zero. With `specialItems`,
// the FIFOs, sockets and devices left out are counted there.
FsError listFolderAt(int folder, std::vector<DirEntry>& entries, std::chrono::seconds staleAge,
                     bool kindsOnly = false, int32_t* specialItems = nullptr);

// Removes the leftover temporary files of `folder` unchanged for `staleAge`.
void removeStaleTemporariesAt(int folder, std::chrono::seconds staleAge);

// Makes the folder `name`; Exists when a folder already has the name, Other when anything
// else has it (a link to a folder included: it is never entered). Run by root, the new folder
// gets the owner of `ownerFrom` when given.
FsError createFolderAt(int parent, const std::string& name, const struct stat* ownerFrom);

FsError readStampAt(int parent, const std::string& name, FileStamp& stamp);
// The text of the link `name`: Other when it is no link.
FsError readLinkAt(int parent, const std::string& name, std::string& text);
FsError makeNormalAt(int parent, const std::string& name);
std::unique_ptr<FileReader> openForReadingAt(int parent, const std::string& name, FsError& error);

// flock on a fresh descriptor of the folder open as `folder` (another open file description,
// so two runs of one process exclude each other too), and shared ones on every folder above
// it: Exists also when the folder lies inside, or contains, a folder another run holds.
std::unique_ptr<FolderLock> lockFolderAt(int folder, FsError& error);

} // namespace tavrel::platform::posix
