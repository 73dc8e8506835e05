// SPDX-License-Identifier: GPL-3.0-or-later
// Opens a project file from arbitrary bytes: the seal check, then the reader. A fuzzer rarely
// forges an MD5 seal, so the first byte chooses whether the input is resealed before the
// check; either way the reader is reached, and what it accepts must survive a write and a
// second read unchanged.
#include "model/job.h"
#include "project/project_codec.h"
#include "project/seal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using namespace tavrel;

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "project_open: %s\n", what);
        std::abort();
    }
}

void reseal(std::vector<uint8_t>& file)
{
    if (file.size() < project::kSealedDataOffset)
        return;
    const auto seal =
        project::computeSeal(std::span<const uint8_t>(file).subspan(project::kSealedDataOffset));
    check(seal.has_value(), "seal not computed");
    std::copy(seal->begin(), seal->end(), file.begin() + project::kSealOffset);
}

// Names are cut to their 20-byte field at a character boundary when written, so only the
// second write of a pair is expected to repeat the first one byte for byte.
void checkRoundTrip(const model::Job& job)
{
    const auto first = project::encodeProject(job);
    if (!first)
        return; // a text grew past 260 bytes as UTF-8: the writer refuses it
    model::Job reread;
    check(project::readProjectBytes(reread, *first), "written file not readable");
    check(reread.count() == job.count(), "pair count changed");
    for (int slot = 0; slot < job.count(); ++slot) {
        model::FolderPair expected = *job.pairAt(slot);
        expected.name = reread.pairAt(slot)->name;
        check(*reread.pairAt(slot) == expected, "pair changed by a write and a read");
    }
    const auto second = project::encodeProject(reread);
    check(second.has_value() && *second == *first, "second write differs");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool resealFirst = (data[0] & 1) != 0;
    std::vector<uint8_t> file(data + 1, data + size);
    if (resealFirst)
        reseal(file);

    const bool sealed = project::hasValidSeal(file);
    if (resealFirst && file.size() >= project::kSealedDataOffset)
        check(sealed, "resealed file refused");

    model::Job job;
    if (project::readProjectBytes(job, file))
        checkRoundTrip(job);
    return 0;
}
