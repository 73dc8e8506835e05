// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recent_cache.h"

#include <gtest/gtest.h>
#include <string>

namespace tavrel::platform {
namespace {

// The entry used longest ago goes first, and a lookup counts as a use.
TEST(RecentCache, TrimsTheEntriesUsedLongestAgo)
{
    RecentCache<std::string, int> cache;
    cache.add("a", 1);
    cache.add("b", 2);
    cache.add("c", 3);
    ASSERT_NE(cache.find("a"), nullptr);
    cache.trimTo(2);
    EXPECT_EQ(cache.size(), 2u);
    EXPECT_EQ(cache.find("b"), nullptr) << "b was used longest ago";
    ASSERT_NE(cache.find("a"), nullptr);
    EXPECT_EQ(*cache.find("a"), 1);
    cache.trimTo(1);
    EXPECT_NE(cache.find("a"), nullptr);
    EXPECT_EQ(cache.find("c"), nullptr);
}

TEST(RecentCache, DropsTheEntriesATestTakes)
{
    RecentCache<std::string, int> cache;
    for (const char* key : {"x/1", "x/2", "y/1"})
        cache.add(key, 0);
    cache.eraseIf([](const std::string& key) { return key.starts_with("x/"); });
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_NE(cache.findIf([](const std::string& key) { return key == "y/1"; }), nullptr);
}

} // namespace
} // namespace tavrel::platform
