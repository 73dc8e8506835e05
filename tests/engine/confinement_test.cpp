// SPDX-License-Identifier: GPL-3.0-or-later
// Another program may change the trees while a pair runs: a folder turns into a link to some
// other place, or one root turns out to be the other one under a second name. The run must then
// read, write and delete nothing outside the pair.
#include "support/engine_fixture.h"
#include "support/hooked_file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;

const std::string kSecret = "secret outside the pair";

// Replaces the folder `path` (no trailing "/") by a link to `elsewhere`; the folder itself is
// kept beside it, as a program that moves things around would leave it.
void swapForLink(const std::string& path, const std::string& elsewhere)
{
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    ASSERT_EQ(std::rename(path.c_str(), (path + ".moved").c_str()), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), path.c_str()), 0);
}

bool holdsContent(const TreeSnapshot& tree, const std::string& content)
{
    for (const auto& [path, state] : tree)
        if (state.content == content)
            return true;
    return false;
}

enum class Moment
{
    TargetFolderAtItsTask, // the target subfolder, right before the task makes it
    SourceFolderAfterParentListed,
    TargetFolderBeforeCopy, // between the decision and the copy into it
};

struct SwapCase
{
    SyncMethod method;
    Moment moment;
    bool backwards; // Synchronize's way back: the swapped folder is in ORG
};

class FolderSwap : public EngineTest, public ::testing::WithParamInterface<SwapCase>
{
};

TEST_P(FolderSwap, NothingOutsideThePairIsReadWrittenOrDeleted)
{
    const SwapCase c = GetParam();
    const std::string outside = m_dir / "outside/";
    buildTree(outside, {file("secret", kSecret), file("keep/x", "x"), file("f1", "mine")});
    // Both sides hold zz/ with files the other lacks, so every method has work in it, the way
    // back included, and Absolute Copy has something to delete there.
    buildTree(m_org, {file("a", "a", at(9)), file("zz/f1", "one", at(9)), file("zz/f2", "two", at(9)),
                      file("zz/deep/g", "g", at(9))});
    buildTree(m_tgt, {file("zz/old", "old", at(1)), file("zz/f1", "stale", at(1)), folder("zz/olddir")});
    addPair(c.method);
    const TreeSnapshot outsideBefore = snapshotTree(outside);

    // The swapped folder: in the side being read, or in the side being written.
    const std::string source = c.backwards ? m_tgt : m_org;
    const std::string target = c.backwards ? m_org : m_tgt;
    const std::string swapped = (c.moment == Moment::SourceFolderAfterParentListed ? source : target) + "zz";
    bool done = false;
    auto swapOnce = [&] {
        if (!done) {
            done = true;
            swapForLink(swapped, outside.substr(0, outside.size() - 1));
        }
    };
    HookedFileSystem hooked(m_posix);
    switch (c.moment) {
    case Moment::TargetFolderAtItsTask:
        hooked.beforeCreateFolder = [&](const std::string& folder) {
            if (folder == swapped + "/")
                swapOnce();
        };
        break;
    case Moment::SourceFolderAfterParentListed:
        // The first listing is the counting pass's; the second is the pair's own scan.
        hooked.afterList = [&, listings = 0](const std::string& folder,
                                             std::vector<platform::DirEntry>&) mutable {
            if (folder + "zz" == swapped && ++listings == 2)
                swapOnce();
        };
        break;
    case Moment::TargetFolderBeforeCopy:
        hooked.beforeCopy = [&](const std::string&, const std::string& target) {
            if (target.starts_with(swapped + "/"))
                swapOnce();
        };
        break;
    }

    run(&hooked);

    ASSERT_TRUE(done) << "the swap never happened";
    EXPECT_EQ(snapshotTree(outside), outsideBefore);
    EXPECT_FALSE(holdsContent(snapshotTree(m_org), kSecret));
    EXPECT_FALSE(holdsContent(snapshotTree(m_tgt), kSecret));
    // A deletion may take the link away (never what it points to); a copy never replaces it.
    struct stat st = {};
    if (::lstat(swapped.c_str(), &st) == 0) {
        EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
}

std::vector<SwapCase> swapCases()
{
    std::vector<SwapCase> cases;
    for (SyncMethod method : {SyncMethod::LightCopy, SyncMethod::UpdateCopy, SyncMethod::Copy,
                              SyncMethod::AbsoluteCopy, SyncMethod::Synchronize})
        for (Moment moment : {Moment::TargetFolderAtItsTask, Moment::SourceFolderAfterParentListed,
                              Moment::TargetFolderBeforeCopy})
            cases.push_back({method, moment, false});
    for (Moment moment : {Moment::TargetFolderAtItsTask, Moment::SourceFolderAfterParentListed,
                          Moment::TargetFolderBeforeCopy})
        cases.push_back({SyncMethod::Synchronize, moment, true});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, FolderSwap, ::testing::ValuesIn(swapCases()));

// The same race on the real kernel, with no hook: another thread keeps swapping a target
// subfolder and a link to the outside while Absolute Copy fills and prunes it.
TEST_F(EngineTest, FolderSwappedByAnotherThreadNeverLeadsOutside)
{
    const std::string outside = m_dir / "outside";
    buildTree(outside, {file("victim", "v"), file("keep/x", "x")});
    std::vector<Node> source;
    for (int i = 0; i < 400; ++i)
        source.push_back(file("zz/f" + std::to_string(i), "new", at(9)));
    buildTree(m_org, source);
    buildTree(m_tgt, {file("zz/victim", "old"), file("zz.real/placeholder", "p")});
    addPair(SyncMethod::AbsoluteCopy);
    const TreeSnapshot outsideBefore = snapshotTree(outside);

    std::atomic<bool> running{true};
    std::thread swapper([&] {
        const std::string zz = m_tgt + "zz";
        const std::string hidden = m_tgt + "zz.hidden";
        while (running.load()) {
            // folder -> link to outside -> folder again
            if (std::rename(zz.c_str(), hidden.c_str()) == 0) {
                // The run may make the missing folder again first: then there is no link to
                // plant this time, and the original goes back only if that folder is empty.
                if (::symlink(outside.c_str(), zz.c_str()) != 0) {
                    EXPECT_EQ(errno, EEXIST) << std::strerror(errno);
                }
                std::this_thread::yield();
                ::unlink(zz.c_str());
                std::rename(hidden.c_str(), zz.c_str());
            }
            std::this_thread::yield();
        }
    });
    run();
    running.store(false);
    swapper.join();

    EXPECT_EQ(snapshotTree(outside), outsideBefore);
}

// The two roots are one folder under two names: both links to it, or one inside the other
// through a link. Nothing is copied or deleted.
TEST_F(EngineTest, RootsThatAreOneFolderUnderTwoNamesOverlap)
{
    buildTree(m_dir / "real", {file("precious", "p"), file("sub/inner", "i")});
    ASSERT_EQ(::symlink((m_dir / "real").c_str(), (m_dir / "one").c_str()), 0);
    ASSERT_EQ(::symlink((m_dir / "real").c_str(), (m_dir / "two").c_str()), 0);
    ASSERT_EQ(::symlink((m_dir / "real/sub").c_str(), (m_dir / "inner").c_str()), 0);
    addPair(SyncMethod::AbsoluteCopy, m_dir / "one", m_dir / "two", "same");
    addPair(SyncMethod::AbsoluteCopy, m_dir / "inner", m_dir / "one", "inside");
    const TreeSnapshot before = snapshotTree(m_dir / "real");

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_dir / "real"), before);
    const std::string log = relative(m_sink.log());
    EXPECT_NE(log.find("Handle pair : same\r\nERROR: folders overlap: ~/one/ and ~/two/\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Handle pair : inside\r\nERROR: folders overlap: ~/inner/ and ~/one/\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(m_state.errors.load(), 2);
}

// ORG mounted onto a folder of TGT: no path text tells, but the folder's identity does. The
// mirror must not delete the folder that is ORG, nor write into it.
TEST_F(EngineTest, BindMountOfTheOriginalInsideTheTargetIsNeverEntered)
{
    buildTree(m_tgt, {file("sub/precious", "p"), file("sub/more/x", "x"), file("other", "o")});
    buildTree(m_org, {});
    if (::geteuid() != 0 || ::mount((m_tgt + "sub").c_str(), m_org.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "a bind mount needs root (and a mount namespace that allows it)";
    addPair(SyncMethod::AbsoluteCopy);
    const TreeSnapshot before = snapshotTree(m_tgt + "sub");

    run();
    const TreeSnapshot after = snapshotTree(m_tgt + "sub");
    ::umount(m_org.c_str());

    EXPECT_EQ(after, before);
    EXPECT_NE(relative(m_sink.log()).find("ERROR: folders overlap: ~/org/ and ~/tgt/\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(reportLines().back(),
              "[E]ERROR: folders overlap: ~/org/ and ~/tgt/: ORG and TGT are one folder, or "
              "one lies inside the other");
    EXPECT_GE(m_state.errors.load(), 1);
}

// A folder mounted a second time as one root, with the other root inside it under its first
// name: no path text tells, and the root inside is never met as a subfolder (Light Copy does
// not walk the target's folders; the other way round the copies of the outer root's files come
// first). Only walking up from each root finds the overlap before anything is written.
struct MountedOverlapCase
{
    const char* name;
    bool orgInside; // ORG is the inner folder, TGT the mount; else the other way round
};

class MountedOverlap : public EngineTest, public ::testing::WithParamInterface<MountedOverlapCase>
{
};

TEST_P(MountedOverlap, IsFoundBeforeAnythingIsWritten)
{
    const MountedOverlapCase& c = GetParam();
    const std::string real = m_dir / "real/";
    buildTree(real, {file("a", "a", at(5)), file("b", "b", at(5)), file("sub/c", "c", at(5)),
                     file("sub/d", "d", at(5))});
    const std::string inner = real + "sub/";
    const std::string mounted = c.orgInside ? m_tgt : m_org;
    buildTree(mounted, {});
    if (::geteuid() != 0 || ::mount(real.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "a bind mount needs root (and a mount namespace that allows it)";
    struct Unmount
    {
        std::string path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{mounted};
    const std::string org = c.orgInside ? inner : m_org;
    const std::string tgt = c.orgInside ? m_tgt : inner;
    addPair(SyncMethod::LightCopy, org, tgt);
    const TreeSnapshot before = snapshotTree(real);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(real), before);
    EXPECT_NE(m_sink.log().find("ERROR: folders overlap: " + org + " and " + tgt + "\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(m_state.errors.load(), 1);
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

INSTANTIATE_TEST_SUITE_P(BothOrders, MountedOverlap,
                         ::testing::Values(MountedOverlapCase{"OrgInsideTheMountedTarget", true},
                                           MountedOverlapCase{"TgtInsideTheMountedOriginal", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Run by root over a user's files, what the run creates or replaces keeps the source's owner.
TEST_F(EngineTest, RunAsRootKeepsTheSourceOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give files away";
    buildTree(m_org, {file("new", "n", at(9)), file("changed", "c2", at(9)), file("sub/inner", "i", at(9)),
                      symlink("link", "new", at(9))});
    buildTree(m_tgt, {file("changed", "c1", at(1))});
    const uid_t user = 4321;
    const gid_t group = 4322;
    for (const char* name : {"new", "changed", "sub", "sub/inner", "link"})
        ASSERT_EQ(::lchown((m_org + name).c_str(), user, group), 0) << name;
    addPair(SyncMethod::UpdateCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    for (const char* name : {"new", "changed", "sub", "sub/inner", "link"}) {
        struct stat st = {};
        ASSERT_EQ(::lstat((m_tgt + name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_uid, user) << name;
        EXPECT_EQ(st.st_gid, group) << name;
    }
}

// Under the pair's lock no other run can be writing a temporary file in its target: one found
// there is a leftover, removed at once whatever its age. The source is not the run's to clean.
TEST_F(EngineTest, FreshLeftoversUnderTheLockAreRemovedAtOnce)
{
    const std::string leftover = ".a.0a1b2c3d.tavrel-tmp";
    buildTree(m_org, {file("a", "new", at(9)), file(leftover, "someone else's copy")});
    buildTree(m_tgt, {file(leftover, "partial")});
    addPair(SyncMethod::UpdateCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt).count(leftover), 0u);
    EXPECT_EQ(snapshotTree(m_org).count(leftover), 1u);
}

} // namespace
} // namespace tavrel::test

namespace tavrel::test {
namespace {

// Paths that differ only in letter case are two folders where the volume keeps case: the check
// for one folder under two spellings must not refuse them.
TEST_F(EngineTest, FoldersThatDifferOnlyInCaseOnACaseKeepingVolumeDoNotOverlap)
{
    buildTree(m_dir / "Photos/2024", {file("a", "a")});
    buildTree(m_dir / "photos", {});
    addPair(model::SyncMethod::AbsoluteCopy, m_dir / "Photos/2024", m_dir / "photos");
    run();
    EXPECT_EQ(m_state.errors.load(), 0) << m_sink.log();
    EXPECT_EQ(readFile(m_dir / "photos/a"), "a");
    EXPECT_TRUE(snapshotTree(m_dir / "Photos/2024").count("a"));
}

} // namespace
} // namespace tavrel::test
