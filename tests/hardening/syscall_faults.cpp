// SPDX-License-Identifier: GPL-3.0-or-later
#include "syscall_faults.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <functional>
#include <mutex>
#include <unistd.h>

namespace tavrel::test {
namespace {

std::mutex g_planMutex;
SyscallPlan g_plan;
bool g_active = false;
long g_kernelBytes = 0;
int g_kernelCalls = 0;
int g_writeCalls = 0;
int g_readCalls = 0;

template <typename Function> Function nextDefinition(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

} // namespace

ScopedSyscallPlan::ScopedSyscallPlan(const SyscallPlan& plan)
{
    const std::lock_guard lock(g_planMutex);
    g_plan = plan;
    g_active = true;
    g_kernelBytes = 0;
    g_kernelCalls = 0;
    g_writeCalls = 0;
    g_readCalls = 0;
}

ScopedSyscallPlan::~ScopedSyscallPlan()
{
    const std::lock_guard lock(g_planMutex);
    g_active = false;
}

int ScopedSyscallPlan::kernelCopyCalls()
{
    const std::lock_guard lock(g_planMutex);
    return g_kernelCalls;
}

int ScopedSyscallPlan::writeCalls()
{
    const std::lock_guard lock(g_planMutex);
    return g_writeCalls;
}

} // namespace tavrel::test

using tavrel::test::g_active;
using tavrel::test::g_kernelBytes;
using tavrel::test::g_kernelCalls;
using tavrel::test::g_plan;
using tavrel::test::g_planMutex;
using tavrel::test::g_readCalls;
using tavrel::test::g_writeCalls;

extern "C" ssize_t copy_file_range(int in, loff_t* inOffset, int out, loff_t* outOffset, size_t length,
                                   unsigned int flags)
{
    using Real = ssize_t (*)(int, loff_t*, int, loff_t*, size_t, unsigned int);
    static const Real real = tavrel::test::nextDefinition<Real>("copy_file_range");
    {
        const std::lock_guard lock(g_planMutex);
        if (g_active) {
            ++g_kernelCalls;
            if (g_plan.faultKernelCopy) {
                const long room = g_plan.kernelBytesBeforeFault - g_kernelBytes;
                if (room <= 0) {
                    if (g_plan.kernelResult < 0)
                        errno = g_plan.kernelErrno;
                    return g_plan.kernelResult;
                }
                length = std::min<size_t>(length, static_cast<size_t>(room));
            }
        }
    }
    const ssize_t copied = real(in, inOffset, out, outOffset, length, flags);
    if (copied > 0) {
        std::function<void()> hook;
        {
            const std::lock_guard lock(g_planMutex);
            g_kernelBytes += copied;
            if (g_active)
                hook = g_plan.afterKernelCopy;
        }
        if (hook) {
            const int saved = errno;
            hook();
            errno = saved;
        }
    }
    return copied;
}

// Whether the active plan refuses renames without replacing (and hard links with them).
static bool noReplaceRefused()
{
    const std::lock_guard lock(g_planMutex);
    return g_active && g_plan.noReplaceUnsupported;
}

// The active plan's hook, called outside the lock: it may make files itself.
static void beforeRename(int toFolder, const char* to)
{
    std::function<void(int, const char*)> hook;
    {
        const std::lock_guard lock(g_planMutex);
        if (g_active)
            hook = g_plan.beforeRename;
    }
    if (hook)
        hook(toFolder, to);
}

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to)
{
    using Real = int (*)(int, const char*, int, const char*);
    static const Real real = tavrel::test::nextDefinition<Real>("renameat");
    beforeRename(toFolder, to);
    return real(fromFolder, from, toFolder, to);
}

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to, unsigned int flags)
{
    using Real = int (*)(int, const char*, int, const char*, unsigned int);
    static const Real real = tavrel::test::nextDefinition<Real>("renameat2");
    beforeRename(toFolder, to);
    if ((flags & RENAME_NOREPLACE) != 0 && noReplaceRefused()) {
        errno = EINVAL;
        return -1;
    }
    return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags)
{
    using Real = int (*)(int, const char*, int, const char*, int);
    static const Real real = tavrel::test::nextDefinition<Real>("linkat");
    beforeRename(toFolder, to);
    if (noReplaceRefused()) {
        errno = EPERM;
        return -1;
    }
    return real(fromFolder, from, toFolder, to, flags);
}

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset)
{
    using Real = ssize_t (*)(int, const void*, size_t, off_t);
    static const Real real = tavrel::test::nextDefinition<Real>("pwrite");
    {
        const std::lock_guard lock(g_planMutex);
        if (g_active) {
            const int call = ++g_writeCalls;
            if (g_plan.failWriteNth > 0 &&
                (call == g_plan.failWriteNth || (g_plan.failWritesAfter && call > g_plan.failWriteNth))) {
                errno = g_plan.writeErrno;
                return -1;
            }
            if (g_plan.writeLimit > 0)
                size = std::min<size_t>(size, static_cast<size_t>(g_plan.writeLimit));
        }
    }
    return real(fd, data, size, offset);
}

extern "C" ssize_t pread(int fd, void* data, size_t size, off_t offset)
{
    using Real = ssize_t (*)(int, void*, size_t, off_t);
    static const Real real = tavrel::test::nextDefinition<Real>("pread");
    {
        const std::lock_guard lock(g_planMutex);
        if (g_active && g_plan.failReadNth > 0 && ++g_readCalls == g_plan.failReadNth) {
            errno = g_plan.readErrno;
            return -1;
        }
    }
    return real(fd, data, size, offset);
}
