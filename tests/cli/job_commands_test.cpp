// SPDX-License-Identifier: GPL-3.0-or-later
// Making and keeping jobs from the command line: `new` and `edit`, their checks, and what the
// commands say about a project file they cannot open.
#include "model/job.h"
#include "project/project_codec.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace tavrel;
namespace fs = std::filesystem;

namespace {

using Outcome = tavrel::test::ProgramOutcome;
using Arguments = std::vector<std::string>;

class JobCommandTest : public ::testing::Test
{
protected:
    Outcome run(const Arguments& arguments) const
    {
        return tavrel::test::runProgram(TAVREL_CLI_PATH, arguments, m_dir.path(), m_dir.path());
    }
    std::string path(const std::string& name) const { return m_dir / name; }
    std::string bytesOf(const std::string& file) const
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    model::Job open(const std::string& file) const
    {
        model::Job job;
        EXPECT_TRUE(project::openProject(job, file));
        return job;
    }

    tavrel::test::TempDir m_dir;
};

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

// The pair the window's Add Pair and OK would make over `org` and `tgt`.
model::FolderPair windowPair(const char16_t* name, model::SyncMethod method, const std::string& org,
                             const std::string& tgt)
{
    model::FolderPair pair;
    pair.name = name;
    pair.method = method;
    pair.orgPath = text::fromUtf8(org);
    pair.tgtPath = text::fromUtf8(tgt);
    pair.includeFiles.append(u"*");
    pair.includeFolders.append(u"*");
    pair.includeSubfolders = 1;
    pair.recycleDeleted = 1;
    return pair;
}

TEST_F(JobCommandTest, NewWritesEveryOptionAndShowPrintsIt)
{
    const Outcome made = run({"new",
                              "job.TSP",
                              "--pair",
                              "Docs",
                              "absolute",
                              "docs",
                              "/backup/docs",
                              "--include-files",
                              "*.odt; *.ods",
                              "--exclude-files=~*;*.tmp",
                              "--include-folders",
                              "2024;2025",
                              "--exclude-folders",
                              ".cache",
                              "--check",
                              "notcheck",
                              "--read-only",
                              "copyonly",
                              "--hidden=ignore",
                              "--system",
                              "IGNORE",
                              "--no-subfolders",
                              "--no-recycle",
                              "--disabled",
                              "--pair",
                              "Photos",
                              "sync",
                              "/data/Photos",
                              "/backup/photos"});
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(made.out, "");
    EXPECT_EQ(made.err, "");

    // A relative ORG is stored whole, from the folder the command ran in.
    const std::string docsPath = (fs::canonical(m_dir.path()) / "docs").string();
    model::FolderPair docs = windowPair(u"Docs", model::SyncMethod::AbsoluteCopy, docsPath, "/backup/docs");
    docs.includeFiles.clear();
    docs.includeFiles.append(u"*.odt");
    docs.includeFiles.append(u"*.ods");
    docs.excludeFiles.append(u"~*");
    docs.excludeFiles.append(u"*.tmp");
    docs.includeFolders.clear();
    docs.includeFolders.append(u"2024");
    docs.includeFolders.append(u"2025");
    docs.excludeFolders.append(u".cache");
    docs.contentCheck = model::ContentCheckMode::NotCheck;
    docs.readOnlyMode = model::AttributeMode::CopyOnly;
    docs.hiddenMode = model::AttributeMode::Ignore;
    docs.systemMode = model::AttributeMode::Ignore;
    docs.includeSubfolders = 0;
    docs.recycleDeleted = 0;
    docs.enabled = 0;
    const model::Job job = open(path("job.TSP"));
    ASSERT_EQ(job.count(), 2);
    EXPECT_EQ(*job.pairAt(0), docs);
    EXPECT_EQ(*job.pairAt(1),
              windowPair(u"Photos", model::SyncMethod::Synchronize, "/data/Photos", "/backup/photos"));

    const Outcome shown = run({"show", "job.TSP"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, "job.TSP: 2 pairs\n"
                         "\n[slot 0] Docs\n"
                         "  Enabled:                               NO\n"
                         "  ORG:                                   " +
                             docsPath +
                             "\n"
                             "  TGT:                                   /backup/docs\n"
                             "  Method: Absolute Copy\n"
                             "  Files/Folders to include:              *.odt; *.ods / 2024; 2025\n"
                             "  Files/Folders to exclude:              ~*; *.tmp / .cache\n"
                             "  Check file contents:                   NOT CHECK\n"
                             "  Read-only files:                       COPY ONLY\n"
                             "  Hidden files:                          IGNORE\n"
                             "  System files:                          IGNORE\n"
                             "  Include subfolders:                    NO\n"
                             "  Take the deleted files to recycle bin: NO\n"
                             "\n[slot 1] Photos\n"
                             "  Enabled:                               YES\n"
                             "  ORG:                                   /data/Photos\n"
                             "  TGT:                                   /backup/photos\n"
                             "  Method: Synchronize\n"
                             "  Files/Folders to include:              * / *\n"
                             "  Files/Folders to exclude:              (None) / (None)\n"
                             "  Check file contents:                   Auto\n"
                             "  Read-only files:                       INVOLVE\n"
                             "  Hidden files:                          INVOLVE\n"
                             "  System files:                          INVOLVE\n"
                             "  Include subfolders:                    YES\n"
                             "  Take the deleted files to recycle bin: YES\n");
}

TEST_F(JobCommandTest, EditAddsChangesEnablesDisablesAndRemovesPairs)
{
    ASSERT_EQ(run({"new", "job.TSP", "--pair", "Docs", "copy", "/d", "/e", "--pair", "Photos", "update", "/p",
                   "/q", "--pair", "Music", "light", "/m", "/n", "--disabled"})
                  .status,
              0);
    // The same edit twice: the first time a flag given a value refuses all of it.
    const Arguments edit = {"edit",
                            "job.TSP",
                            "--change",
                            "Docs",
                            "--name",
                            "Letters",
                            "--method",
                            "sync",
                            "--org",
                            "/letters",
                            "--exclude-files",
                            "*.bak",
                            "--no-recycle",
                            "--remove",
                            "1",
                            "--enable",
                            "Music",
                            "--disable",
                            "0",
                            "--pair",
                            "Video",
                            "absolute",
                            "/v",
                            "/w",
                            "--check",
                            "check",
                            "--change",
                            "Video"};
    const auto editThen = [&edit](Arguments last) {
        last.insert(last.begin(), edit.begin(), edit.end());
        return last;
    };
    const Outcome edited = run(editThen({"--subfolders=x"}));
    EXPECT_EQ(edited.status, 64) << "a wrong flag value refuses the whole edit";
    EXPECT_EQ(firstLine(edited.err), "tavrel-sync-cli: edit: --subfolders takes no value");
    const std::string before = bytesOf(path("job.TSP"));

    const Outcome again = run(editThen({"--hidden", "ignore"}));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_NE(bytesOf(path("job.TSP")), before);

    model::FolderPair letters = windowPair(u"Letters", model::SyncMethod::Synchronize, "/letters", "/e");
    letters.excludeFiles.append(u"*.bak");
    letters.recycleDeleted = 0;
    letters.enabled = 0;
    model::FolderPair video = windowPair(u"Video", model::SyncMethod::AbsoluteCopy, "/v", "/w");
    video.contentCheck = model::ContentCheckMode::Check;
    video.hiddenMode = model::AttributeMode::Ignore;
    const model::Job job = open(path("job.TSP"));
    // The added pair takes the lowest free slot, as the window's Add Pair does.
    ASSERT_EQ(job.count(), 3);
    EXPECT_EQ(*job.pairAt(0), letters);
    EXPECT_EQ(*job.pairAt(1), video);
    EXPECT_EQ(*job.pairAt(2), windowPair(u"Music", model::SyncMethod::LightCopy, "/m", "/n"));

    const Outcome shown = run({"show", "job.TSP"});
    EXPECT_NE(shown.out.find("[slot 0] Letters\n  Enabled:                               NO\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("[slot 1] Video\n  Enabled:                               YES\n"),
              std::string::npos);
    EXPECT_NE(shown.out.find("[slot 2] Music\n  Enabled:                               YES\n"),
              std::string::npos);
}

TEST_F(JobCommandTest, NewKeepsAnExistingFileUnlessForced)
{
    ASSERT_EQ(run({"new", "job.TSP", "--pair", "A", "copy", "/a", "/b"}).status, 0);
    const std::string before = bytesOf(path("job.TSP"));
    const Outcome kept = run({"new", "job.TSP", "--pair", "B", "copy", "/c", "/d"});
    EXPECT_EQ(kept.status, 73);
    EXPECT_EQ(kept.err,
              "tavrel-sync-cli: Failed to save TSP file.\ntavrel-sync-cli: job.TSP: exists; --force "
              "replaces it\n");
    EXPECT_EQ(bytesOf(path("job.TSP")), before);

    ASSERT_EQ(run({"new", "--force", "job.TSP", "--pair", "B", "copy", "/c", "/d"}).status, 0);
    EXPECT_EQ(open(path("job.TSP")).pairAt(0)->name, u"B");

    const Outcome unwritable = run({"new", "no-such-folder/job.TSP", "--pair", "B", "copy", "/c", "/d"});
    EXPECT_EQ(unwritable.status, 73);
    EXPECT_EQ(unwritable.err,
              "tavrel-sync-cli: Failed to save TSP file.\ntavrel-sync-cli: no-such-folder/job.TSP: "
              "No such file or directory\n");
}

// A job file made read-only is kept as it is, though its folder would let it be replaced;
// --force does not override it either.
TEST_F(JobCommandTest, ReadOnlyJobFileIsNotWrittenOver)
{
    ASSERT_EQ(run({"new", "job.TSP", "--pair", "A", "copy", "/a", "/b"}).status, 0);
    ASSERT_EQ(::chmod(path("job.TSP").c_str(), 0444), 0);
    const std::string before = bytesOf(path("job.TSP"));
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"edit", "job.TSP", "--disable", "A"},
          std::vector<std::string>{"new", "--force", "job.TSP", "--pair", "B", "copy", "/c", "/d"}}) {
        SCOPED_TRACE(arguments[0]);
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 73);
        EXPECT_EQ(outcome.err,
                  "tavrel-sync-cli: Failed to save TSP file.\ntavrel-sync-cli: job.TSP: Permission denied\n");
        EXPECT_EQ(bytesOf(path("job.TSP")), before);
    }
}

// "--" ends the options: a project file may then begin with "-"; values of an option are
// taken as they are, also when they begin with "-".
TEST_F(JobCommandTest, OptionsEndAndDashValues)
{
    const Outcome made =
        run({"new", "--pair", "-x", "copy", "/a", "/b", "--exclude-files", "-draft*", "--", "-job.TSP"});
    ASSERT_EQ(made.status, 0) << made.err;
    const model::Job job = open(path("-job.TSP"));
    EXPECT_EQ(job.pairAt(0)->name, u"-x");
    EXPECT_EQ(job.pairAt(0)->excludeFiles.items(), std::vector<std::u16string>{u"-draft*"});

    ASSERT_EQ(run({"edit", "--remove", "-x", "--", "-job.TSP"}).status, 0);
    EXPECT_EQ(open(path("-job.TSP")).count(), 0);
    EXPECT_EQ(run({"show", "--", "-job.TSP"}).out, "-job.TSP: 0 pairs\n");
}

TEST_F(JobCommandTest, EachCommandHasItsOwnHelp)
{
    const struct
    {
        std::string command;
        std::string usage;
        std::string mention;
    } cases[] = {
        {"run", "usage: tavrel-sync-cli run JOB.TSP [--report FILE]", "--no-progress"},
        {"show", "usage: tavrel-sync-cli show JOB.TSP", "slot number"},
        {"new", "usage: tavrel-sync-cli new JOB.TSP --pair NAME METHOD ORG TGT",
         "--exclude-folders PATTERNS"},
        {"edit", "usage: tavrel-sync-cli edit JOB.TSP ACTION", "--remove PAIR"},
        {"schedule", "usage: tavrel-sync-cli schedule JOB.TSP --daily HH:MM | --hourly", "--on-login"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        const Outcome help = run({c.command, "--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.out.starts_with(c.usage)) << help.out;
        EXPECT_NE(help.out.find(c.mention), std::string::npos) << help.out;
        EXPECT_EQ(help.err, "");
    }
}

// Every wrong value is refused with the option it came with, and nothing is written.
TEST_F(JobCommandTest, EveryUsageErrorNamesItsOption)
{
    ASSERT_EQ(run({"new", "job.TSP", "--pair", "Docs", "copy", "/d", "/e", "--pair", "Twin", "copy", "/t",
                   "/u", "--pair", "Twin", "copy", "/v", "/w"})
                  .status,
              0);
    const std::string before = bytesOf(path("job.TSP"));
    std::string longPath(260, 'p');
    longPath[0] = '/';
    const std::string longItem(260, 'i');
    const std::string longList(1023, 'l');
    const Arguments pair = {"new", "x.TSP", "--pair", "A", "copy", "/a", "/b"};
    const auto with = [&pair](const Arguments& more) {
        Arguments all = pair;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const struct
    {
        Arguments arguments;
        std::string message;
    } cases[] = {
        {{"new"}, "new: no project file given"},
        {{"new", "x.TSP"}, "new: no pair given (--pair NAME METHOD ORG TGT)"},
        {{"new", "x.TSP", "y.TSP", "--pair", "A", "copy", "/a", "/b"},
         "new: one project file only (x.TSP and y.TSP)"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a"}, "new: --pair needs NAME METHOD ORG TGT"},
        {{"new", "x.TSP", "--pair=A", "copy", "/a", "/b"},
         "new: --pair takes NAME METHOD ORG TGT as separate arguments"},
        {{"new", "x.TSP", "--pair", "  ", "copy", "/a", "/b"}, "new: --pair: a pair name cannot be empty"},
        {{"new", "x.TSP", "--pair", "A\tB", "copy", "/a", "/b"},
         "new: --pair: a pair name cannot hold control characters"},
        {{"new", "x.TSP", "--pair", "123456789012345678901", "copy", "/a", "/b"},
         "new: --pair: the pair name 123456789012345678901 is 21 bytes of UTF-8; a pair name holds at most "
         "20"},
        {{"new", "x.TSP", "--pair", "ÄÄÄÄÄÄÄÄÄÄÄ", "copy", "/a", "/b"},
         "new: --pair: the pair name ÄÄÄÄÄÄÄÄÄÄÄ is 22 bytes of UTF-8; a pair name holds at most 20"},
        {{"new", "x.TSP", "--pair", "A", "mirror", "/a", "/b"},
         "new: --pair: unknown method \"mirror\" (light, update, copy, absolute or sync)"},
        {{"new", "x.TSP", "--pair", "A", "copy", "", "/b"}, "new: --pair: the ORG path cannot be empty"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a", " "}, "new: --pair: the TGT path cannot be empty"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a", longPath},
         "new: --pair: the TGT path " + longPath +
             " is 260 bytes of UTF-8; a pair keeps at most 259 characters in 260 bytes"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a\xff", "/b"},
         "new: --pair: ORG /a\\xFF is not valid UTF-8"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/data/Photos", "/DATA/photos/2024"},
         "new: --pair A: ORG /data/Photos and TGT /DATA/photos/2024 overlap; neither may lie inside the "
         "other"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a/b", "/a/c/../b/"},
         "new: --pair A: ORG /a/b and TGT /a/c/../b/ overlap; neither may lie inside the other"},
        // The dialog refuses these three as well: both resolve the dots on the text.
        {{"new", "x.TSP", "--pair", "A", "copy", "/a/./b", "/a/b"},
         "new: --pair A: ORG /a/./b and TGT /a/b overlap; neither may lie inside the other"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/data/../x", "/x"},
         "new: --pair A: ORG /data/../x and TGT /x overlap; neither may lie inside the other"},
        {{"new", "x.TSP", "--pair", "A", "copy", "/a/x/../b", "/a/b/c"},
         "new: --pair A: ORG /a/x/../b and TGT /a/b/c overlap; neither may lie inside the other"},
        {{"new", "x.TSP", "--hidden", "ignore"},
         "new: --hidden: pair options follow --pair NAME METHOD ORG TGT"},
        {{"new", "x.TSP", "--change", "A"}, "new: unknown option --change"},
        {with({"--bogus"}), "new: unknown option --bogus"},
        {with({"--check", "sometimes"}),
         "new: --check: unknown content check \"sometimes\" (auto, check or notcheck)"},
        {with({"--check"}), "new: --check needs a value"},
        {with({"--read-only", "keep"}),
         "new: --read-only: unknown mode \"keep\" (involve, copyonly or ignore)"},
        {with({"--hidden", ""}), "new: --hidden: unknown mode \"\" (involve, copyonly or ignore)"},
        {with({"--system=no"}), "new: --system: unknown mode \"no\" (involve, copyonly or ignore)"},
        {with({"--include-files", " ; "}),
         "new: --include-files: needs at least one pattern (* for all files)"},
        {with({"--include-folders="}),
         "new: --include-folders: needs at least one pattern (* for all folders)"},
        {with({"--exclude-files", "*.tmp;docs/*.txt"}),
         "new: --exclude-files: the pattern docs/*.txt holds a '/'; patterns match names, not paths"},
        {with({"--exclude-folders", longList}),
         "new: --exclude-folders: the pattern list is longer than 1022 characters"},
        {with({"--exclude-folders", "a;" + longItem}), "new: --exclude-folders: the pattern " +
                                                           longItem.substr(0, 40) +
                                                           "... is longer than 259 characters"},
        {with({"--no-recycle=yes"}), "new: --no-recycle takes no value"},
        {with({"--name", ""}), "new: --name: a pair name cannot be empty"},
        {with({"--method", "both"}),
         "new: --method: unknown method \"both\" (light, update, copy, absolute or sync)"},
        {with({"--tgt", "/a/sub"}),
         "new: --pair A: ORG /a and TGT /a/sub overlap; neither may lie inside the other"},
        {{"edit", "job.TSP"}, "edit: nothing to change (--pair, --change, --enable, --disable or --remove)"},
        {{"edit", "--remove", "0"}, "edit: no project file given"},
        {{"edit", "job.TSP", "--force", "--remove", "0"}, "edit: unknown option --force"},
        {{"edit", "job.TSP", "--hidden", "ignore"},
         "edit: --hidden: pair options follow --pair NAME METHOD ORG TGT or --change PAIR"},
        {{"edit", "job.TSP", "--remove", "0", "--hidden", "ignore"},
         "edit: --hidden: pair options follow --pair NAME METHOD ORG TGT or --change PAIR"},
        {{"edit", "job.TSP", "--change"}, "edit: --change needs a value"},
        {{"edit", "job.TSP", "--enable", ""}, "edit: --enable needs a PAIR (a slot number or a pair's name)"},
        {{"edit", "job.TSP", "--remove", "7"},
         "edit: --remove 7: no pair in slot 7 (`show` lists the slots)"},
        {{"edit", "job.TSP", "--disable", "Nope"}, "edit: --disable Nope: no pair of that name"},
        {{"edit", "job.TSP", "--change", "Twin", "--check", "auto"},
         "edit: --change Twin: 2 pairs have that name (slots 1, 2); give the slot"},
        {{"edit", "job.TSP", "--remove", "0", "--change", "Docs"},
         "edit: --change Docs: no pair of that name"},
        {{"edit", "job.TSP", "--change", "0", "--org", "/e/f"},
         "edit: --change 0: ORG /e/f and TGT /e overlap; neither may lie inside the other"},
        {{"edit", "job.TSP", "--change", "1", "--check", "maybe"},
         "edit: --check: unknown content check \"maybe\" (auto, check or notcheck)"},
        {{"run"}, "run: no project file given"},
        {{"run", "job.TSP", "--report="}, "run: --report needs a file"},
        {{"run", "job.TSP", "--report"}, "run: --report needs a value"},
        {{"run", "job.TSP", "--json=yes"}, "run: --json takes no value"},
        {{"run", "job.TSP", "--dry-run=yes"}, "run: --dry-run takes no value"},
        {{"run", "job.TSP", "--allow-mass-delete=1"}, "run: --allow-mass-delete takes no value"},
        {{"run", "job.TSP", "--bogus"}, "run: unknown option --bogus"},
        {{"show", "job.TSP", "--json"}, "show: unknown option --json"},
        {with({"--remember"}), "new: --pair A: --remember is an option of Synchronize pairs only (--method "
                               "sync); this pair is Copy"},
        {{"edit", "job.TSP", "--change", "0", "--remember"},
         "edit: --change 0: --remember is an option of Synchronize pairs only (--method sync); this pair is "
         "Copy"},
        {with({"--remember=yes"}), "new: --remember takes no value"},
        {with({"--conflicts", "newest"}),
         "new: --conflicts: unknown conflict policy \"newest\" (skip, keep-both, org-wins or tgt-wins)"},
        {with({"--conflicts"}), "new: --conflicts needs a value"},
        {with({"--keep-versions", "-1"}), "new: --keep-versions: -1 is not a whole number from 0 to 100000"},
        {with({"--keep-versions", "100001"}),
         "new: --keep-versions: 100001 is not a whole number from 0 to 100000"},
        {with({"--keep-days", "1e3"}), "new: --keep-days: 1e3 is not a whole number from 0 to 36500"},
        {with({"--keep-days", ""}), "new: --keep-days: \"\" is not a whole number from 0 to 36500"},
        {with({"--versions", "/a/.versions"}), "new: --pair A: the versions folder /a/.versions lies inside "
                                               "ORG /a; it must be outside both folders"},
        {with({"--versions", "/B"}),
         "new: --pair A: the versions folder /B lies inside TGT /b; it must be outside both folders"},
        {with({"--versions", "/x/../b/v/"}),
         "new: --pair A: the versions folder /b/v lies inside TGT /b; it must be outside both folders"},
        {with({"--versions", "/v\xff"}), "new: --versions: the versions folder /v\\xFF is not valid UTF-8"},
        {with({"--versions", "/" + std::string(4095, 'v')}),
         "new: --versions: the versions folder is longer than 4095 bytes"},
        {{"state"}, "state: no action given (forget)"},
        {{"state", "remember", "job.TSP", "0"}, "state: unknown action remember (forget)"},
        {{"state", "forget", "job.TSP"}, "state: forget needs JOB.TSP PAIR"},
        {{"state", "forget", "job.TSP", "0", "--all"}, "state: unknown option --all"},
        {{"state", "forget", "job.TSP", "9"}, "state: forget 9: no pair in slot 9 (`show` lists the slots)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.status, 64);
        EXPECT_EQ(outcome.out, "");
        const std::string command = c.message.substr(0, c.message.find(':'));
        EXPECT_EQ(outcome.err, "tavrel-sync-cli: " + c.message + "\nTry 'tavrel-sync-cli " + command +
                                   " --help' for more information.\n");
    }
    EXPECT_FALSE(fs::exists(path("x.TSP")));
    EXPECT_EQ(bytesOf(path("job.TSP")), before);
}

// A refused project file: the first line stays what the window says, the second names the
// file and why, for every command that opens one.
TEST_F(JobCommandTest, RefusalsSayWhy)
{
    ASSERT_EQ(run({"new", "good.TSP", "--pair", "A", "copy", "/a", "/b"}).status, 0);
    std::string bytes = bytesOf(path("good.TSP"));
    std::string flipped = bytes;
    flipped[100] ^= 0x40;
    std::ofstream(path("damaged.TSP"), std::ios::binary) << flipped;
    std::ofstream(path("notes.TSP")) << "shopping list\n";
    std::string newer = bytes;
    newer[54] = 101;
    std::ofstream(path("newer.TSP"), std::ios::binary) << newer;
    bytes.resize(project::kMaxProjectBytes + 1);
    std::ofstream(path("large.TSP"), std::ios::binary) << bytes;
    fs::create_directory(path("folder.TSP"));

    const struct
    {
        std::string file;
        std::string reason;
    } cases[] = {
        {"missing.TSP", "missing.TSP: no such file"},
        {"folder.TSP", "folder.TSP: not a file"},
        {"notes.TSP", "notes.TSP: not a project file"},
        {"damaged.TSP", "damaged.TSP: damaged: its seal does not match its contents"},
        {"newer.TSP", "newer.TSP: made by a newer version of the program"},
        {"large.TSP", "large.TSP: too large for a project file (over 1908794 bytes)"},
        {"", "\"\": no such file"},
    };
    for (const auto& c : cases) {
        for (const Arguments& arguments :
             {Arguments{"show", c.file}, Arguments{"run", c.file, "--report", "r.htm"},
              Arguments{"edit", c.file, "--remove", "0"}}) {
            SCOPED_TRACE(arguments[0] + " " + c.file);
            const Outcome outcome = run(arguments);
            EXPECT_EQ(outcome.status, 3);
            EXPECT_EQ(outcome.out, "");
            EXPECT_EQ(outcome.err,
                      "tavrel-sync-cli: Failed to open TSP file.\ntavrel-sync-cli: " + c.reason + "\n");
        }
    }
}

TEST_F(JobCommandTest, RefusalSaysPermissionDenied)
{
    ASSERT_EQ(run({"new", "locked.TSP", "--pair", "A", "copy", "/a", "/b"}).status, 0);
    ASSERT_EQ(::chmod(path("locked.TSP").c_str(), 0), 0);
    // Root reads any file: the runner then runs as nobody.
    Outcome outcome;
    if (::geteuid() == 0) {
        if (::access("/usr/bin/setpriv", X_OK) != 0)
            GTEST_SKIP() << "run by root without setpriv to give root up";
        outcome = tavrel::test::runProgram(
            "/usr/bin/setpriv",
            {"--reuid=65534", "--regid=65534", "--clear-groups", TAVREL_CLI_PATH, "show", path("locked.TSP")},
            m_dir.path());
    } else {
        outcome = run({"show", path("locked.TSP")});
    }
    EXPECT_EQ(outcome.status, 3);
    EXPECT_EQ(outcome.err, "tavrel-sync-cli: Failed to open TSP file.\ntavrel-sync-cli: " +
                               path("locked.TSP") + ": permission denied\n");
}

} // namespace

// The options of a remembering Synchronize pair: kept in the file, shown by `show`, changed by
// `edit`, and the pair's id given once and kept through every later edit.
TEST_F(JobCommandTest, SynchronizeOptionsAreKeptShownAndEdited)
{
    const Outcome made = run({"new",
                              "job.TSP",
                              "--pair",
                              "Docs",
                              "copy",
                              "/d",
                              "/e",
                              "--pair",
                              "Photos",
                              "sync",
                              "/data/Photos",
                              "/backup/photos",
                              "--remember",
                              "--conflicts",
                              "keep-both",
                              "--versions",
                              "versions/photos",
                              "--keep-versions",
                              "5",
                              "--keep-days=30"});
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string versions = (fs::canonical(m_dir.path()) / "versions/photos").string();
    model::Job job = open(path("job.TSP"));
    ASSERT_EQ(job.count(), 2);
    EXPECT_TRUE(job.pairAt(0)->extras.isDefault()) << "a pair without the options gets no id";
    const model::PairExtras& extras = job.pairAt(1)->extras;
    EXPECT_TRUE(extras.rememberState);
    EXPECT_EQ(extras.conflictPolicy, model::ConflictPolicy::KeepBoth);
    EXPECT_EQ(extras.versionsFolder, versions);
    EXPECT_EQ(extras.keepVersions, 5u);
    EXPECT_EQ(extras.keepDays, 30u);
    ASSERT_TRUE(extras.hasPairId());
    const model::PairId id = extras.pairId;

    const Outcome shown = run({"show", "job.TSP"});
    EXPECT_EQ(shown.status, 0);
    const std::string tail = "  Take the deleted files to recycle bin: YES\n"
                             "  Remember state:                        YES\n"
                             "  Conflicts:                             keep-both\n"
                             "  Versions folder:                       " +
                             versions +
                             "\n"
                             "  Keep versions:                         5\n"
                             "  Keep days:                             30\n"
                             "  Pair id:                               " +
                             model::pairIdText(id) + "\n";
    EXPECT_TRUE(shown.out.ends_with(tail)) << shown.out;
    EXPECT_EQ(shown.out.find("Remember state"), shown.out.rfind("Remember state"))
        << "only the pair that has it";

    // Back to every default: the id stays, so the pair keeps finding its state.
    ASSERT_EQ(run({"edit", "job.TSP", "--change", "Photos", "--no-remember", "--conflicts", "skip",
                   "--versions", "", "--keep-versions", "0", "--keep-days", "0", "--name", "Pics"})
                  .status,
              0);
    job = open(path("job.TSP"));
    EXPECT_FALSE(job.pairAt(1)->extras.hasOptions());
    EXPECT_EQ(job.pairAt(1)->extras.pairId, id);
    EXPECT_TRUE(
        run({"show", "job.TSP"})
            .out.ends_with("  Pair id:                               " + model::pairIdText(id) + "\n"));

    // Leaving Synchronize needs the memory off first; the refusal writes nothing.
    const std::string before = bytesOf(path("job.TSP"));
    ASSERT_EQ(run({"edit", "job.TSP", "--change", "Pics", "--remember"}).status, 0);
    const Outcome refused = run({"edit", "job.TSP", "--change", "Pics", "--method", "update"});
    EXPECT_EQ(refused.status, 64);
    EXPECT_NE(refused.err.find("--remember is an option of Synchronize pairs only"), std::string::npos);
    EXPECT_EQ(run({"edit", "job.TSP", "--change", "Pics", "--no-remember", "--method", "update"}).status, 0);
    EXPECT_NE(bytesOf(path("job.TSP")), before);
    EXPECT_EQ(open(path("job.TSP")).pairAt(1)->extras.pairId, id);
}
