// SPDX-License-Identifier: GPL-3.0-or-later
// A folder of tens of thousands of files costs time in proportion to its size: matching ORG
// names against TGT names never scans one list per name of the other.
#include "support/engine_fixture.h"

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

// A folder in memory where there is one: the test measures the engine, not the disk.
std::string scratchRoot()
{
    struct stat st = {};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0)
        return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

void fillFolder(const std::string& folder, int count)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/f%06d", i);
        const int fd = ::open((folder + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
        const timespec times[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
        ::utimensat(AT_FDCWD, (folder + name).c_str(), times, 0);
    }
}

class LargeFolder : public EngineTest
{
protected:
    // Processor seconds (all threads) for Absolute Copy's re-run over `count` files that are
    // already in place: other work on the machine stretches wall time, not this.
    double rerunSeconds(const std::string& base, int count)
    {
        const std::string org = base + "/org" + std::to_string(count) + "/";
        const std::string tgt = base + "/tgt" + std::to_string(count) + "/";
        fillFolder(org, count);
        fillFolder(tgt, count);
        m_job.clear();
        addPair(SyncMethod::AbsoluteCopy, org, tgt);
        RecordingSink sink;
        const std::clock_t start = std::clock();
        runWith(sink);
        const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        EXPECT_EQ(m_state.allOperations.load(), 0) << sink.log().substr(0, 500);
        return seconds;
    }
};

TEST_F(LargeFolder, NoChangeRerunGrowsLinearlyWithTheFolder)
{
    const std::string base = scratchRoot() + "/tavrel-large-" + std::to_string(::getpid());
    struct Cleanup
    {
        std::string path;
        ~Cleanup() { std::filesystem::remove_all(path); }
    } cleanup{base};

    // Twice the entries: about twice the time when linear, four times when quadratic. The best
    // of two runs each keeps the page cache's moods from deciding.
    const double small = std::min(rerunSeconds(base, 25'000), rerunSeconds(base + "b", 25'000));
    const double large = std::min(rerunSeconds(base, 50'000), rerunSeconds(base + "b", 50'000));
    std::filesystem::remove_all(base + "b");
    RecordProperty("seconds_25000", std::to_string(small));
    RecordProperty("seconds_50000", std::to_string(large));
    EXPECT_LT(large / small, 3.0) << "25,000 entries: " << small << " s, 50,000 entries: " << large << " s";
}

} // namespace
} // namespace tavrel::test
