// SPDX-License-Identifier: GPL-3.0-or-later
// A pair's versions folder: what any method replaces or deletes goes there under its relative
// path with the time in its name; what cannot go there is neither replaced nor deleted; after
// the run only the newest and recent versions stay, and nothing else there is touched.
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/scoped_env.h"

#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>

namespace tavrel::test {
namespace {

using model::SyncMethod;

class VersionsTest : public EngineTest
{
protected:
    model::FolderPair& versionedPair(SyncMethod method)
    {
        model::FolderPair& pair = addPair(method);
        pair.extras.versionsFolder = m_versions;
        return pair;
    }

    // Every file below the versions folder with this run's stamps shown as "<stamp>", and its
    // content: the names must have the shape, and a stamp must be of today.
    std::map<std::string, std::string> versions() const
    {
        std::map<std::string, std::string> found;
        if (!std::filesystem::exists(m_versions))
            return found;
        const std::time_t now = std::time(nullptr);
        std::tm local = {};
        char today[16];
        std::strftime(today, sizeof today, "%Y-%m-%d", ::localtime_r(&now, &local));
        const std::regex stamp(" " + std::string(today) + " \\d{6}");
        for (const auto& item : std::filesystem::recursive_directory_iterator(m_versions)) {
            if (item.is_directory())
                continue;
            const std::string rel = item.path().string().substr(m_versions.size());
            found[std::regex_replace(rel, stamp, " <stamp>")] = readFile(item.path().string());
        }
        return found;
    }

    std::string m_versions = m_dir / "versions/";
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir / "data"};
};

// Overwrites of every method that makes them, Absolute Copy's deletions of files and whole
// folders: the old content under the relative path, the extension after the stamp, none for a
// dot-file or a name without a dot.
TEST_F(VersionsTest, ReplacedAndDeletedItemsGoThereUnderTheirRelativePaths)
{
    const struct
    {
        const char* what;
        SyncMethod method;
        std::vector<Node> org;
        std::vector<Node> tgt;
        std::map<std::string, std::string> kept;
        TreeSnapshot tgtAfter;
    } cases[] = {
        {"update copy replaces",
         SyncMethod::UpdateCopy,
         {file("d/a.txt", "new", at(5))},
         {file("d/a.txt", "old", at(1))},
         {{"d/a <stamp>.txt", "old"}},
         describeTree({file("d/a.txt", "new", at(5))})},
        {"absolute copy deletes files and folders",
         SyncMethod::AbsoluteCopy,
         {file("keep", "k", at(1))},
         {file("keep", "k", at(1)), file(".hidden", "h"), file("README", "r"), file("gone/x.tar.gz", "x"),
          file("gone/deeper/y", "y")},
         {{".hidden <stamp>", "h"},
          {"README <stamp>", "r"},
          {"gone/x.tar <stamp>.gz", "x"},
          {"gone/deeper/y <stamp>", "y"}},
         describeTree({file("keep", "k", at(1))})},
        {"synchronize replaces on both sides",
         SyncMethod::Synchronize,
         {file("o", "org new", at(5)), file("t", "org old", at(1))},
         {file("o", "tgt old", at(1)), file("t", "tgt new", at(5))},
         {{"o <stamp>", "tgt old"}, {"t <stamp>", "org old"}},
         describeTree({file("o", "org new", at(5)), file("t", "tgt new", at(5))})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_org);
        std::filesystem::remove_all(m_tgt);
        std::filesystem::remove_all(m_versions);
        m_job.clear();
        versionedPair(c.method);
        buildTree(m_org, c.org);
        buildTree(m_tgt, c.tgt);
        RecordingSink sink;
        EXPECT_EQ(runWith(sink), engine::RunResult::Succeeded) << sink.log();
        EXPECT_EQ(snapshotTree(m_tgt), c.tgtAfter);
        EXPECT_EQ(versions(), c.kept);
    }
}

// A remembering Synchronize keeps what a deletion on the other side takes (a file and a whole
// folder) and what a one-sided edit replaces.
TEST_F(VersionsTest, ARememberingPairKeepsWhatItDeletesAndReplaces)
{
    model::FolderPair& pair = versionedPair(SyncMethod::Synchronize);
    pair.extras.rememberState = true;
    pair.extras.pairId = model::newPairId();
    buildTree(m_org, {file("a", "a", at(1)), file("f/b.md", "b", at(1)), file("e", "e1", at(1))});
    RecordingSink first;
    runWith(first);
    std::filesystem::remove(m_org + "a");
    std::filesystem::remove_all(m_org + "f");
    buildTree(m_tgt, {file("e", "e2", at(2))});
    RecordingSink second;
    EXPECT_EQ(runWith(second), engine::RunResult::Succeeded) << second.log();
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("e", "e2", at(2))}));
    EXPECT_EQ(snapshotTree(m_org), describeTree({file("e", "e2", at(2))}));
    EXPECT_EQ(versions(), (std::map<std::string, std::string>{
                              {"a <stamp>", "a"}, {"f/b <stamp>.md", "b"}, {"e <stamp>", "e1"}}));
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 1);
    EXPECT_EQ(m_state.tgtFoldersDeleted.load(), 1);
}

// What cannot be kept stays as it was: neither replaced nor deleted, one error line each.
TEST_F(VersionsTest, WhatCannotBeKeptIsNeitherReplacedNorDeleted)
{
    versionedPair(SyncMethod::AbsoluteCopy);
    buildTree(m_org, {file("a.txt", "new", at(5))});
    buildTree(m_tgt, {file("a.txt", "old", at(1)), file("extra", "x"), file("dir/y", "y")});
    m_job.pairAt(0)->contentCheck = model::ContentCheckMode::NotCheck;
    FaultyFileSystem faulty(m_posix);
    faulty.failMatching(FaultyFileSystem::Operation::Keep, "", platform::FsError::AccessDenied);
    EXPECT_EQ(run(&faulty), engine::RunResult::Succeeded);
    const std::string log = relative(m_sink.log());
    EXPECT_NE(log.find("        ERROR: cannot copy file: ~/org/a.txt\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: cannot delete: ~/tgt/extra\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: cannot delete: ~/tgt/dir/\r\n"), std::string::npos) << log;
    EXPECT_EQ(m_state.errors.load(), 3);
    EXPECT_EQ(snapshotTree(m_tgt),
              describeTree({file("a.txt", "old", at(1)), file("extra", "x"), file("dir/y", "y")}));
    EXPECT_TRUE(versions().empty());
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

// A versions folder inside either root (which a project file may hold) ends the pair at once.
TEST_F(VersionsTest, AVersionsFolderInsideARootIsRefused)
{
    for (const std::string& inside : {m_tgt + "v", m_org + "deep/v"}) {
        SCOPED_TRACE(inside);
        m_job.clear();
        versionedPair(SyncMethod::AbsoluteCopy).extras.versionsFolder = inside;
        std::filesystem::remove_all(m_tgt);
        buildTree(m_org, {file("a", "a")});
        buildTree(m_tgt, {file("b", "b")});
        RecordingSink sink;
        runWith(sink);
        EXPECT_NE(relative(sink.log()).find("ERROR: versions folder overlaps ORG or TGT: ~/"),
                  std::string::npos)
            << sink.log();
        EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("b", "b")}));
        EXPECT_FALSE(std::filesystem::exists(inside));
    }
}

// Pruning keeps the newest N of each file and none older than D days, and touches no name
// that is not a version: the original's own name, other suffixes, a lone version of another
// file within the limits.
TEST_F(VersionsTest, PruningKeepsTheNewestAndRecentVersionsAndNothingElseIsTouched)
{
    const std::vector<Node> before = {file("d/a 2020-01-01 000000.txt", "2020"),
                                      file("d/a 2021-06-01 120000.txt", "2021"),
                                      file("d/a 2022-03-04 050607.txt", "2022"),
                                      file("d/a.txt", "not a version"),
                                      file("d/a 2020-01-01 000000.txt.bak", "not ours"),
                                      file("d/b 2020-01-01 000000", "b 2020"),
                                      file("notes.txt", "mine")};
    const struct
    {
        const char* what;
        uint32_t keepVersions;
        uint32_t keepDays;
        std::vector<std::string> gone;
    } cases[] = {
        {"no limits", 0, 0, {}},
        {"two newest", 2, 0, {"d/a 2020-01-01 000000.txt", "d/a 2021-06-01 120000.txt"}},
        {"thirty days",
         0,
         30,
         {"d/a 2020-01-01 000000.txt", "d/a 2021-06-01 120000.txt", "d/a 2022-03-04 050607.txt",
          "d/b 2020-01-01 000000"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_versions);
        buildTree(m_versions, before);
        m_job.clear();
        model::FolderPair& pair = versionedPair(SyncMethod::UpdateCopy);
        pair.extras.keepVersions = c.keepVersions;
        pair.extras.keepDays = c.keepDays;
        buildTree(m_org, {file("d/a.txt", "new", at(9))});
        buildTree(m_tgt, {file("d/a.txt", "old", at(1))});
        RecordingSink sink;
        EXPECT_EQ(runWith(sink), engine::RunResult::Succeeded) << sink.log();
        std::map<std::string, std::string> expected;
        for (const Node& node : before)
            expected[node.path] = node.content;
        for (const std::string& gone : c.gone)
            expected.erase(gone);
        // Today's version of a.txt is the newest: it always stays.
        expected["d/a <stamp>.txt"] = "old";
        EXPECT_EQ(versions(), expected);
    }
}

// A preview makes nothing in the versions folder and keeps the trees as they are.
TEST_F(VersionsTest, APreviewKeepsNothing)
{
    versionedPair(SyncMethod::AbsoluteCopy);
    buildTree(m_org, {file("a", "new", at(5))});
    buildTree(m_tgt, {file("a", "old", at(1)), file("b", "b")});
    RecordingSink sink;
    previewWith(sink);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", "old", at(1)), file("b", "b")}));
    EXPECT_FALSE(std::filesystem::exists(m_versions));
    EXPECT_EQ(m_state.tgtFilesDeleted.load(), 1);
}

} // namespace
} // namespace tavrel::test
