// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cerrno>
#include <functional>
#include <sys/types.h>

namespace tavrel::test {

// Faults in the kernel calls a copy makes, for the faults no healthy disk shows on demand.
// The test program defines copy_file_range, pread, pwrite, renameat, renameat2 and linkat
// itself; those definitions take precedence over the C library's for the statically linked
// copy code, follow the plan below, and otherwise pass the call on. Calls are counted only
// while a plan is active.
struct SyscallPlan
{
    // copy_file_range: after `kernelBytesBeforeFault` bytes have been moved, every further
    // call returns `kernelResult` (0 for an early end, or -1 with errno `kernelErrno`).
    bool faultKernelCopy = false;
    long kernelBytesBeforeFault = 0;
    long kernelResult = -1;
    int kernelErrno = 0;

    // pwrite: at most `writeLimit` bytes per call (0 = no limit), and the `failWriteNth`-th
    // call (1-based, 0 = never; counted over all copies) fails with `writeErrno`, as do all
    // later ones when `failWritesAfter` is set.
    long writeLimit = 0;
    int failWriteNth = 0;
    bool failWritesAfter = false;
    int writeErrno = EIO;

    // pread: the `failReadNth`-th call (1-based, 0 = never; counted over all copies) fails
    // with `readErrno`: a source that cannot be read.
    int failReadNth = 0;
    int readErrno = EIO;

    // renameat2 with RENAME_NOREPLACE fails with EINVAL and linkat with EPERM, as on FUSE
    // volumes that have neither (FAT and exFAT through FUSE, older ntfs-3g).
    bool noReplaceUnsupported = false;

    // Called after each copy_file_range that moved data, outside the plan's lock: another
    // program changing the source while it is copied.
    std::function<void()> afterKernelCopy;

    // Runs right before each rename, with or without replacing (renameat, renameat2), and each
    // link (linkat: how a new file is published), with the folder and name it puts the item
    // under: another program taking the name at the last moment.
    std::function<void(int toFolder, const char* to)> beforeRename;
};

// Activates `plan` for the lifetime of the object. Not for concurrent use by two tests.
class ScopedSyscallPlan final
{
public:
    explicit ScopedSyscallPlan(const SyscallPlan& plan);
    ~ScopedSyscallPlan();
    ScopedSyscallPlan(const ScopedSyscallPlan&) = delete;
    ScopedSyscallPlan& operator=(const ScopedSyscallPlan&) = delete;

    static int kernelCopyCalls();
    static int writeCalls();
};

} // namespace tavrel::test
