// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/job.h"
#include "project/project_file.h"
#include "support/program_runner.h"
#include "support/temp_tree.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tavrel;
namespace fs = std::filesystem;

namespace {

using Outcome = tavrel::test::ProgramOutcome;

class CliTest : public ::testing::Test
{
protected:
    Outcome run(const std::vector<std::string>& arguments, const fs::path& workingFolder = {}) const
    {
        return tavrel::test::runProgram(TAVREL_CLI_PATH, arguments, m_dir.path(), workingFolder.string());
    }

    tavrel::test::TempDir m_dir;
    fs::path m_folder{m_dir.path()};
};

} // namespace

TEST_F(CliTest, ShowPrintsEveryPairAsThePanelDoes)
{
    model::Job job;
    job.addPair();
    job.addPair();
    model::FolderPair* first = job.addPair();
    first->name = u"Photos";
    first->orgPath = u"/home/me/Pictures";
    first->tgtPath = u"/media/backup/Pictures";
    first->method = model::SyncMethod::AbsoluteCopy;
    first->includeFiles.append(u"*");
    first->excludeFiles.append(u"desktop.ini");
    first->excludeFiles.append(u"Thumbs.db");
    first->contentCheck = model::ContentCheckMode::NotCheck;
    first->hiddenMode = model::AttributeMode::CopyOnly;
    first->systemMode = model::AttributeMode::Ignore;
    first->includeSubfolders = 1;
    model::FolderPair* second = job.addPair();
    second->enabled = 0;
    second->name = u"Odd \u00e9\u0007";
    second->orgPath = u"/a";
    second->tgtPath = u"/b";
    second->method = static_cast<model::SyncMethod>(9);
    second->includeFolders.append(u"src");
    second->excludeFolders.append(u".git");
    second->readOnlyMode = static_cast<model::AttributeMode>(5);
    second->recycleDeleted = 1;
    job.removePair(0);
    job.removePair(1);
    const fs::path file = m_folder / "job.tsp";
    ASSERT_TRUE(project::saveProject(job, file));

    const Outcome outcome = run({"show", file.string()});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    const std::string expected = file.string() +
                                 ": 2 pairs\n"
                                 "\n"
                                 "[slot 0] Photos\n"
                                 "  Enabled:                               YES\n"
                                 "  ORG:                                   /home/me/Pictures\n"
                                 "  TGT:                                   /media/backup/Pictures\n"
                                 "  Method: Absolute Copy\n"
                                 "  Files/Folders to include:              * / \n"
                                 "  Files/Folders to exclude:              desktop.ini; Thumbs.db / (None)\n"
                                 "  Check file contents:                   NOT CHECK\n"
                                 "  Read-only files:                       INVOLVE\n"
                                 "  Hidden files:                          COPY ONLY\n"
                                 "  System files:                          IGNORE\n"
                                 "  Include subfolders:                    YES\n"
                                 "  Take the deleted files to recycle bin: NO\n"
                                 "\n"
                                 "[slot 1] Odd \xc3\xa9\\x07\n"
                                 "  Enabled:                               NO\n"
                                 "  ORG:                                   /a\n"
                                 "  TGT:                                   /b\n"
                                 "  Method: (unknown value 9)\n"
                                 "  Files/Folders to include:               / src\n"
                                 "  Files/Folders to exclude:              (None) / .git\n"
                                 "  Check file contents:                   Auto\n"
                                 "  Read-only files:                       (unknown value 5)\n"
                                 "  Hidden files:                          INVOLVE\n"
                                 "  System files:                          INVOLVE\n"
                                 "  Include subfolders:                    NO\n"
                                 "  Take the deleted files to recycle bin: YES\n";
    EXPECT_EQ(outcome.out, expected);
}

TEST_F(CliTest, ShowOfAnEmptyJob)
{
    const fs::path file = m_folder / "empty.tsp";
    ASSERT_TRUE(project::saveProject(model::Job{}, file));
    const Outcome outcome = run({"show", file.string()});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, file.string() + ": 0 pairs\n");
}

TEST_F(CliTest, RefusedProjectsExitWithThree)
{
    const fs::path broken = m_folder / "broken.tsp";
    std::ofstream(broken) << "DO NOT MODIFY THIS FILE  TAVREL SYNCHRONIZER PROJECT  but not really";
    const std::pair<fs::path, std::string> cases[] = {
        {broken, "damaged: its seal does not match its contents"},
        {m_folder / "missing.tsp", "no such file"},
        {m_folder, "not a file"},
    };
    for (const auto& [file, reason] : cases) {
        SCOPED_TRACE(file.filename().string());
        const Outcome outcome = run({"show", file.string()});
        EXPECT_EQ(outcome.status, 3);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "tavrel-sync-cli: Failed to open TSP file.\ntavrel-sync-cli: " +
                                   file.string() + ": " + reason + "\n");
    }
}

TEST_F(CliTest, UsageErrorsExitWithSixtyFour)
{
    const std::vector<std::vector<std::string>> cases = {
        {}, {"bogus"}, {"show"}, {"show", "a.tsp", "b.tsp"}, {"show", "--json", "a.tsp"}, {"--verbose"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.empty() ? "(none)" : arguments.front() + " ...");
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 64);
        EXPECT_EQ(outcome.out, "");
        // One line for the mistake, one pointing at the help; no usage text flooding a log.
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 2) << outcome.err;
        EXPECT_TRUE(outcome.err.starts_with("tavrel-sync-cli: ")) << outcome.err;
        const bool aboutShow = !arguments.empty() && arguments.front() == "show";
        EXPECT_NE(outcome.err.find(aboutShow ? "Try 'tavrel-sync-cli show --help'"
                                             : "Try 'tavrel-sync-cli --help'"),
                  std::string::npos)
            << outcome.err;
    }
}

TEST_F(CliTest, HelpAndVersion)
{
    const Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("tavrel-sync-cli show JOB.TSP\n"), std::string::npos);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(run({"show", "--help"}).status, 0);

    const Outcome version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tavrel-sync-cli " TAVREL_VERSION "\n");
    EXPECT_EQ(version.out, "tavrel-sync-cli 1.0.0\n");
}

TEST_F(CliTest, ADashFileNameCanFollowTheOptionsEnd)
{
    const fs::path file = m_folder / "-odd.tsp";
    ASSERT_TRUE(project::saveProject(model::Job{}, file));
    const Outcome outcome = run({"show", "--", "-odd.tsp"}, m_folder);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "-odd.tsp: 0 pairs\n");
}
