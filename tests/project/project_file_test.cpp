// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/pattern_list.h"
#include "model/text_rules.h"
#include "platform/replace_file.h"
#include "project/project_codec.h"
#include "project/project_file.h"
#include "project_test_util.h"
#include "support/temp_tree.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tavrel;
using namespace tavrel::project;
using namespace tavrel::project::test;
namespace fs = std::filesystem;

namespace {

class ProjectFileTest : public ::testing::Test
{
protected:
    static std::vector<uint8_t> contentOf(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    static void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes)
    {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    std::size_t entriesInFolder() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(m_folder), {}));
    }

    tavrel::test::TempDir m_dir;
    fs::path m_folder{m_dir.path()};
};

// A job large enough that writing it crosses a small file-size limit.
model::Job bigJob()
{
    model::Job job;
    for (int i = 0; i < 100; ++i) {
        model::FolderPair* pair = job.addPair();
        pair->orgPath = std::u16string(200, u'o');
        pair->tgtPath = std::u16string(200, u't');
    }
    return job;
}

} // namespace

TEST_F(ProjectFileTest, SaveGivesTheKnownFilesAndOpenReadsThemBack)
{
    const fs::path path = m_folder / "job.tsp";
    model::Job empty;
    ASSERT_TRUE(saveProject(empty, path));
    EXPECT_EQ(fs::file_size(path), 78u);
    EXPECT_EQ(sealHexOf(contentOf(path)), "c99a74c555371a433d121f551d6c6398");

    model::Job job;
    addExamplePair(job);
    ASSERT_TRUE(saveProject(job, path));
    EXPECT_EQ(fs::file_size(path), 172u);
    EXPECT_EQ(sealHexOf(contentOf(path)), "672683494967e20a4d2ce322241f1aa8");
    EXPECT_EQ(entriesInFolder(), 1u) << "no temporary file is left behind";

    EXPECT_TRUE(verifySeal(path));
    model::Job read;
    ASSERT_TRUE(openProject(read, path));
    EXPECT_EQ(*read.pairAt(0), *job.pairAt(0));
}

TEST_F(ProjectFileTest, WriteThenSealGivesTheSameBytesAsSave)
{
    model::Job job;
    addExamplePair(job);
    const fs::path saved = m_folder / "saved.tsp";
    const fs::path stepwise = m_folder / "stepwise.tsp";
    ASSERT_TRUE(saveProject(job, saved));
    ASSERT_TRUE(writeProject(job, stepwise));
    EXPECT_FALSE(verifySeal(stepwise)) << "the placeholder is not a seal";
    model::Job unsealed;
    EXPECT_TRUE(readProject(unsealed, stepwise)) << "the reader alone does not check the seal";
    ASSERT_TRUE(writeSeal(stepwise));
    EXPECT_EQ(contentOf(stepwise), contentOf(saved));
}

TEST_F(ProjectFileTest, OpenRefusesMissingChangedAndSpecialFiles)
{
    model::Job job;
    addExamplePair(job);
    const fs::path path = m_folder / "job.tsp";
    ASSERT_TRUE(saveProject(job, path));
    auto bytes = contentOf(path);
    bytes[100] ^= 0x40;
    writeBytes(path, bytes);

    const fs::path fifo = m_folder / "fifo.tsp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const fs::path& candidate : {path, m_folder / "missing.tsp", fs::path(m_folder), fifo}) {
        SCOPED_TRACE(candidate.filename().string());
        model::Job read;
        EXPECT_FALSE(openProject(read, candidate));
        EXPECT_FALSE(verifySeal(candidate));
    }
    EXPECT_FALSE(writeSeal(fifo)) << "must fail at once, not block on the FIFO";
}

TEST_F(ProjectFileTest, WriteSealRefusesAFileTooShortForTheSeal)
{
    const fs::path path = m_folder / "short.tsp";
    writeBytes(path, std::vector<uint8_t>(40, 'x'));
    EXPECT_FALSE(writeSeal(path));
    EXPECT_EQ(fs::file_size(path), 40u);
}

TEST_F(ProjectFileTest, FailedSavesLeaveThePreviousFileOpenable)
{
    model::Job old;
    addExamplePair(old);
    const fs::path path = m_folder / "job.tsp";
    ASSERT_TRUE(saveProject(old, path));
    const auto before = contentOf(path);

    // A text no reader accepts fails before anything is written.
    model::Job unstorable;
    unstorable.addPair();
    EXPECT_FALSE(saveProject(unstorable, path));
    EXPECT_FALSE(writeProject(unstorable, path));

    // A write that fails halfway (file-size limit, as on a full disk).
    struct rlimit saved = {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const model::Job big = bigJob();
    const bool bigSave = saveProject(big, path);
    const bool bigWrite = writeProject(big, path);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(bigSave);
    EXPECT_FALSE(bigWrite);

    EXPECT_EQ(contentOf(path), before);
    EXPECT_EQ(entriesInFolder(), 1u) << "no temporary file is left behind";
    model::Job read;
    EXPECT_TRUE(openProject(read, path));

    // A folder that does not exist.
    EXPECT_FALSE(saveProject(old, m_folder / "missing" / "job.tsp"));
}

TEST_F(ProjectFileTest, SaveOverAFolderFailsAndKeepsIt)
{
    const fs::path path = m_folder / "job.tsp";
    fs::create_directories(path / "inside");
    model::Job job;
    EXPECT_FALSE(saveProject(job, path));
    EXPECT_TRUE(fs::is_directory(path / "inside"));
    EXPECT_EQ(entriesInFolder(), 1u);
}

namespace {

// The largest job the pair dialog can make: every text at its byte limit, every list the
// longest ';'-separated text cut into the most items, three UTF-8 bytes per character, and
// every option of the extension block set.
model::Job largestJob()
{
    std::u16string list = u"ああ";
    while (list.size() < model::kPatternTextCapacity)
        list += u";あ";
    const std::u16string path = std::u16string(86, u'あ') + u"ab"; // 260 bytes
    model::Job job;
    for (int i = 0; i < model::kMaxPairs; ++i) {
        model::FolderPair* pair = job.addPair();
        pair->name = u"abcdefghijklmnopqrst";
        pair->orgPath = path;
        pair->tgtPath = path;
        for (int kind = 1; kind <= 4; ++kind)
            model::parsePatternList(*pair, list, static_cast<model::PatternListKind>(kind));
        pair->extras.rememberState = true;
        pair->extras.conflictPolicy = model::ConflictPolicy::KeepBoth;
        pair->extras.versionsFolder = std::string(model::kMaxVersionsFolderBytes, 'v');
        pair->extras.keepVersions = 1;
        pair->extras.keepDays = 1;
        model::settlePairId(pair->extras);
    }
    return job;
}

} // namespace

// The size bound is the largest real project: that one opens, one byte more is refused, and a
// job that would be larger (lists longer than the dialog makes) is not saved.
TEST_F(ProjectFileTest, LargestProjectOpensAndAnythingLargerIsRefused)
{
    const fs::path path = m_folder / "largest.tsp";
    ASSERT_TRUE(saveProject(largestJob(), path));
    EXPECT_EQ(fs::file_size(path), kMaxProjectBytes);
    model::Job read;
    ASSERT_TRUE(openProject(read, path));
    EXPECT_EQ(read.count(), model::kMaxPairs);
    EXPECT_EQ(read.pairAt(99)->excludeFolders.size(), 511u);

    FileBuilder grown;
    grown.bytes = contentOf(path);
    grown.bytes.push_back(0);
    writeBytes(path, grown.seal().bytes);
    model::Job refused;
    EXPECT_FALSE(openProject(refused, path));
    EXPECT_FALSE(verifySeal(path));

    model::Job tooLong;
    model::FolderPair* pair = tooLong.addPair();
    pair->orgPath = u"/o";
    pair->tgtPath = u"/t";
    for (std::size_t i = 0; i < kMaxProjectBytes / 5; ++i)
        pair->excludeFiles.append(u"x");
    EXPECT_FALSE(saveProject(tooLong, m_folder / "long.tsp"));
    EXPECT_FALSE(fs::exists(m_folder / "long.tsp"));
}

// A 64 MiB file given as a project is refused at once, without being read into memory: the
// memory high-water mark of a fresh process that opens it stays far below the file's size.
TEST_F(ProjectFileTest, HugeFileIsRefusedWithoutBeingReadWhole)
{
    const fs::path path = m_folder / "huge.tsp";
    FileBuilder start;
    start.header().u32(1).pair("/o");
    writeBytes(path, start.bytes);
    fs::resize_file(path, std::uintmax_t{64} << 20);

    int results[2] = {};
    ASSERT_EQ(::pipe(results), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A fresh process starts its high-water mark at its present size.
        struct rusage before = {};
        struct rusage after = {};
        ::getrusage(RUSAGE_SELF, &before);
        const auto started = std::chrono::steady_clock::now();
        model::Job job;
        const bool opened = openProject(job, path);
        const long ms = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                .count());
        ::getrusage(RUSAGE_SELF, &after);
        const long report[3] = {opened, after.ru_maxrss - before.ru_maxrss, ms};
        (void)!::write(results[1], report, sizeof report);
        ::_exit(0);
    }
    ::close(results[1]);
    long report[3] = {-1, -1, -1};
    const ssize_t got = ::read(results[0], report, sizeof report);
    ::close(results[0]);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof report));
    EXPECT_EQ(report[0], 0) << "refused";
    EXPECT_LT(report[1], 8 * 1024) << "KiB of memory grown while refusing it";
    EXPECT_LT(report[2], 1000) << "ms to refuse it";
}

// Every refusal is told apart, so a front end can say why; a file that opens tells None.
TEST_F(ProjectFileTest, OpenTellsWhyAFileWasRefused)
{
    model::Job job;
    addExamplePair(job);
    const fs::path good = m_folder / "good.tsp";
    ASSERT_TRUE(saveProject(job, good));
    const std::vector<uint8_t> goodBytes = contentOf(good);

    std::vector<uint8_t> flipped = goodBytes;
    flipped[100] ^= 0x40;
    writeBytes(m_folder / "flipped.tsp", flipped);
    writeBytes(m_folder / "cut.tsp", std::vector<uint8_t>(goodBytes.begin(), goodBytes.begin() + 120));
    writeBytes(m_folder / "text.tsp", {'h', 'e', 'l', 'l', 'o'});
    writeBytes(m_folder / "empty.tsp", {});
    // Text after the banner reads as a huge version: damaged, not newer.
    FileBuilder garbled;
    garbled.raw(kProjectBanner).raw("but not really, and some more text to fill a header");
    writeBytes(m_folder / "garbled.tsp", garbled.bytes);
    FileBuilder newer;
    newer.header(101).u32(1).pair("/o").seal();
    writeBytes(m_folder / "newer.tsp", newer.bytes);
    // An extension block that is cut inside its record: sealed, so the pairs are what is damaged.
    FileBuilder damagedBlock;
    damagedBlock.bytes = goodBytes;
    damagedBlock.raw("TAVRELPX").u32(8).u32(1).u32(0).seal();
    writeBytes(m_folder / "block.tsp", damagedBlock.bytes);
    FileBuilder tooMany;
    tooMany.header().u32(101).pair("/o").seal();
    writeBytes(m_folder / "toomany.tsp", tooMany.bytes);
    std::vector<uint8_t> large = goodBytes;
    large.resize(kMaxProjectBytes + 1);
    writeBytes(m_folder / "large.tsp", large);
    const fs::path fifo = m_folder / "fifo.tsp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(m_folder / "folder.tsp");

    const struct
    {
        fs::path path;
        ProjectRefusal refusal;
        std::string text;
    } cases[] = {
        {good, ProjectRefusal::None, "opened"},
        {m_folder / "missing.tsp", ProjectRefusal::NotFound, "no such file"},
        {m_folder / "good.tsp/below.tsp", ProjectRefusal::NotFound, "no such file"},
        {m_folder / "folder.tsp", ProjectRefusal::NotAFile, "not a file"},
        {fifo, ProjectRefusal::NotAFile, "not a file"},
        {m_folder / "large.tsp", ProjectRefusal::TooLarge,
         "too large for a project file (over 1908794 bytes)"},
        {m_folder / "text.tsp", ProjectRefusal::NotAProjectFile, "not a project file"},
        {m_folder / "empty.tsp", ProjectRefusal::NotAProjectFile, "not a project file"},
        {m_folder / "newer.tsp", ProjectRefusal::NewerVersion, "made by a newer version of the program"},
        {m_folder / "flipped.tsp", ProjectRefusal::DamagedSeal,
         "damaged: its seal does not match its contents"},
        {m_folder / "cut.tsp", ProjectRefusal::DamagedSeal, "damaged: its seal does not match its contents"},
        {m_folder / "garbled.tsp", ProjectRefusal::DamagedSeal,
         "damaged: its seal does not match its contents"},
        {m_folder / "toomany.tsp", ProjectRefusal::DamagedContents, "damaged: its pairs cannot be read"},
        {m_folder / "block.tsp", ProjectRefusal::DamagedContents, "damaged: its pairs cannot be read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        model::Job read;
        OpenFailure failure{ProjectRefusal::ReadFailed, 1};
        EXPECT_EQ(openProject(read, c.path, failure), c.refusal == ProjectRefusal::None);
        EXPECT_EQ(failure.refusal, c.refusal);
        EXPECT_EQ(refusalText(failure), c.text);
        // The old form keeps its answer.
        model::Job again;
        EXPECT_EQ(openProject(again, c.path), c.refusal == ProjectRefusal::None);
    }
    EXPECT_EQ(refusalText({ProjectRefusal::ReadFailed, EIO}), "Input/output error");
}

// A file that may not be read is told apart from one that is missing. Root reads any file,
// so the check runs in a child that has given root up.
TEST_F(ProjectFileTest, OpenTellsPermissionDenied)
{
    model::Job job;
    addExamplePair(job);
    const fs::path path = m_folder / "locked.tsp";
    ASSERT_TRUE(saveProject(job, path));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        model::Job read;
        OpenFailure failure;
        const bool told = !openProject(read, path, failure) &&
                          failure.refusal == ProjectRefusal::PermissionDenied &&
                          refusalText(failure) == "permission denied";
        ::_exit(told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not told as permission denied; 2: could not give root up";
}

// A failed save hands out the system's reason.
TEST_F(ProjectFileTest, FailedSaveTellsTheSystemError)
{
    model::Job job;
    addExamplePair(job);
    std::error_code error = std::make_error_code(std::errc::io_error);
    EXPECT_TRUE(saveProject(job, m_folder / "job.tsp", error));
    EXPECT_FALSE(error);
    EXPECT_FALSE(saveProject(job, m_folder / "no-such-folder/job.tsp", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}
