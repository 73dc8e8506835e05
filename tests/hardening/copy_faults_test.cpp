// SPDX-License-Identifier: GPL-3.0-or-later
// Kernel-call faults during copies: the kernel copy giving up early or refusing, short and
// failing writes, a full disk at each copy of a run, a volume that cannot rename without
// replacing, and a name taken right before a copy is published.
#include "platform/posix/posix_copy.h"
#include "support/engine_fixture.h"
#include "support/faulty_file_system.h"
#include "support/scoped_env.h"
#include "syscall_faults.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string_view>
#include <sys/stat.h>

namespace tavrel::test {
namespace {

using model::SyncMethod;
using platform::FsError;

std::string pattern(std::size_t size, unsigned seed)
{
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + seed) % 251);
    return data;
}

struct KernelCopyCase
{
    const char* name;
    long bytesBefore;
    long result;
    int error;
};

class KernelCopyFallback : public EngineTest, public ::testing::WithParamInterface<KernelCopyCase>
{
};

// Whatever the kernel copy does, the read/write fallback finishes the file from where it
// stopped: the whole file arrives, byte for byte.
TEST_P(KernelCopyFallback, FallbackCopiesTheWholeFile)
{
    const KernelCopyCase& c = GetParam();
    const std::string big = pattern(3 * 1024 * 1024 + 17, 1);
    buildTree(m_org, {file("big", big, at(5)), file("small", "s", at(5))});
    buildTree(m_tgt, {file("small", "old", at(1))});
    addPair(SyncMethod::UpdateCopy);

    SyscallPlan plan;
    plan.faultKernelCopy = true;
    plan.kernelBytesBeforeFault = c.bytesBefore;
    plan.kernelResult = c.result;
    plan.kernelErrno = c.error;
    engine::RunResult result;
    {
        ScopedSyscallPlan active(plan);
        result = run();
        EXPECT_GT(ScopedSyscallPlan::kernelCopyCalls(), 0);
        EXPECT_GT(ScopedSyscallPlan::writeCalls(), 0);
    }
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("big", big, at(5)), file("small", "s", at(5))}));
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
}

INSTANTIATE_TEST_SUITE_P(Hardening, KernelCopyFallback,
                         ::testing::Values(KernelCopyCase{"EarlyZero", 1L << 20, 0, 0},
                                           KernelCopyCase{"ZeroAtOnce", 0, 0, 0},
                                           KernelCopyCase{"CrossDevice", 0, -1, EXDEV},
                                           KernelCopyCase{"CrossDeviceMidway", 12345, -1, EXDEV},
                                           KernelCopyCase{"NotSupported", 0, -1, ENOTSUP},
                                           KernelCopyCase{"InvalidMidway", 65536, -1, EINVAL}),
                         [](const auto& info) { return std::string(info.param.name); });

// Forces every copy through read and write, where the write faults are injected.
SyscallPlan readWritePlan()
{
    SyscallPlan plan;
    plan.faultKernelCopy = true;
    plan.kernelErrno = EXDEV;
    return plan;
}

TEST_F(EngineTest, ShortWritesStillCopyTheWholeFile)
{
    const std::string data = pattern(std::size_t{700} * 1024, 2);
    buildTree(m_org, {file("a", data, at(3))});
    addPair(SyncMethod::LightCopy);
    SyscallPlan plan = readWritePlan();
    plan.writeLimit = 4093;
    engine::RunResult result;
    {
        ScopedSyscallPlan active(plan);
        result = run();
        EXPECT_GT(ScopedSyscallPlan::writeCalls(), 100);
    }
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(snapshotTree(m_tgt), describeTree({file("a", data, at(3))}));
}

struct WriteErrorCase
{
    const char* name;
    bool kernelCopy; // the error comes from the kernel copy instead of a write
    int error;
};

class WriteErrorTest : public EngineTest, public ::testing::WithParamInterface<WriteErrorCase>
{
};

// An I/O error in the middle of a copy: one error line, the old target as it was, no
// temporary file, and the other files of the run still copied.
TEST_P(WriteErrorTest, LogsKeepsTheOldTargetRemovesTheTemporaryAndGoesOn)
{
    const WriteErrorCase& c = GetParam();
    const std::string fresh = pattern(std::size_t{600} * 1024, 3);
    buildTree(m_org, {file("a", fresh, at(9)), file("b", "bee", at(9)), file("sub/c", "sea", at(9))});
    buildTree(m_tgt, {file("a", "old a", at(1))});
    addPair(SyncMethod::UpdateCopy);

    SyscallPlan plan;
    if (c.kernelCopy) {
        plan.faultKernelCopy = true;
        plan.kernelBytesBeforeFault = 4096;
        plan.kernelErrno = c.error;
    } else {
        plan = readWritePlan();
        plan.failWriteNth = 2; // the second block of "a", the first file handled
        plan.writeErrno = c.error;
    }
    engine::RunResult result;
    {
        ScopedSyscallPlan active(plan);
        result = run();
    }
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(readFile(m_tgt + "a"), "old a");
    EXPECT_EQ(temporaryLeftovers(m_tgt), 0);
    EXPECT_NE(m_sink.log().find("        ERROR: cannot copy file: " + m_org + "a\r\n"), std::string::npos)
        << m_sink.log();
    if (c.kernelCopy) {
        // The kernel copy keeps failing, so every later copy fails too, each with its line.
        EXPECT_NE(m_sink.log().find("ERROR: cannot copy file: " + m_org + "sub/c\r\n"), std::string::npos);
    } else {
        EXPECT_EQ(readFile(m_tgt + "b"), "bee");
        EXPECT_EQ(readFile(m_tgt + "sub/c"), "sea");
    }
}

INSTANTIATE_TEST_SUITE_P(Hardening, WriteErrorTest,
                         ::testing::Values(WriteErrorCase{"WriteEio", false, EIO},
                                           WriteErrorCase{"WriteEfbig", false, EFBIG},
                                           WriteErrorCase{"KernelCopyEio", true, EIO}),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program writes to a source while it is copied: it grows, shrinks or is rewritten
// in place after the first chunk. No copy of it is published, for a new target or over an old
// one; the run says so and goes on, and the next run copies the file as it then is.
struct SourceChange
{
    const char* name;
    void (*change)(const std::string& path);
};

class SourceChangedWhileCopied : public EngineTest, public ::testing::WithParamInterface<SourceChange>
{
};

TEST_P(SourceChangedWhileCopied, NothingIsPublishedAndTheNextRunCopiesIt)
{
    const std::string data = pattern(std::size_t{3} << 20, 5);
    for (const SyncMethod method : {SyncMethod::LightCopy, SyncMethod::UpdateCopy}) {
        SCOPED_TRACE(static_cast<int>(method));
        m_job.clear();
        TempDir dir;
        const std::string org = dir / "org/";
        const std::string tgt = dir / "tgt/";
        buildTree(org, {file("a", data, at(9)), file("b", "bee", at(9))});
        if (method == SyncMethod::UpdateCopy)
            buildTree(tgt, {file("a", "old a", at(1))});
        addPair(method, org, tgt);

        SyscallPlan plan;
        bool changed = false;
        plan.afterKernelCopy = [&] {
            if (!std::exchange(changed, true))
                GetParam().change(org + "a");
        };
        plan.faultKernelCopy = true; // in chunks, so that the change falls between two
        plan.kernelBytesBeforeFault = 1 << 20;
        plan.kernelResult = 0;
        RecordingSink first;
        {
            ScopedSyscallPlan active(plan);
            runWith(first);
        }
        const std::string line = "ERROR: file changed while copied: " + org + "a\r\n";
        EXPECT_NE(first.log().find(line), std::string::npos) << first.log();
        EXPECT_EQ(m_state.errors.load(), 1);
        EXPECT_EQ(temporaryLeftovers(tgt), 0);
        EXPECT_EQ(readFile(tgt + "b"), "bee");
        if (method == SyncMethod::UpdateCopy)
            EXPECT_EQ(readFile(tgt + "a"), "old a");
        else
            EXPECT_FALSE(std::filesystem::exists(tgt + "a"));

        RecordingSink second;
        runWith(second);
        EXPECT_EQ(m_state.errors.load(), 0) << second.log();
        EXPECT_EQ(readFile(tgt + "a"), readFile(org + "a"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, SourceChangedWhileCopied,
    ::testing::Values(SourceChange{"Grows",
                                   [](const std::string& path) {
                                       std::ofstream(path, std::ios::app) << "more at the end";
                                   }},
                      SourceChange{"Shrinks",
                                   [](const std::string& path) { std::filesystem::resize_file(path, 1000); }},
                      SourceChange{"RewrittenInPlace",
                                   [](const std::string& path) {
                                       std::fstream(path, std::ios::in | std::ios::out) << "REWRITTEN";
                                   }}),
    [](const auto& info) { return std::string(info.param.name); });

// The disk fills at each copy of a small run in turn, for real inside the copy code: the run
// ends as disk full, no temporary file is left, and every file is its old or its new whole self.
TEST_F(EngineTest, DiskFullAtEveryCopyLeavesOnlyWholeFilesAndNoTemporary)
{
    const std::vector<Node> org = {file("a", "new a", at(9)),     file("b", "new b", at(9)),
                                   file("c", "new c", at(9)),     file("sub/d", "new d", at(9)),
                                   file("sub/e", "new e", at(9)), file("sub/f", "new f", at(9))};
    const std::vector<Node> oldTgt = {file("b", "old", at(1)), file("sub/e", "old", at(1))};
    const TreeSnapshot newTree = describeTree(org);
    const TreeSnapshot oldTree = describeTree(oldTgt);
    addPair(SyncMethod::UpdateCopy);

    const int copies = 6;
    for (int failing = 1; failing <= copies; ++failing) {
        SCOPED_TRACE("disk full at copy " + std::to_string(failing));
        std::filesystem::remove_all(m_org);
        std::filesystem::remove_all(m_tgt);
        buildTree(m_org, org);
        buildTree(m_tgt, oldTgt);
        RecordingSink sink;
        SyscallPlan plan = readWritePlan();
        plan.failWriteNth = failing; // one write per small file
        plan.writeErrno = ENOSPC;
        {
            ScopedSyscallPlan active(plan);
            runWith(sink);
        }
        EXPECT_EQ(sink.results(), std::vector<engine::RunResult>{engine::RunResult::DiskFull});
        EXPECT_EQ(sink.log().find("ERROR"), std::string::npos) << sink.log();
        EXPECT_EQ(temporaryLeftovers(m_tgt), 0);
        int changed = 0;
        for (const auto& [path, state] : snapshotTree(m_tgt)) {
            SCOPED_TRACE(path);
            if (state.kind != NodeKind::File)
                continue;
            const bool isNew = newTree.count(path) && newTree.at(path) == state;
            const bool isOld = oldTree.count(path) && oldTree.at(path) == state;
            EXPECT_TRUE(isNew || isOld);
            changed += isNew ? 1 : 0;
        }
        EXPECT_EQ(changed, failing - 1);
    }
}

// Volumes without a rename that refuses a taken name (FUSE mounts of FAT, exFAT and older NTFS)
// still get every copy, every deletion into the trash and every overwrite that keeps the old
// file there: a mirror with the trash on deletes and replaces as it does anywhere else.
TEST_F(EngineTest, WithoutNoReplaceRenamesAMirrorStillCopiesAndTrashes)
{
    const std::string data = m_dir / "data";
    const ScopedEnv dataHome("XDG_DATA_HOME", data);
    const std::vector<Node> org = {file("a", "new a", at(9)), file("b", "b", at(9)),
                                   file("sub/c", "c", at(9))};
    buildTree(m_org, org);
    buildTree(m_tgt, {file("a", "old a", at(1)), file("gone.txt", "g"), file("old/y", "y")});
    addPair(SyncMethod::AbsoluteCopy).recycleDeleted = 1;

    SyscallPlan plan;
    plan.noReplaceUnsupported = true;
    engine::RunResult result;
    {
        ScopedSyscallPlan active(plan);
        result = run();
    }
    EXPECT_EQ(result, engine::RunResult::Succeeded);
    EXPECT_EQ(m_sink.log().find("ERROR"), std::string::npos) << m_sink.log();
    EXPECT_EQ(snapshotTree(m_tgt), describeTree(org));
    EXPECT_EQ(readFile(data + "/Trash/files/a"), "old a");
    EXPECT_EQ(readFile(data + "/Trash/files/gone.txt"), "g");
    EXPECT_EQ(readFile(data + "/Trash/files/old/y"), "y");
}

// Whether the folder open as `fd` is the folder at `path`.
bool isFolderAt(int fd, const std::string& path)
{
    struct stat opened = {};
    struct stat named = {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// A plan that writes `content` as `folder` + `name` right before the first rename onto that
// name in that folder (a move into the trash goes elsewhere), and notes that it did.
SyscallPlan takeNameBeforePublish(const std::string& folder, const std::string& name,
                                  const std::string& content, bool& taken)
{
    SyscallPlan plan;
    plan.beforeRename = [folder, name, content, &taken](int toFolder, const char* to) {
        if (!taken && std::string_view(to) == name && isFolderAt(toFolder, folder)) {
            taken = true;
            writeFile(folder + name, content);
        }
    };
    return plan;
}

struct TakenNameCase
{
    const char* name;
    SyncMethod method;
    bool targetHeld;       // the target had an older "a" to overwrite
    const char* errorLine; // the run's line for the copy, empty for none
};

void PrintTo(const TakenNameCase& c, std::ostream* out)
{
    *out << c.name;
}

class NameTakenBeforePublish : public EngineTest, public ::testing::WithParamInterface<TakenNameCase>
{
};

// Another program makes the target's name after the run looked and before the copy is
// published: the copy never replaces it and is not counted or reported. A create-only copy
// finds its work done by someone else; an overwrite whose old file went to the trash fails.
TEST_P(NameTakenBeforePublish, TheNewcomerIsKept)
{
    const TakenNameCase& c = GetParam();
    const ScopedEnv home("HOME", m_dir.path());
    const ScopedEnv dataHome("XDG_DATA_HOME", m_dir / "data");
    buildTree(m_org, {file("a", "new", at(9))});
    buildTree(m_tgt, c.targetHeld ? std::vector<Node>{file("a", "old", at(1))} : std::vector<Node>{});
    addPair(c.method).recycleDeleted = 1; // the trash on: an overwrite frees the name first

    bool taken = false;
    {
        const ScopedSyscallPlan active(takeNameBeforePublish(m_tgt, "a", "newcomer", taken));
        run();
    }
    ASSERT_TRUE(taken) << "the name was never taken";
    EXPECT_EQ(readFile(m_tgt + "a"), "newcomer");
    EXPECT_EQ(operations(), Ops{}.snapshot()) << m_sink.log();
    for (const std::string& line : reportLines())
        EXPECT_TRUE(line.starts_with("[E]")) << line;
    EXPECT_EQ(temporaryLeftovers(m_tgt), 0);
    const std::string log = relative(m_sink.log());
    if (*c.errorLine == '\0') {
        EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
        EXPECT_EQ(m_state.errors.load(), 0);
    } else {
        EXPECT_NE(log.find(c.errorLine), std::string::npos) << log;
        EXPECT_EQ(m_state.errors.load(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Hardening, NameTakenBeforePublish,
                         ::testing::Values(TakenNameCase{"CreateOnly", SyncMethod::LightCopy, false, ""},
                                           TakenNameCase{"OverwriteWithTheTrashOn", SyncMethod::UpdateCopy,
                                                         true,
                                                         "        ERROR: cannot copy file: ~/org/a\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same at the copy itself: Exists, for a create-only copy and for an overwrite whose old
// file went to the trash, and the newcomer as it was made.
TEST_F(EngineTest, CopyToANameTakenBeforePublishingIsExists)
{
    const ScopedEnv home("HOME", m_dir.path());
    const ScopedEnv dataHome("XDG_DATA_HOME", m_dir / "data");
    for (const bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "overwrite keeping the old file" : "create only");
        buildTree(m_org, {file("a", "new")});
        buildTree(m_tgt, overwrite ? std::vector<Node>{file("a", "old")} : std::vector<Node>{});
        platform::posix::CopyOptions options;
        options.trashReplaced = overwrite;
        bool taken = false;
        FsError result = FsError::Other;
        {
            const ScopedSyscallPlan active(takeNameBeforePublish(m_tgt, "a", "newcomer", taken));
            result = platform::posix::copyItem(m_org + "a", m_tgt + "a",
                                               overwrite ? platform::posix::CopyMode::Overwrite
                                                         : platform::posix::CopyMode::CreateOnly,
                                               nullptr, nullptr, options);
        }
        EXPECT_TRUE(taken);
        EXPECT_EQ(result, FsError::Exists);
        EXPECT_EQ(readFile(m_tgt + "a"), "newcomer");
        EXPECT_EQ(temporaryLeftovers(m_tgt), 0);
        std::filesystem::remove_all(m_tgt);
    }
}

struct SideCase
{
    const char* name;
    SyncMethod method;
    bool walksBack;  // the file is only in TGT: Synchronize copies it into ORG
    int readErrno;   // the source's first read fails with it, else 0
    int writeErrno;  // the target's first write fails with it, else 0
    int kernelErrno; // the kernel copy fails with it, else 0
    const char* reason;
};

class SideOfAFailureTest : public EngineTest, public ::testing::WithParamInterface<SideCase>
{
};

// A copy that fails in the copy code itself, reading or writing: its error record names the
// side whose read or write failed, as the task's direction has them, and the system's reason.
TEST_P(SideOfAFailureTest, TheReportNamesTheSideThatFailed)
{
    const SideCase& c = GetParam();
    buildTree(c.walksBack ? m_tgt : m_org, {file("a", "content", at(9))});
    buildTree(c.walksBack ? m_org : m_tgt, {});
    addPair(c.method);
    SyscallPlan plan = readWritePlan();
    if (c.kernelErrno != 0) {
        plan.kernelBytesBeforeFault = 0;
        plan.kernelErrno = c.kernelErrno;
    }
    plan.failReadNth = c.readErrno != 0 ? 1 : 0;
    plan.readErrno = c.readErrno;
    plan.failWriteNth = c.writeErrno != 0 ? 1 : 0;
    plan.writeErrno = c.writeErrno;
    {
        ScopedSyscallPlan active(plan);
        run();
    }
    const std::string source = (c.walksBack ? m_tgt : m_org) + "a";
    EXPECT_NE(m_sink.log().find("ERROR: cannot copy file: " + source + "\r\n"), std::string::npos)
        << m_sink.log();
    const std::vector<std::string> lines = reportLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), relative("[E]ERROR: cannot copy file: " + source + ": " + c.reason));
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, SideOfAFailureTest,
    ::testing::Values(
        SideCase{"ReadIsOrg", SyncMethod::LightCopy, false, EIO, 0, 0, "ORG: Input/output error"},
        SideCase{"WriteIsTgt", SyncMethod::LightCopy, false, 0, EROFS, 0, "TGT: Read-only file system"},
        SideCase{"KernelCopyWithReadableSourceIsTgt", SyncMethod::LightCopy, false, 0, 0, EIO,
                 "TGT: Input/output error"},
        SideCase{"WalkingBackReadIsTgt", SyncMethod::Synchronize, true, EIO, 0, 0, "TGT: Input/output error"},
        SideCase{"WalkingBackWriteIsOrg", SyncMethod::Synchronize, true, 0, EIO, 0,
                 "ORG: Input/output error"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace tavrel::test
