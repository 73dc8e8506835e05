// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/temporary_name.h"
#include "support/temp_tree.h"
#include "text/text_codec.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>

using namespace tavrel::platform;
using tavrel::test::TempDir;

namespace {

TEST(TemporaryName, FollowsTheRuleAndStaysWithinTheNameLimit)
{
    for (const std::string& name : {std::string("job.tsp"), std::string(".hidden"), std::string(255, 'x'),
                                    std::string(250, 'a') + "\xc3\xa9\xc3\xa9\xc3\xa9"}) {
        SCOPED_TRACE(name.size());
        const std::string temporary = temporaryNameFor(name);
        EXPECT_TRUE(isTemporaryName(temporary));
        EXPECT_LE(temporary.size(), kMaxNameBytes);
        EXPECT_EQ(temporary.front(), '.');
        EXPECT_TRUE(temporary.ends_with(".tavrel-tmp"));
        EXPECT_TRUE(tavrel::text::isValidUtf8(temporary)) << "a shortened name must not split a character";
        EXPECT_NE(temporaryNameFor(name), temporary) << "each call gives a fresh name";
    }
    EXPECT_EQ(temporaryNameFor("job.tsp").rfind(".job.tsp.", 0), 0u);
}

TEST(TemporaryName, RecognisesOnlyTheReservedPattern)
{
    EXPECT_TRUE(isTemporaryName(".a.tavrel-tmp"));
    EXPECT_FALSE(isTemporaryName("a.tavrel-tmp"));
    EXPECT_FALSE(isTemporaryName(".a.tavrel-tmp.txt"));
    EXPECT_FALSE(isTemporaryName(".tavrel-tm"));
    EXPECT_FALSE(isTemporaryName(""));

    // Only names made by temporaryNameFor are ever removed as leftovers.
    for (const std::string& name : {std::string("job.tsp"), std::string(255, 'n'), std::string("x")}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(isExactTemporaryName(temporaryNameFor(name)));
    }
    for (const char* name :
         {".a.tavrel-tmp", "..0a1b2c3d.tavrel-tmp", ".a.0a1b2c3.tavrel-tmp", ".a.0a1B2c3d.tavrel-tmp",
          ".a-0a1b2c3d.tavrel-tmp", "a.0a1b2c3d.tavrel-tmp", ".a.0a1b2c3d.tavrel-tmpx"})
        EXPECT_FALSE(isExactTemporaryName(name)) << name;
}

TEST(TemporaryName, CreateExclusiveTemporaryMakesAFreshPrivateFile)
{
    TempDir scratch;
    const posix::UniqueFd folder(::open(scratch.path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(folder.valid());
    const mode_t mask = ::umask(022);
    std::set<std::string> names;
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}}) {
        std::string made;
        const posix::UniqueFd file = createExclusiveTemporary(folder.get(), "job.tsp", made, mode);
        ASSERT_TRUE(file.valid()) << mode;
        EXPECT_TRUE(isExactTemporaryName(made)) << made;
        EXPECT_EQ(made.rfind(".job.tsp.", 0), 0u) << made;
        EXPECT_EQ(::write(file.get(), "x", 1), 1) << "open for writing";
        const struct stat st = tavrel::test::lstatOf(scratch / made);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, mode);
        names.insert(made);
    }
    ::umask(mask);
    EXPECT_EQ(names.size(), 2u) << "each file gets a name of its own";

    std::string made;
    EXPECT_FALSE(createExclusiveTemporary(-1, "job.tsp", made).valid());
    EXPECT_EQ(errno, EBADF);
}

// Only a taken name makes it try again; any other failure ends it at once with its reason.
TEST(TemporaryName, CreateUnderFreshNameRetriesOnlyTakenNames)
{
    struct Case
    {
        int error;
        int expectedTries;
    };
    for (const Case c : {Case{EEXIST, kTemporaryNameAttempts}, Case{EACCES, 1}}) {
        SCOPED_TRACE(c.error);
        std::set<std::string> tried;
        std::string made;
        const int result = createUnderFreshName("a", made, [&](const std::string& name) {
            tried.insert(name);
            errno = c.error;
            return -1;
        });
        EXPECT_EQ(result, c.error);
        EXPECT_EQ(static_cast<int>(tried.size()), c.expectedTries) << "a fresh name for each try";
    }
    std::string made;
    EXPECT_EQ(createUnderFreshName("a", made, [](const std::string&) { return 3; }), 0);
    EXPECT_TRUE(isExactTemporaryName(made));
}

} // namespace
