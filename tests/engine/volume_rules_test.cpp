// SPDX-License-Identifier: GPL-3.0-or-later
// What a run does on volumes that keep less than a POSIX file system: coarse times, letter case
// ignored, permission bits refused. The volume is pretended by the test file system (the real
// ones are in the file-system matrix); the trees are real.
#include "engine/time_rule.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "text/case_fold.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace tavrel::test {
namespace {

using model::ContentCheckMode;
using model::SyncMethod;
using Op = FaultyFileSystem::Operation;

constexpr int64_t kMs = 1'000'000; // nanoseconds

platform::VolumeTraits coarseVolume(int64_t precisionTicks)
{
    platform::VolumeTraits traits;
    traits.probed = true;
    traits.timePrecision = precisionTicks;
    return traits;
}

platform::VolumeTraits caseIgnoringVolume()
{
    platform::VolumeTraits traits;
    traits.probed = true;
    traits.caseInsensitive = true;
    return traits;
}

// A case-ignoring volume over the real disk: a name finds the item the folder holds under
// any letter case, as on FAT and exFAT, so a copy or a new folder under another case meets the
// item already there. Every other call is the real disk's.
class CaseIgnoringVolume final : public platform::ForwardingFileSystem
{
public:
    using ForwardingFileSystem::ForwardingFileSystem;

    platform::FsError listFolder(const std::string& folder, std::vector<platform::DirEntry>& entries) override
    {
        return inner().listFolder(onDisk(folder), entries);
    }
    platform::FsError createFolder(const std::string& folder, const std::string& ownerFrom) override
    {
        return inner().createFolder(onDisk(folder), ownerFrom);
    }
    platform::FsError readStamp(const std::string& path, platform::FileStamp& stamp) override
    {
        return inner().readStamp(onDisk(path), stamp);
    }
    platform::FsError copy(const std::string& source, const std::string& target,
                           const platform::CopyRequest& request) override
    {
        return inner().copy(onDisk(source), onDisk(target), request);
    }
    std::unique_ptr<platform::FileReader> openForReading(const std::string& path,
                                                         platform::FsError& error) override
    {
        return inner().openForReading(onDisk(path), error);
    }
    platform::FsError deleteItem(const std::string& path, bool toTrash) override
    {
        return inner().deleteItem(onDisk(path), toTrash);
    }
    platform::VolumeTraits probeVolume(const std::string&, const platform::VolumeTraits* known) override
    {
        return known != nullptr ? *known : caseIgnoringVolume();
    }

private:
    // `path` with each name that is missing as written spelled as its folder holds it.
    static std::string onDisk(const std::string& path)
    {
        std::string found;
        for (std::size_t start = 0; start <= path.size();) {
            const std::size_t end = std::min(path.find('/', start), path.size());
            std::string name = path.substr(start, end - start);
            std::error_code error;
            if (!name.empty() &&
                !std::filesystem::exists(std::filesystem::symlink_status(found + name, error)))
                for (const auto& entry : std::filesystem::directory_iterator(found, error))
                    if (text::foldName(entry.path().filename().string()) == text::foldName(name))
                        name = entry.path().filename().string();
            found += name;
            if (end < path.size())
                found += '/';
            start = end + 1;
        }
        return found;
    }
};

// Target times a 2-second volume made of the source's: nothing changed, so nothing is copied,
// overwritten or even read, for every method, both ways of Synchronize included.
TEST_F(EngineTest, TimesTheVolumeRoundedCountAsEqual)
{
    for (SyncMethod method :
         {SyncMethod::UpdateCopy, SyncMethod::Copy, SyncMethod::AbsoluteCopy, SyncMethod::Synchronize}) {
        SCOPED_TRACE(static_cast<int>(method));
        TempDir dir;
        const std::string org = dir / "org/";
        const std::string tgt = dir / "tgt/";
        buildTree(org, {file("a", "same", at(10) + 1234 * kMs), file("sub/b", "same", at(20) + 1 * kMs)});
        buildTree(tgt, {file("a", "same", at(10)), file("sub/b", "same", at(21) + 900 * kMs)});
        m_job.clear();
        addPair(method, org, tgt).contentCheck = ContentCheckMode::Auto;
        FaultyFileSystem volume(m_posix);
        volume.pretendVolume(coarseVolume(2 * engine::kTicksPerSecond));
        RecordingSink sink;
        runWith(sink, &volume);

        EXPECT_EQ(operations(), Ops{}.snapshot()) << sink.log();
        EXPECT_EQ(volume.callCount(Op::OpenForReading), 0);
    }
}

// Beyond the precision a change is a change: the newer source still replaces the target.
TEST_F(EngineTest, ChangesBeyondTheVolumesPrecisionAreCopied)
{
    buildTree(m_org, {file("a", "new", at(13))});
    buildTree(m_tgt, {file("a", "old", at(10))});
    addPair(SyncMethod::UpdateCopy);
    FaultyFileSystem volume(m_posix);
    volume.pretendVolume(coarseVolume(2 * engine::kTicksPerSecond));
    run(&volume);
    EXPECT_EQ(readFile(m_tgt + "a"), "new");
    EXPECT_EQ(operations(), (Ops{.tgtFilesOverwritten = 1}.snapshot()));
}

// A volume that keeps 1980 onwards shows a 1975 file as 1980: the same time for the run, so
// Synchronize never writes the volume's date back into ORG.
TEST_F(EngineTest, ClampedTimesNeverComeBackIntoTheOriginal)
{
    const int64_t y1975 = int64_t{157'766'400} * 1'000'000'000;
    const int64_t y1980 = int64_t{315'532'800} * 1'000'000'000;
    buildTree(m_org, {file("old", "same", y1975)});
    buildTree(m_tgt, {file("old", "same", y1980)});
    addPair(SyncMethod::Synchronize);
    FaultyFileSystem volume(m_posix);
    platform::VolumeTraits fat = coarseVolume(2 * engine::kTicksPerSecond);
    fat.timeMin = engine::kFatTimeMin;
    fat.timeMax = engine::kFatTimeMax;
    volume.pretendVolume(fat);
    const TreeSnapshot before = snapshotTree(m_org);
    run(&volume);
    EXPECT_EQ(snapshotTree(m_org), before);
    EXPECT_EQ(operations(), Ops{}.snapshot());
}

// Two ORG names that one case-ignoring target cannot tell apart: the first is copied, the second
// is one error each run, and a second run neither creates nor deletes anything.
TEST_F(EngineTest, CaseTwinsOnACaseIgnoringTargetGiveOneErrorAndNoChurn)
{
    buildTree(m_org, {file("CaseDir/one", "1"), file("casedir/two", "2"), file("Report.doc", "r"),
                      file("REPORT.DOC", "R")});
    addPair(SyncMethod::AbsoluteCopy);
    FaultyFileSystem volume(m_posix);
    volume.pretendVolume(caseIgnoringVolume());

    EXPECT_EQ(run(&volume), engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("CaseDir/one", "1"), file("REPORT.DOC", "R")}));
    const std::string log = relative(m_sink.log());
    EXPECT_NE(log.find("ERROR: cannot copy file: ~/org/Report.doc\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR: cannot copy file: ~/org/casedir/\r\n"), std::string::npos) << log;
    EXPECT_EQ(m_state.errors.load(), 2);

    RecordingSink second;
    runWith(second, &volume);
    EXPECT_EQ(operations(), Ops{}.snapshot()) << second.log();
    EXPECT_EQ(m_state.errors.load(), 2);
}

// A mirror onto a case-ignoring target that already holds ORG's files under other letter case:
// those are ORG's files, so the deletion phase keeps them, folder and file alike.
TEST_F(EngineTest, MirrorKeepsTargetNamesThatDifferFromOrgOnlyInCase)
{
    buildTree(m_org, {file("Report.doc", "r", at(5)), file("Photos/p.jpg", "p", at(5))});
    const std::vector<Node> target = {file("REPORT.DOC", "r", at(5)), file("PHOTOS/P.JPG", "p", at(5))};
    buildTree(m_tgt, target);
    addPair(SyncMethod::AbsoluteCopy);
    CaseIgnoringVolume volume(m_posix);

    EXPECT_EQ(run(&volume), engine::RunResult::Succeeded);
    EXPECT_EQ(operations(), Ops{}.snapshot()) << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(target));
    EXPECT_EQ(m_state.errors.load(), 0) << m_sink.log();
}

// Coming back from a case-ignoring TGT, Synchronize updates the ORG item of the other case and
// never adds a case variant of a name ORG has.
TEST_F(EngineTest, SynchronizeBackFromACaseIgnoringTargetKeepsOrgNames)
{
    buildTree(m_org, {file("Report.doc", "old", at(1)), file("Photos/p", "p", at(1))});
    buildTree(m_tgt,
              {file("REPORT.DOC", "new", at(9)), file("PHOTOS/p", "p", at(1)), file("PHOTOS/q", "q", at(1))});
    addPair(SyncMethod::Synchronize);
    FaultyFileSystem volume(m_posix);
    volume.pretendVolume(caseIgnoringVolume());

    run(&volume);
    EXPECT_EQ(readFile(m_org + "Report.doc"), "new");
    EXPECT_EQ(readFile(m_org + "Photos/q"), "q");
    const TreeSnapshot org = snapshotTree(m_org);
    EXPECT_EQ(org.count("REPORT.DOC"), 0u);
    EXPECT_EQ(org.count("PHOTOS"), 0u);
}

// A volume without permission bits or settable times still gets every file; each refusal is
// one warning per pair, not one per file, and no error.
TEST_F(EngineTest, RefusedMetadataKeepsTheContentAndWarnsOncePerPair)
{
    buildTree(m_org, {file("a", "a"), file("b", "b"), file("sub/c", "c")});
    addPair(SyncMethod::LightCopy, m_org, m_tgt, "one");
    addPair(SyncMethod::LightCopy, m_org, m_dir / "tgt2", "two");
    FaultyFileSystem volume(m_posix);
    volume.refuseMetadata({.permissions = true, .times = true});

    EXPECT_EQ(run(&volume), engine::RunResult::Succeeded);
    EXPECT_EQ(readFile(m_tgt + "sub/c"), "c");
    EXPECT_EQ(readFile(m_dir / "tgt2/b"), "b");
    const std::string log = relative(m_sink.log());
    for (const std::string line :
         {"WARNING: cannot keep permissions on ~/tgt/: the volume refused to set them\r\n",
          "WARNING: cannot keep times on ~/tgt/: the volume refused to set them\r\n",
          "WARNING: cannot keep permissions on ~/tgt2/: the volume refused to set them\r\n",
          "WARNING: cannot keep times on ~/tgt2/: the volume refused to set them\r\n"}) {
        const std::size_t first = log.find(line);
        EXPECT_NE(first, std::string::npos) << line << log;
        EXPECT_EQ(log.find(line, first + 1), std::string::npos) << line << log;
    }
    EXPECT_EQ(m_state.errors.load(), 0);
}

// The report ends with each error of the run and the system's reason for it.
TEST_F(EngineTest, ReportEndsWithTheErrorsAndTheirReasons)
{
    buildTree(m_dir / "other", {file("x", "x")});
    addPair(SyncMethod::LightCopy, m_dir / "unplugged", m_tgt, "gone");
    addPair(SyncMethod::LightCopy, m_dir / "other", m_dir / "copy", "other");
    run();
    const std::vector<std::string> lines = reportLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "[E]ERROR: cannot read folder: ~/unplugged/: ORG: No such file or directory");
}

} // namespace
} // namespace tavrel::test
