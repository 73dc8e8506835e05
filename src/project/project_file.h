#pragma once

#include "model/job.h"

#include <filesystem>

namespace tavrel::project {

// Whole operations on project files. Each returns 1 on success and 0 on any failure, with no
// message of its own; the caller decides what the user sees.

// Checks the seal and adds the file's pairs to `job`, which should be empty. Seal and pairs
// come from one read of the file, so a file changed in between cannot slip past the check.
// After a failure the pairs read so far stay in the job; the caller clears it.
int openProject(model::Job& job, const std::filesystem::path& path);

// Writes the sealed file for `job`. The file is written complete and sealed under a temporary
// name beside `path` and then renamed over it, so a failed save leaves the previous file as it
// was. Fails for a job holding a text no reader accepts (empty, or over 260 bytes in UTF-8).
int saveProject(const model::Job& job, const std::filesystem::path& path);

// Whether the seal stored in the file matches its data.
int verifySeal(const std::filesystem::path& path);

// Computes the seal of an existing file and stores it in place.
int writeSeal(const std::filesystem::path& path);

// Adds the file's pairs to `job` without looking at the seal.
int readProject(model::Job& job, const std::filesystem::path& path);

// Writes the file for `job` with a zero placeholder for the seal, replacing `path` only once
// it is complete.
int writeProject(const model::Job& job, const std::filesystem::path& path);

} // namespace tavrel::project
