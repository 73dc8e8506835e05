// SPDX-License-Identifier: GPL-3.0-or-later
// A missing root is where a drive that is away shows first: it is made only where that drive
// cannot be meant, and never where the root existed when its pair last ran, unless the user
// says so.
#include "engine/root_guard.h"
#include "platform/forwarding_file_system.h"
#include "support/engine_fixture.h"
#include "support/hooked_file_system.h"
#include "support/scoped_env.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

const std::string kMissing = "ERROR: target folder is missing (is its drive connected?): ";

bool exists(const std::string& path)
{
    return std::filesystem::exists(path);
}

// Runs of one saved project, whose record of roots lives in a data folder of the test's own.
class RootGuardTest : public EngineTest
{
protected:
    RootGuardTest() : m_data("XDG_DATA_HOME", m_dir / "data") { m_jobFile = m_dir / "job.TSP"; }

    ScopedEnv m_data;
};

struct RecordedCase
{
    const char* name;
    SyncMethod method;
    bool removeOrg; // else TGT is removed
    bool answer;    // the front end's answer to "Create it?"
};

class MissingRecordedRoot : public RootGuardTest, public ::testing::WithParamInterface<RecordedCase>
{
};

// A root that existed when the first run ended and was removed before the second is not made
// again unless the front end says yes; the other side is left as it was.
TEST_P(MissingRecordedRoot, IsMadeOnlyWhenTheUserSaysSo)
{
    const RecordedCase& c = GetParam();
    buildTree(m_org, {file("a", "a", at(5))});
    buildTree(m_tgt, {}); // Synchronize reads TGT from its first run on
    addPair(c.method);
    ASSERT_EQ(run(), engine::RunResult::Succeeded);
    ASSERT_TRUE(exists(m_tgt + "a")) << m_sink.log();
    ASSERT_EQ(m_state.errors.load(), 0) << m_sink.log();

    const std::string removed = c.removeOrg ? m_org : m_tgt;
    std::filesystem::remove_all(removed);
    RecordingSink second;
    second.rootCreationAnswer = c.answer;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);

    ASSERT_EQ(second.rootQuestions().size(), 1u) << second.log();
    EXPECT_NE(second.rootQuestions().front().find(removed), std::string::npos);
    EXPECT_EQ(exists(removed), c.answer) << second.log();
    EXPECT_EQ(second.log().find(kMissing + removed + "\r\n") != std::string::npos, !c.answer) << second.log();
    if (!c.answer) {
        EXPECT_GE(m_state.errors.load(), 1);
    } else {
        EXPECT_EQ(readFile(m_org + "a"), "a");
        EXPECT_EQ(readFile(m_tgt + "a"), "a");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Roots, MissingRecordedRoot,
    ::testing::Values(RecordedCase{"CopyTargetNo", SyncMethod::Copy, false, false},
                      RecordedCase{"CopyTargetYes", SyncMethod::Copy, false, true},
                      RecordedCase{"MirrorTargetNo", SyncMethod::AbsoluteCopy, false, false},
                      RecordedCase{"SyncTargetNo", SyncMethod::Synchronize, false, false},
                      RecordedCase{"SyncOrgNo", SyncMethod::Synchronize, true, false},
                      RecordedCase{"SyncOrgYes", SyncMethod::Synchronize, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A root no run of this project has seen is made as always, without a question; a second run
// that has nothing to do changes nothing and asks nothing. A job never saved keeps no record.
TEST_F(RootGuardTest, NewRootIsMadeAndAQuietRunStaysQuiet)
{
    buildTree(m_org, {file("a", "a", at(5)), file("sub/b", "b", at(5))});
    addPair(SyncMethod::Synchronize);
    ASSERT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_TRUE(exists(m_tgt + "sub/b")) << m_sink.log();
    EXPECT_TRUE(m_sink.rootQuestions().empty());
    EXPECT_TRUE(exists(m_dir / "data/tavrel-sync/roots"));

    const TreeSnapshot org = snapshotTree(m_org);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(operations(), Ops{}.snapshot()) << second.log();
    EXPECT_EQ(m_state.errors.load(), 0) << second.log();
    EXPECT_TRUE(second.rootQuestions().empty());
    EXPECT_EQ(snapshotTree(m_org), org);
    EXPECT_EQ(snapshotTree(m_tgt), tgt);

    // Unsaved: the same removal is made good without a word.
    m_jobFile.clear();
    std::filesystem::remove_all(m_tgt);
    RecordingSink unsaved;
    EXPECT_EQ(runWith(unsaved), engine::RunResult::Succeeded);
    EXPECT_TRUE(exists(m_tgt + "sub/b")) << unsaved.log();
    EXPECT_TRUE(unsaved.rootQuestions().empty());
}

// A preview reads the record and refuses as the real run would, makes nothing and records
// nothing.
TEST_F(RootGuardTest, PreviewRefusesWithoutMakingAnything)
{
    buildTree(m_org, {file("a", "a", at(5))});
    addPair(SyncMethod::Copy);
    ASSERT_EQ(run(), engine::RunResult::Succeeded);
    std::filesystem::remove_all(m_tgt);

    RecordingSink preview;
    EXPECT_EQ(previewWith(preview), engine::RunResult::Succeeded);
    EXPECT_NE(preview.log().find(kMissing + m_tgt + "\r\n"), std::string::npos) << preview.log();
    EXPECT_FALSE(exists(m_tgt));
    EXPECT_GE(m_state.errors.load(), 1);
}

// Volumes as a table says, for the folders below `moving`: one number until `moved` is set,
// another after (a drive unmounted during the run leaves its mount point on the disk above).
class MovingVolumes final : public platform::ForwardingFileSystem
{
public:
    MovingVolumes(platform::FileSystem& inner, std::string moving)
        : ForwardingFileSystem(inner), m_moving(std::move(moving))
    {}

    uint64_t volumeOf(const std::string& folder) override
    {
        if (folder.compare(0, m_moving.size(), m_moving) != 0)
            return 1;
        return moved.load() ? 1 : 2;
    }

    std::atomic<bool> moved{false};

private:
    std::string m_moving;
};

// Pair 2's root is missing and the folder above it changed volume after the run started:
// nothing is made there. Without the change, it is made.
TEST_F(RootGuardTest, RootWhoseVolumeChangedDuringTheRunIsNotMade)
{
    buildTree(m_org, {file("a", "a", at(5))});
    for (const bool moves : {true, false}) {
        SCOPED_TRACE(moves ? "moved" : "stayed");
        const std::string mount = m_dir / (moves ? "mnt1/" : "mnt2/");
        buildTree(mount, {});
        m_job.clear();
        addPair(SyncMethod::Copy, m_org, m_dir / "first/", "One");
        addPair(SyncMethod::Copy, m_org, mount + "backup/", "Two");
        MovingVolumes volumes(m_posix, mount);
        HookedFileSystem fs(volumes);
        fs.beforeCopy = [&](const std::string&, const std::string& target) {
            if (moves && target.find("/first/") != std::string::npos)
                volumes.moved = true;
        };
        RecordingSink sink;
        EXPECT_EQ(runWith(sink, &fs), engine::RunResult::Succeeded);
        EXPECT_TRUE(exists(m_dir / "first/a"));
        EXPECT_EQ(exists(mount + "backup"), !moves) << sink.log();
        EXPECT_EQ(sink.log().find(kMissing + mount + "backup/\r\n") != std::string::npos, moves)
            << sink.log();
        EXPECT_TRUE(sink.rootQuestions().empty());
    }
}

struct FstabCase
{
    const char* name;
    std::string fstab; // "MNT" stands for the mount point folder
    bool refused;
};

class FstabMountPoint : public RootGuardTest, public ::testing::WithParamInterface<FstabCase>
{
};

// A root below a mount point that /etc/fstab names while nothing is mounted there is never
// made, in a real run or a preview; other fstab lines change nothing.
TEST_P(FstabMountPoint, RootBelowAnEmptyMountPoint)
{
    const FstabCase& c = GetParam();
    const std::string mount = m_dir / "usb drive";
    buildTree(mount + "/", {});
    buildTree(m_org, {file("a", "a", at(5))});
    std::string fstab = c.fstab;
    for (std::size_t at = fstab.find("MNT"); at != std::string::npos; at = fstab.find("MNT"))
        fstab.replace(at, 3, m_dir.path() + "usb\\040drive");
    writeFile(m_dir / "fstab", fstab);
    m_posix.setFileSystemTable(m_dir / "fstab");
    addPair(SyncMethod::Copy, m_org, mount + "/backup/night/");
    buildTree(mount + "/backup/", {});

    for (const bool preview : {true, false}) {
        SCOPED_TRACE(preview ? "preview" : "run");
        RecordingSink sink;
        EXPECT_EQ(preview ? previewWith(sink) : runWith(sink), engine::RunResult::Succeeded);
        EXPECT_EQ(sink.log().find(kMissing + mount + "/backup/night/\r\n") != std::string::npos, c.refused)
            << sink.log();
        EXPECT_EQ(exists(mount + "/backup/night/a"), !c.refused && !preview);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, FstabMountPoint,
    ::testing::Values(
        FstabCase{"NamedAndEmpty", "UUID=1 / ext4 defaults 0 1\n/dev/sdb1 MNT vfat noauto 0 0\n", true},
        FstabCase{"NamedWithTrailingSlash", "/dev/sdb1\tMNT/ vfat noauto 0 0", true},
        FstabCase{"CommentedOut", "# /dev/sdb1 MNT vfat noauto 0 0\n", false},
        FstabCase{"SwapAndRootOnly", "UUID=1 / ext4 defaults 0 1\n/swap none swap sw 0 0\n", false},
        FstabCase{"NoTable", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

// For real: a tmpfs target unmounted lazily between pair 1 and pair 2 leaves its bare mount
// point on the disk below; nothing is written there.
TEST_F(RootGuardTest, TargetUnmountedBetweenPairsIsNotWrittenToTheBareMountPoint)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const std::string mount = m_dir / "mnt";
    buildTree(mount + "/", {});
    if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct Unmount
    {
        const std::string& at;
        ~Unmount() { (void)::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mount};
    buildTree(mount + "/backup/", {file("old", "o", at(1))});
    buildTree(m_org, {file("a", "a", at(5))});
    addPair(SyncMethod::Copy, m_org, m_dir / "first/", "One");
    addPair(SyncMethod::Copy, m_org, mount + "/backup/", "Two");
    HookedFileSystem fs(m_posix);
    bool unmounted = false;
    fs.beforeCopy = [&](const std::string&, const std::string& target) {
        if (!unmounted && target.find("/first/") != std::string::npos)
            unmounted = ::umount2(mount.c_str(), MNT_DETACH) == 0;
    };

    EXPECT_EQ(run(&fs), engine::RunResult::Succeeded);
    ASSERT_TRUE(unmounted);
    EXPECT_TRUE(exists(m_dir / "first/a"));
    EXPECT_NE(m_sink.log().find(kMissing + mount + "/backup/\r\n"), std::string::npos) << m_sink.log();
    EXPECT_TRUE(std::filesystem::is_empty(mount)) << "written to the bare mount point";
    EXPECT_GE(m_state.errors.load(), 1);
}

} // namespace
} // namespace tavrel::test
