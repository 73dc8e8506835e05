// SPDX-License-Identifier: GPL-3.0-or-later
// Faults in the trees themselves: listings that break off, items of another kind where a file
// is expected, trees that change under a run, a trash that cannot take anything, odd names.
#include "platform/forwarding_file_system.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/hooked_file_system.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;
using platform::FsError;
using Op = FaultyFileSystem::Operation;

// A listing of a folder whose path holds `breakIn` stops halfway and reports Other with what
// it read so far, as a listing cut short by an I/O error does.
class BreakingListFileSystem final : public platform::ForwardingFileSystem
{
public:
    BreakingListFileSystem(platform::FileSystem& inner, std::string breakIn)
        : ForwardingFileSystem(inner), m_breakIn(std::move(breakIn))
    {}

    FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        const FsError result = inner().listFolder(folder, entries);
        if (result != FsError::Ok || folder.find(m_breakIn) == std::string::npos)
            return result;
        entries.resize(entries.size() / 2);
        return FsError::Other;
    }

private:
    std::string m_breakIn;
};

// A mirror over bad/, the folder a test keeps from being read whole, and good/, one read
// whole; TGT has items of its own at the root and in both, so every deletion shows.
class MirrorWithABadFolder : public EngineTest
{
protected:
    void SetUp() override
    {
        buildTree(m_org, {file("a", "a"), file("bad/x1", "1"), file("bad/x2", "2"), file("bad/x3", "3"),
                          file("bad/x4", "4"), file("good/y", "y")});
        buildTree(m_tgt, {file("stale", "s"), file("bad/x1", "1"), file("bad/only-tgt", "o"),
                          file("good/only-tgt", "o")});
        addPair(SyncMethod::AbsoluteCopy);
    }
};

// A source listing that breaks off halfway must not count as the folder's whole content:
// that folder's deletions are skipped, and the rest of the run goes on.
TEST_F(MirrorWithABadFolder, SourceListingBrokenMidwaySkipsThatFoldersDeletionsOnly)
{
    BreakingListFileSystem breaking(m_posix, "org/bad/");

    EXPECT_EQ(run(&breaking), engine::RunResult::Succeeded);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    EXPECT_EQ(tgt.count("stale"), 0u);         // the root was read whole: mirrored
    EXPECT_EQ(tgt.count("good/only-tgt"), 0u); // so was good/
    EXPECT_EQ(tgt.count("bad/only-tgt"), 1u);  // bad/ was not: nothing deleted there
    EXPECT_EQ(tgt.count("bad/x1"), 1u);
    EXPECT_EQ(readFile(m_tgt + "good/y"), "y");
    EXPECT_NE(relative(m_sink.log()).find("ERROR: cannot read folder: ~/org/bad/\r\n"), std::string::npos)
        << m_sink.log();
}

// The same on the target side: a target listing cut short deletes nothing in that folder.
TEST_F(MirrorWithABadFolder, TargetListingBrokenMidwayDeletesNothingThere)
{
    BreakingListFileSystem breaking(m_posix, "tgt/bad/");

    EXPECT_EQ(run(&breaking), engine::RunResult::Succeeded);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    EXPECT_EQ(tgt.count("bad/only-tgt"), 1u);
    EXPECT_EQ(tgt.count("good/only-tgt"), 0u);
    EXPECT_EQ(readFile(m_tgt + "bad/x4"), "4"); // the copies of bad/ still happened
}

// A source subfolder that cannot be listed at all (as for a folder without read permission):
// no deletion there, the run goes on. The real permission case needs a user other than root.
TEST_F(MirrorWithABadFolder, UnreadableSourceSubfolderSkipsItsDeletionsOnly)
{
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(Op::List, "org/bad/", FsError::AccessDenied);

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    const TreeSnapshot tgt = snapshotTree(m_tgt);
    EXPECT_EQ(tgt.count("bad/only-tgt"), 1u);
    EXPECT_EQ(tgt.count("stale"), 0u);
    EXPECT_EQ(readFile(m_tgt + "good/y"), "y");
}

TEST_F(MirrorWithABadFolder, UnreadableSourceSubfolderForRealSkipsItsDeletions)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads folders whatever their mode; run the tests as another user "
                        "(setpriv --reuid=65534 --regid=65534 --clear-groups) for this one";
    ::chmod((m_org + "bad").c_str(), 0);

    const engine::RunResult result = run();
    ::chmod((m_org + "bad").c_str(), 0755);
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt).count("bad/only-tgt"), 1u);
    EXPECT_EQ(readFile(m_tgt + "good/y"), "y");
}

struct KindCase
{
    const char* name;
    SyncMethod method;
    NodeKind kind;
};

class OtherKindInTarget : public EngineTest, public ::testing::WithParamInterface<KindCase>
{
};

// Where ORG has a file and TGT a folder or a FIFO of that name, the target item is never
// opened nor written through, and it stays as it is (a FIFO opened for reading would block
// the run forever). The file that could not come over is reported once.
TEST_P(OtherKindInTarget, IsLeftAloneAndNeverOpened)
{
    const KindCase& c = GetParam();
    buildTree(m_org, {file("x", "org x", at(9)), file("y", "y", at(9))});
    std::vector<Node> tgt = {c.kind == NodeKind::Fifo ? fifo("x") : file("x/inner", "inner", at(1))};
    buildTree(m_tgt, tgt);
    addPair(c.method).contentCheck = model::ContentCheckMode::Check;

    EXPECT_EQ(run(), engine::RunResult::Succeeded); // ends: the FIFO was not opened
    TreeSnapshot expected = describeTree(tgt);
    expected.merge(describeTree({file("y", "y", at(9))}));
    EXPECT_EQ(snapshotTree(m_tgt), expected);
    EXPECT_EQ(m_state.tgtFilesOverwritten.load(), 0);
    const std::string line = "ERROR: cannot copy file: " + m_org + "x\r\n";
    const std::string& log = m_sink.log();
    const std::size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "reported more than once:\n" << log;
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, OtherKindInTarget,
    ::testing::Values(KindCase{"FolderLight", SyncMethod::LightCopy, NodeKind::Folder},
                      KindCase{"FolderUpdate", SyncMethod::UpdateCopy, NodeKind::Folder},
                      KindCase{"FolderCopy", SyncMethod::Copy, NodeKind::Folder},
                      KindCase{"FolderSynchronize", SyncMethod::Synchronize, NodeKind::Folder},
                      KindCase{"FifoLight", SyncMethod::LightCopy, NodeKind::Fifo},
                      KindCase{"FifoUpdate", SyncMethod::UpdateCopy, NodeKind::Fifo},
                      KindCase{"FifoCopy", SyncMethod::Copy, NodeKind::Fifo},
                      KindCase{"FifoAbsolute", SyncMethod::AbsoluteCopy, NodeKind::Fifo}),
    [](const auto& info) { return std::string(info.param.name); });

// The user is told that a file could not be brought over because something else holds its
// name; a silent skip would leave the file missing from the target without a word.
TEST_F(EngineTest, OtherKindInTargetIsReportedWithAnErrorLine)
{
    buildTree(m_org, {file("x", "org x", at(9))});
    buildTree(m_tgt, {folder("x")});
    addPair(SyncMethod::UpdateCopy);

    EXPECT_EQ(run(), engine::RunResult::Succeeded);
    EXPECT_NE(m_sink.log().find("ERROR: cannot copy file: " + m_org + "x\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(reportLines().back(),
              "[E]ERROR: cannot copy file: ~/org/x: TGT: a folder or another kind of item has the name");
}

// A link in TGT where ORG has a file is a leaf like any file: an update replaces the link
// itself; what it points to is never opened nor written.
TEST_F(EngineTest, LinkInTargetIsReplacedNeverWrittenThrough)
{
    buildTree(m_dir / "outside", {file("victim", "victim", at(1))});
    buildTree(m_org, {file("x", "org x", at(9))});
    buildTree(m_tgt, {symlink("x", "../outside/victim", at(1))});
    for (SyncMethod method : {SyncMethod::LightCopy, SyncMethod::UpdateCopy, SyncMethod::Copy}) {
        SCOPED_TRACE(static_cast<int>(method));
        m_job.clear();
        addPair(method).contentCheck = model::ContentCheckMode::Check;
        RecordingSink sink;
        EXPECT_EQ(runWith(sink), engine::RunResult::Succeeded);
        EXPECT_EQ(snapshotTree(m_dir / "outside"), describeTree({file("victim", "victim", at(1))}));
    }
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("x", "org x", at(9))}));
}

// The target changes after the engine decided to overwrite it: the newer target survives
// and the failed overwrite is logged.
TEST_F(EngineTest, TargetChangedBeforeTheOverwriteIsNotOverwritten)
{
    buildTree(m_org, {file("a", "org", at(9)), file("b", "org b", at(9))});
    buildTree(m_tgt, {file("a", "old", at(1))});
    addPair(SyncMethod::UpdateCopy);
    HookedFileSystem hooked(m_posix);
    hooked.beforeCopy = [this](const std::string&, const std::string& target) {
        if (target == m_tgt + "a")
            buildTree(m_tgt, {file("a", "edited meanwhile", at(20))});
        if (target == m_tgt + "b") // appears between the stamp read and the copy
            buildTree(m_tgt, {file("b", "made meanwhile", at(20))});
    };

    EXPECT_EQ(run(&hooked), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a", "edited meanwhile", at(20)), file("b", "made meanwhile", at(20))}));
    EXPECT_NE(m_sink.log().find("        ERROR: cannot copy file: " + m_org + "a\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(reportLines().back(),
              "[E]ERROR: cannot copy file: ~/org/a: TGT: changed since it was compared");
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

// A source that keeps changing while it is copied: no copy of it is published, since its
// bytes would match no version of the file; the run says so, and the next run after the writer
// stops brings it level.
TEST_F(EngineTest, SourceChangingDuringTheCopyIsNotPublished)
{
    buildTree(m_org, {file("busy", std::string(std::size_t{64} << 20, 'a'), at(1))});
    addPair(SyncMethod::UpdateCopy);
    std::atomic<bool> writing = true;
    std::atomic<int> rounds = 0;
    HookedFileSystem hooked(m_posix);
    std::thread writer;
    hooked.beforeCopy = [&](const std::string& source, const std::string&) {
        writer = std::thread([&, source] {
            const int fd = ::open(source.c_str(), O_WRONLY);
            for (int round = 1; writing; ++round) {
                const std::string chunk(4096, static_cast<char>('a' + round % 26));
                if (::pwrite(fd, chunk.data(), chunk.size(), (round * 7919L % 16000) * 4096L) !=
                    static_cast<ssize_t>(chunk.size())) {
                    rounds = -1; // the writer failed; the test says so below
                    break;
                }
                rounds = round;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ::close(fd);
        });
        while (rounds == 0)
            std::this_thread::yield();
    };

    const engine::RunResult result = run(&hooked);
    writing = false;
    writer.join();
    ASSERT_GT(rounds.load(), 0) << "the writer could not write to the source";
    ASSERT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_NE(m_sink.log().find("ERROR: file changed while copied: " + m_org + "busy\r\n"), std::string::npos)
        << m_sink.log();
    EXPECT_EQ(m_state.errors.load(), 1);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({}));

    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded);
    EXPECT_EQ(m_state.errors.load(), 0) << second.log();
    EXPECT_TRUE(readFile(m_tgt + "busy") == readFile(m_org + "busy"));
    EXPECT_EQ(lstatOf(m_tgt + "busy").st_mtim.tv_nsec, lstatOf(m_org + "busy").st_mtim.tv_nsec);
}

// A trash that cannot take the items deletes nothing, counts nothing and reports nothing
// but an error line for each.
TEST_F(EngineTest, UnavailableTrashDeletesNothingCountsNothingReportsNothing)
{
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {file("a", "a"), file("old", "o"), file("gone/x", "x")});
    addPair(SyncMethod::AbsoluteCopy).recycleDeleted = 1;
    FaultyFileSystem faulty(m_posix);
    faulty.refuseDeletes();

    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "a"), file("old", "o"), file("gone/x", "x")}));
    EXPECT_EQ(operations(), Ops{}.snapshot());
    for (const std::string& line : reportLines())
        EXPECT_FALSE(line.starts_with("[D]")) << line;
    EXPECT_EQ(faulty.callCount(Op::Delete), 2);
    EXPECT_EQ(m_state.errors.load(), 2) << m_sink.log();
}

// The same with the real trash, when the trash folder cannot be made (its parent is a file):
// the item stays where it is, rather than being moved somewhere the user never looks.
TEST_F(EngineTest, TrashThatCannotBeMadeDeletesNothing)
{
    // HOME stays on the same file system as the files, or the trash would be looked for at
    // the top of that file system instead. The working folder is a scratch one, so a stray
    // move lands where this test sees it.
    buildTree(m_dir / "home", {file("blocker", "not a folder")});
    buildTree(m_dir / "cwd", {});
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::filesystem::path savedCwd = std::filesystem::current_path();
    ::setenv("HOME", (m_dir / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (m_dir / "home/blocker/share").c_str(), 1);
    std::filesystem::current_path(m_dir / "cwd");
    buildTree(m_org, {file("a", "a")});
    buildTree(m_tgt, {file("old", "o")});
    addPair(SyncMethod::AbsoluteCopy).recycleDeleted = 1;

    const engine::RunResult result = run();
    std::filesystem::current_path(savedCwd);
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(readFile(m_tgt + "old"), "o");
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 0);
    EXPECT_TRUE(snapshotTree(m_dir / "cwd").empty());
}

} // namespace
} // namespace tavrel::test
