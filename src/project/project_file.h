// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/job.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace tavrel::project {

// Whole operations on project files. Each returns whether it succeeded, with no message of its
// own; the caller decides what the user sees.

// Checks the seal and adds the file's pairs to `job`, which should be empty. Seal and pairs
// come from one read of the file, so a file changed in between cannot slip past the check.
// After a failure the pairs read so far stay in the job; the caller clears it.
bool openProject(model::Job& job, const std::filesystem::path& path);

// Why openProject refused a file, for a front end that says more than "Failed to open".
enum class ProjectRefusal
{
    None,
    NotFound,         // no such file, or a folder on the way is missing
    PermissionDenied, // the file or a folder on the way may not be read
    NotAFile,         // a folder, FIFO, device or socket
    TooLarge,         // larger than any job of 100 pairs can be saved as
    NotAProjectFile,  // does not begin with the project banner
    NewerVersion,     // a project file of a format newer than this program reads
    DamagedSeal,      // the seal does not match the data (changed or cut short)
    DamagedContents,  // sealed, but its pairs cannot be read
    ReadFailed,       // any other failure of the system; see systemError
};

struct OpenFailure
{
    ProjectRefusal refusal = ProjectRefusal::None;
    int systemError = 0; // errno of a NotFound, PermissionDenied or ReadFailed; 0 otherwise
};

// openProject that also tells why a file was refused; `failure` is None after a success.
bool openProject(model::Job& job, const std::filesystem::path& path, OpenFailure& failure);

// The refusal in a few words for people ("no such file", "damaged: its seal does not match").
std::string refusalText(const OpenFailure& failure);

// Writes the sealed file for `job`. The file is written complete and sealed under a temporary
// name beside `path` and then renamed over it, so a failed save leaves the previous file as it
// was. Fails for a job holding a text no reader accepts (empty, or over 260 bytes in UTF-8).
bool saveProject(const model::Job& job, const std::filesystem::path& path);
// The same, with the system's error of a failed write in `error` (empty when the job itself
// cannot be stored, or after a success).
bool saveProject(const model::Job& job, const std::filesystem::path& path, std::error_code& error);

// Whether the seal stored in the file matches its data.
bool verifySeal(const std::filesystem::path& path);

// Computes the seal of an existing file and stores it in place.
bool writeSeal(const std::filesystem::path& path);

// Adds the file's pairs to `job` without looking at the seal.
bool readProject(model::Job& job, const std::filesystem::path& path);

// Writes the file for `job` with a zero placeholder for the seal, replacing `path` only once
// it is complete.
bool writeProject(const model::Job& job, const std::filesystem::path& path);

} // namespace tavrel::project
