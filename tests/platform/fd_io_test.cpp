// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/fd_io.h"
#include "platform/unique_fd.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>

using namespace tavrel::platform::posix;
using tavrel::test::TempDir;

namespace {

std::span<const uint8_t> bytesOf(std::string_view text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A packet socket hands out one write per read, so each read but the last is a short one.
TEST(FdIo, ReadFullJoinsShortReadsUpToTheEnd)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
    UniqueFd reader(ends[0]);
    UniqueFd writer(ends[1]);
    for (const std::string_view part : {"abc", "def", "gh"})
        ASSERT_FALSE(writeAll(writer.get(), bytesOf(part)));

    uint8_t buffer[6] = {};
    ASSERT_EQ(readFull(reader.get(), buffer), 6) << "a full buffer needs two reads here";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer), 6), "abcdef");
    writer.reset();
    uint8_t rest[8] = {};
    ASSERT_EQ(readFull(reader.get(), rest), 2) << "short of the buffer only at the end";
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rest), 2), "gh");

    errno = 0;
    const UniqueFd writeOnly(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    EXPECT_EQ(readFull(writeOnly.get(), rest), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST(FdIo, WritesEverythingOrSaysWhy)
{
    TempDir scratch;
    const UniqueFd file(::open((scratch / "out").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    ASSERT_TRUE(file.valid());
    ASSERT_FALSE(writeAll(file.get(), bytesOf("head")));
    ASSERT_FALSE(writeAllAt(file.get(), bytesOf("tail"), 8));
    EXPECT_EQ(::lseek(file.get(), 0, SEEK_CUR), 4) << "a positional write leaves the offset alone";
    EXPECT_EQ(tavrel::test::readFile(scratch / "out"), std::string("head\0\0\0\0tail", 12));

    const UniqueFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    ASSERT_TRUE(full.valid());
    EXPECT_EQ(writeAll(full.get(), bytesOf("x")), std::errc::no_space_on_device);
    EXPECT_EQ(writeAllAt(full.get(), bytesOf("x"), 0), std::errc::no_space_on_device);
    const UniqueFd readOnly(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(writeAll(readOnly.get(), bytesOf("x")), std::errc::bad_file_descriptor);
}

} // namespace
