// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/volume_probe.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <sched.h>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using tavrel::platform::probeVolume;
using tavrel::platform::VolumeTraits;
using tavrel::test::TempDir;

namespace {

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

VolumeTraits probePath(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << folder;
    const VolumeTraits traits = probeVolume(fd);
    ::close(fd);
    return traits;
}

// A scratch folder on the shared-memory tmpfs, where the machine has one.
std::string tmpfsFolder()
{
    char pattern[] = "/dev/shm/tavrel-probe-XXXXXX";
    return ::mkdtemp(pattern) != nullptr ? std::string(pattern) + "/" : std::string();
}

// ext4 (the temporary folder) and tmpfs keep everything: nanosecond times over the whole span,
// names apart by case, permission bits, link times. The probe leaves the folder as it was.
TEST(VolumeProbe, LocalFileSystemsKeepEverythingAndAreLeftAsTheyWere)
{
    TempDir scratch;
    std::vector<std::string> folders = {scratch.path()};
    const std::string shm = tmpfsFolder();
    if (!shm.empty())
        folders.push_back(shm);
    for (const std::string& folder : folders) {
        tavrel::test::writeFile(folder + "kept.txt", "content");
        tavrel::test::setTimes(folder + "kept.txt", 1'000'000'000, 5);
        ::chmod((folder + "kept.txt").c_str(), 0444);

        const VolumeTraits traits = probePath(folder);
        EXPECT_TRUE(traits.probed) << folder;
        EXPECT_EQ(traits.error, 0) << folder;
        EXPECT_EQ(traits.timePrecision, 1) << folder;
        EXPECT_EQ(traits.timeMin, std::numeric_limits<int64_t>::min()) << folder;
        EXPECT_EQ(traits.timeMax, std::numeric_limits<int64_t>::max()) << folder;
        EXPECT_FALSE(traits.caseInsensitive) << folder;
        EXPECT_TRUE(traits.timesSettable) << folder;
        EXPECT_TRUE(traits.linkTimesSettable) << folder;
        EXPECT_TRUE(traits.linksCreatable) << folder;
        EXPECT_TRUE(traits.permissionsSettable) << folder;

        EXPECT_EQ(namesIn(folder), std::set<std::string>{"kept.txt"}) << folder;
        const struct stat st = tavrel::test::lstatOf(folder + "kept.txt");
        EXPECT_EQ(st.st_mtim.tv_sec, 1'000'000'000);
        EXPECT_EQ(st.st_mtim.tv_nsec, 5);
        EXPECT_EQ(st.st_mode & 07777, 0444u);
    }
    if (!shm.empty())
        std::filesystem::remove_all(shm);
}

// The probe works on the folder the descriptor holds, not on its former path: after the folder
// is renamed and a plain file takes its name, it still probes (and cleans) the folder.
TEST(VolumeProbe, ProbesTheFolderTheDescriptorHolds)
{
    TempDir scratch;
    std::filesystem::create_directory(scratch / "first");
    const int fd = ::open((scratch / "first").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::filesystem::rename(scratch / "first", scratch / "moved");
    tavrel::test::writeFile(scratch / "first", "not a folder");
    const VolumeTraits traits = probeVolume(fd);
    ::close(fd);
    EXPECT_TRUE(traits.probed);
    EXPECT_TRUE(traits.permissionsSettable);
    EXPECT_TRUE(namesIn(scratch / "moved").empty());
    EXPECT_EQ(tavrel::test::readFile(scratch / "first"), "not a folder");
}

void expectDefaultsUnprobed(const VolumeTraits& traits, int error)
{
    VolumeTraits expected;
    expected.error = error;
    EXPECT_EQ(traits, expected);
}

// A descriptor where nothing can be created: not a folder at all, or a pseudo file system.
TEST(VolumeProbe, NothingCreatableGivesTheDefaultsUnprobed)
{
    TempDir scratch;
    tavrel::test::writeFile(scratch / "file", "x");
    const int file = ::open((scratch / "file").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    expectDefaultsUnprobed(probeVolume(file), ENOTDIR);
    ::close(file);

    expectDefaultsUnprobed(probeVolume(-1), EBADF);
}

// A read-only mount of a folder: as root, a read-only bind mount in a mount namespace of a
// child process (root ignores permission bits); otherwise a folder without write permission.
TEST(VolumeProbe, ReadOnlyFolderGivesTheDefaultsUnprobed)
{
    TempDir scratch;
    tavrel::test::writeFile(scratch / "kept.txt", "content");
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(scratch.path().c_str(), 0555), 0);
        expectDefaultsUnprobed(probePath(scratch.path()), EACCES);
        return;
    }
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        int step = 1;
        if (::unshare(CLONE_NEWNS) == 0 && ++step &&
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 && ++step &&
            ::mount(scratch.path().c_str(), scratch.path().c_str(), nullptr, MS_BIND, nullptr) == 0 &&
            ++step &&
            ::mount(nullptr, scratch.path().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) ==
                0) {
            const int fd = ::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            const VolumeTraits traits = probeVolume(fd);
            const bool written = ::write(pipeFds[1], &traits, sizeof traits) == sizeof traits;
            ::_exit(written ? 0 : 100);
        }
        ::_exit(10 + step);
    }
    ::close(pipeFds[1]);
    VolumeTraits traits;
    const ssize_t got = ::read(pipeFds[0], &traits, sizeof traits);
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) >= 10 && WEXITSTATUS(status) < 100)
        GTEST_SKIP() << "no read-only bind mount in a private mount namespace here (step "
                     << WEXITSTATUS(status) - 10 << " failed)";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof traits));
    expectDefaultsUnprobed(traits, EROFS);
    EXPECT_EQ(namesIn(scratch.path()), std::set<std::string>{"kept.txt"});
}

} // namespace
