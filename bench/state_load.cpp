// SPDX-License-Identifier: GPL-3.0-or-later
// Size and load time of a remembered Synchronize state: writes a state of N entries (default a
// million, in folders of 1000) like a run would, then reads it back as the engine does (open,
// which checks the whole file's checksum, then folder by folder). Prints bytes per entry, the
// write time, the median of five loads and the peak resident memory.
//   tavrel-bench-state [FOLDER] [ENTRIES]
#include "state/sync_state.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace tavrel;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const long entries = argc > 2 ? std::atol(argv[2]) : 1'000'000;
    const std::filesystem::path file = folder / "tavrel-bench.state";
    constexpr long kPerFolder = 1000;

    state::StateHeader header;
    header.pairId[0] = 1;
    header.roots = {"/home/user/Documents", "/media/user/backup/Documents"};
    header.orgTraits.probed = header.tgtTraits.probed = true;

    // Realistic values: names of a common length, sizes of a few kB, times a few years apart
    // kept to the nanosecond, inodes of a large volume.
    const auto start = std::chrono::steady_clock::now();
    state::StateWriter writer;
    if (writer.open(file, header)) {
        std::perror("open");
        return 1;
    }
    for (long i = 0; i < entries; ++i) {
        if (i % kPerFolder == 0)
            writer.beginFolder(i == 0 ? std::string()
                                      : "projects/folder-" + std::to_string(i / kPerFolder) + "/");
        state::StateEntry entry;
        entry.name = "document-" + std::to_string(i) + ".odt";
        entry.size = 1000 + static_cast<uint64_t>(i * 7919 % 200'000);
        entry.orgTime = 16'000'000'000'000'000 + i * 1'234'567'891;
        entry.tgtTime = entry.orgTime;
        entry.orgInode = 5'000'000 + static_cast<uint64_t>(i);
        entry.tgtInode = 90'000'000 + static_cast<uint64_t>(i);
        writer.add(entry);
    }
    if (writer.commit()) {
        std::perror("commit");
        return 1;
    }
    const double writeSeconds = secondsSince(start);
    const auto bytes = std::filesystem::file_size(file);

    std::vector<double> loads;
    long read = 0;
    for (int run = 0; run < 5; ++run) {
        const auto loadStart = std::chrono::steady_clock::now();
        state::StateReader reader;
        if (reader.open(file, header.roots) != state::StateStatus::Ok) {
            std::fputs("the state did not open\n", stderr);
            return 1;
        }
        state::StateFolder one;
        read = 0;
        while (reader.nextFolder(one))
            read += static_cast<long>(one.entries.size());
        loads.push_back(secondsSince(loadStart));
    }
    std::sort(loads.begin(), loads.end());
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("entries %ld (read back %ld), file %ju bytes, %.1f bytes/entry\n", entries, read,
                static_cast<uintmax_t>(bytes), static_cast<double>(bytes) / static_cast<double>(entries));
    std::printf("write %.3f s, load median of 5 %.3f s (min %.3f, max %.3f), peak RSS %ld KiB\n",
                writeSeconds, loads[2], loads.front(), loads.back(), usage.ru_maxrss);
    std::filesystem::remove(file);
    return 0;
}
