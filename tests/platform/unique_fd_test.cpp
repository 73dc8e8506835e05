// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posix_io.h"
#include "platform/unique_fd.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

using tavrel::platform::posix::DirStream;
using tavrel::platform::posix::streamOver;
using tavrel::platform::posix::UniqueFd;
using tavrel::test::TempDir;

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

TEST(UniqueFd, ClosesOnceAndHandsOverOnMoveOrRelease)
{
    UniqueFd owner(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(owner.valid());
    const int raw = owner.get();

    UniqueFd moved(std::move(owner));
    // NOLINTNEXTLINE(bugprone-use-after-move): the moved-from state is what is checked
    EXPECT_FALSE(owner.valid());
    EXPECT_EQ(moved.get(), raw);
    UniqueFd assigned;
    assigned = std::move(moved);
    // NOLINTNEXTLINE(bugprone-use-after-move): the moved-from state is what is checked
    EXPECT_FALSE(moved.valid());
    EXPECT_TRUE(isOpen(raw));
    EXPECT_EQ(assigned.close(), 0);
    EXPECT_FALSE(isOpen(raw));
    EXPECT_EQ(assigned.close(), 0) << "a second close has nothing to close";

    UniqueFd released(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int kept = released.release();
    EXPECT_FALSE(released.valid());
    released.reset();
    EXPECT_TRUE(isOpen(kept)) << "a released descriptor belongs to its new owner";
    ::close(kept);
}

TEST(UniqueFd, StreamOverTakesTheFolderOrFailsWithItsReason)
{
    TempDir scratch;
    tavrel::test::writeFile(scratch / "item", "x");

    errno = 0;
    EXPECT_EQ(streamOver(UniqueFd(::open((scratch / "missing").c_str(), O_RDONLY | O_CLOEXEC))), nullptr);
    EXPECT_EQ(errno, ENOENT) << "the failed open's reason survives";

    const int file = ::open((scratch / "item").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(file, 0);
    EXPECT_EQ(streamOver(UniqueFd(file)), nullptr);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_FALSE(isOpen(file)) << "a refused descriptor is closed";

    const int folder = ::open(scratch.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    std::set<std::string> names;
    {
        const DirStream dir = streamOver(UniqueFd(folder));
        ASSERT_NE(dir, nullptr);
        while (const dirent* entry = ::readdir(dir.get()))
            names.insert(entry->d_name);
    }
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "item"}));
    EXPECT_FALSE(isOpen(folder)) << "closing the stream closes the folder";
}

} // namespace
