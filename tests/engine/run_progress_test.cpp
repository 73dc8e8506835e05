// SPDX-License-Identifier: GPL-3.0-or-later
// The reason an error line carries on stderr and in the report: the side that failed (ORG or
// TGT, as the task's direction has them) and the system's words. The log lines stay as they are.
#include "engine/run_progress.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>
#include <gtest/gtest.h>
#include <system_error>

namespace tavrel::test {
namespace {

using model::SyncMethod;
using platform::FailedSide;
using platform::FsError;
using Op = FaultyFileSystem::Operation;

platform::FailureNote failure(FailedSide side, int error, bool makingName)
{
    return {side, std::error_code(error, std::generic_category()), makingName};
}

struct ReasonCase
{
    const char* name;
    SyncMethod method;
    bool fileInTgt; // the file is met walking back from TGT, so ORG is the copy's target
    platform::FailureNote failure;
    const char* reason;
};

// A pretended volume fails one copy as the system would: the report's error record names the
// side and the cause, the log line is the usual one, and the other file is copied.
TEST_F(EngineTest, ACopyErrorNamesTheSideThatFailedAndWhy)
{
    const ReasonCase cases[] = {
        {"refused name", SyncMethod::LightCopy, false, failure(FailedSide::Target, EINVAL, true),
         "TGT: name not allowed on this volume"},
        {"refused name, exFAT's answer", SyncMethod::LightCopy, false,
         failure(FailedSide::Target, ENOENT, true), "TGT: name not allowed on this volume"},
        {"name too long", SyncMethod::LightCopy, false, failure(FailedSide::Target, ENAMETOOLONG, true),
         "TGT: File name too long"},
        {"source unreadable", SyncMethod::LightCopy, false, failure(FailedSide::Source, EACCES, false),
         "ORG: Permission denied"},
        {"read-only ORG walking back", SyncMethod::Synchronize, true,
         failure(FailedSide::Target, EROFS, false), "ORG: Read-only file system"},
        {"unreadable TGT walking back", SyncMethod::Synchronize, true,
         failure(FailedSide::Source, EIO, false), "TGT: Input/output error"},
        {"no side known", SyncMethod::LightCopy, false, failure(FailedSide::Unknown, EIO, false),
         "Input/output error"},
    };
    int round = 0;
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.name);
        ++round;
        const std::string org = m_dir / ("org" + std::to_string(round) + "/");
        const std::string tgt = m_dir / ("tgt" + std::to_string(round) + "/");
        buildTree(c.fileInTgt ? tgt : org, {file("a:b", "x"), file("ok", "y")});
        buildTree(c.fileInTgt ? org : tgt, {});
        m_job.clear();
        addPair(c.method, org, tgt);
        FaultyFileSystem volume(m_posix);
        volume.failMatching(Op::CopyCreateOnly, "a:b", FsError::Other, c.failure);
        RecordingSink sink;
        runWith(sink, &volume);

        const std::string from = (c.fileInTgt ? tgt : org) + "a:b";
        EXPECT_NE(sink.log().find("\r\nERROR: cannot copy file: " + from + "\r\n"), std::string::npos)
            << sink.log();
        EXPECT_EQ(readFile((c.fileInTgt ? org : tgt) + "ok"), "y");
        EXPECT_EQ(m_state.errors.load(), 1);
        const std::vector<std::string> lines = reportLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), relative("[E]ERROR: cannot copy file: " + from + ": " + c.reason));
    }
}

// A target folder the volume will not make, and a source folder that cannot be read: each
// error is put on the side the engine asked, as the call itself names none.
TEST_F(EngineTest, FolderErrorsNameTheSideTheEngineAsked)
{
    buildTree(m_org, {file("bad?dir/x", "x"), file("locked/y", "y")});
    addPair(SyncMethod::LightCopy);
    FaultyFileSystem volume(m_posix);
    volume.failMatching(Op::CreateFolder, "bad?dir", FsError::Other,
                        failure(FailedSide::Unknown, EINVAL, true));
    volume.failMatching(Op::List, "org/locked", FsError::AccessDenied,
                        failure(FailedSide::Unknown, EACCES, false));
    run(&volume);

    const std::vector<std::string> lines = reportLines();
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("[E]ERROR: cannot create folder: ~/tgt/bad?dir/: TGT: name not allowed on this volume"));
    EXPECT_TRUE(has("[E]ERROR: cannot read folder: ~/org/locked/: ORG: Permission denied"));
}

TEST(SideReason, NamesTheRootOfTheSideAsTheTaskRuns)
{
    using engine::Direction;
    EXPECT_EQ(engine::sideReason(FailedSide::Source, Direction::OrgToTgt, "x"), "ORG: x");
    EXPECT_EQ(engine::sideReason(FailedSide::Target, Direction::OrgToTgt, "x"), "TGT: x");
    EXPECT_EQ(engine::sideReason(FailedSide::Source, Direction::TgtToOrg, "x"), "TGT: x");
    EXPECT_EQ(engine::sideReason(FailedSide::Target, Direction::TgtToOrg, "x"), "ORG: x");
    EXPECT_EQ(engine::sideReason(FailedSide::Unknown, Direction::OrgToTgt, "x"), "x");
    EXPECT_EQ(engine::sideReason(FailedSide::Target, Direction::OrgToTgt, ""), "");
}

} // namespace
} // namespace tavrel::test
