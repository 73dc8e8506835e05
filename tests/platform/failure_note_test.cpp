// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/failure_note.h"
#include "platform/posix/posix_io.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace tavrel::test {
namespace {

using platform::FailedSide;
using platform::FailureNote;

FailureNote note(int error, bool makingName)
{
    return {FailedSide::Target, std::error_code(error, std::generic_category()), makingName};
}

// A volume that refuses a new name answers EINVAL (NTFS, FAT), ENOENT (exFAT through FUSE)
// or EILSEQ (bytes that are no UTF-8); the same errors elsewhere, and other errors while
// naming, are the system's own words.
TEST(FailureNote, ARefusedNewNameIsSaidSoAndEveryOtherErrorInTheSystemsWords)
{
    struct Case
    {
        FailureNote note;
        const char* reason;
    };
    const Case cases[] = {
        {note(EINVAL, true), "name not allowed on this volume"},
        {note(ENOENT, true), "name not allowed on this volume"},
        {note(EILSEQ, true), "name not allowed on this volume"},
        {note(ENAMETOOLONG, true), "File name too long"},
        {note(EROFS, true), "Read-only file system"},
        {note(EINVAL, false), "Invalid argument"},
        {note(ENOENT, false), "No such file or directory"},
        {FailureNote{FailedSide::Target, {}, false, "changed since it was compared"},
         "changed since it was compared"},
        {FailureNote{}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(c.note.reason(), c.reason);
    }
}

// The note is the thread's until taken, then gone; the side of a FailureSide in scope is put
// on errors mapped inside it, and an explicit side wins.
TEST(FailureNote, IsTakenOnceAndCarriesTheSideInScope)
{
    platform::forgetLastFailure();
    {
        const platform::posix::FailureSide onSource(FailedSide::Source);
        platform::posix::errorFromErrno(EACCES);
    }
    const FailureNote taken = platform::takeLastFailure();
    EXPECT_EQ(taken.side, FailedSide::Source);
    EXPECT_EQ(taken.reason(), "Permission denied");
    EXPECT_FALSE(platform::takeLastFailure().known());

    platform::posix::errorFromErrno(EIO);
    EXPECT_EQ(platform::takeLastFailure().side, FailedSide::Unknown);
    platform::posix::errorFromErrno(EIO, FailedSide::Target);
    EXPECT_EQ(platform::takeLastFailure().side, FailedSide::Target);
}

// ENOENT while making a name is the volume's refusal only while the folder is still there: in
// a folder removed meanwhile it means just that.
TEST(FailureNote, NoSuchFileInARemovedFolderIsNoRefusedName)
{
    const TempDir dir;
    const std::string folder = dir / "f";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    platform::posix::errorMakingName(ENOENT, fd);
    EXPECT_EQ(platform::takeLastFailure().reason(), "name not allowed on this volume");
    platform::posix::errorMakingName(ENOENT, fd, "temporary-that-is-gone");
    EXPECT_EQ(platform::takeLastFailure().reason(), "No such file or directory");
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    platform::posix::errorMakingName(ENOENT, fd);
    EXPECT_EQ(platform::takeLastFailure().reason(), "No such file or directory");
    ::close(fd);
}

} // namespace
} // namespace tavrel::test
