// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/text_rules.h"
#include "project/project_codec.h"
#include "project/seal.h"
#include "project_test_util.h"

#include <climits>
#include <functional>
#include <gtest/gtest.h>
#include <openssl/evp.h>

using namespace tavrel;
using namespace tavrel::project;
using namespace tavrel::project::test;

namespace {

std::vector<uint8_t> sealedFileOf(const model::Job& job)
{
    auto bytes = encodeProject(job);
    EXPECT_TRUE(bytes.has_value());
    const auto seal = computeSeal(std::span<const uint8_t>(*bytes).subspan(kSealedDataOffset));
    std::copy(seal->begin(), seal->end(), bytes->begin() + kSealOffset);
    return *bytes;
}

void putU32(std::vector<uint8_t>& bytes, std::size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// What an open of these bytes gives: the seal check, then the reader.
bool openBytes(model::Job& job, const std::vector<uint8_t>& bytes)
{
    return hasValidSeal(bytes) && readProjectBytes(job, bytes);
}

} // namespace

TEST(ProjectCodec, EmptyJobMatchesTheKnownSeal)
{
    const auto file = sealedFileOf(model::Job{});
    EXPECT_EQ(file.size(), 78u);
    EXPECT_EQ(sealHexOf(file), "c99a74c555371a433d121f551d6c6398");
    EXPECT_EQ(file, FileBuilder().header().u32(0).seal().bytes);
    model::Job read;
    EXPECT_TRUE(openBytes(read, file));
    EXPECT_EQ(read.count(), 0);
}

TEST(ProjectCodec, OnePairExampleMatchesTheKnownLayoutAndSeal)
{
    model::Job job;
    addExamplePair(job);
    const auto file = sealedFileOf(job);
    EXPECT_EQ(file.size(), 172u);
    EXPECT_EQ(sealHexOf(file), "672683494967e20a4d2ce322241f1aa8");
    const auto expected = FileBuilder()
                              .header()
                              .u32(1)
                              .u32(1)
                              .name("P")
                              .u32(0)
                              .text("C:\\A")
                              .text("D:\\B")
                              .u32(1)
                              .text("*")
                              .u32(0)
                              .u32(1)
                              .text("*")
                              .u32(0)
                              .u32(0)
                              .u32(0)
                              .u32(0)
                              .u32(0)
                              .u32(1)
                              .u32(1)
                              .seal()
                              .bytes;
    EXPECT_EQ(file, expected);
}

TEST(ProjectCodec, SealHashesTheWorkBufferPerChunkAndOnceMore)
{
    for (std::size_t size : {0, 1, 1023, 1024, 1025, 2500}) {
        SCOPED_TRACE(size);
        std::vector<uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = static_cast<uint8_t>(i * 7 + 3);
        // The stream fed to MD5, spelled out: one buffer image per chunk, then the last again.
        std::vector<uint8_t> buffer(1024, 0), fed;
        for (std::size_t start = 0; start < size; start += 1024) {
            std::copy(data.begin() + start, data.begin() + std::min(size, start + 1024), buffer.begin());
            fed.insert(fed.end(), buffer.begin(), buffer.end());
        }
        fed.insert(fed.end(), buffer.begin(), buffer.end());
        Seal expected{};
        ASSERT_EQ(EVP_Digest(fed.data(), fed.size(), expected.data(), nullptr, EVP_md5(), nullptr), 1);
        EXPECT_EQ(computeSeal(data), expected);
    }
}

struct RefusalCase
{
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    bool reseal;
    bool opens;
};

class ProjectRefusal : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(ProjectRefusal, OpenGivesTheExpectedResult)
{
    model::Job job;
    addExamplePair(job);
    std::vector<uint8_t> file = sealedFileOf(job);
    GetParam().change(file);
    if (GetParam().reseal && file.size() >= kSealedDataOffset) {
        const auto seal = computeSeal(std::span<const uint8_t>(file).subspan(kSealedDataOffset));
        std::copy(seal->begin(), seal->end(), file.begin() + kSealOffset);
    }
    model::Job read;
    EXPECT_EQ(openBytes(read, file), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProjectRefusal,
    ::testing::Values(
        RefusalCase{"Unchanged", [](auto&) {}, false, true},
        RefusalCase{"BannerLacksATrailingSpace", [](auto& f) { f.erase(f.begin() + 53); }, true, false},
        RefusalCase{"OneSpaceAfterFile",
                    [](auto& f) {
                        f.erase(f.begin() + 24);
                        f.insert(f.begin() + 53, ' ');
                    },
                    true, false},
        RefusalCase{"BannerLetterChanged", [](auto& f) { f[30] ^= 0x20; }, true, false},
        RefusalCase{"Version0", [](auto& f) { putU32(f, 54, 0); }, false, true},
        RefusalCase{"Version100", [](auto& f) { putU32(f, 54, 100); }, false, true},
        RefusalCase{"Version101", [](auto& f) { putU32(f, 54, 101); }, false, false},
        RefusalCase{"VersionAllOnesIsUnsigned", [](auto& f) { putU32(f, 54, 0xFFFFFFFF); }, false, false},
        RefusalCase{"Count101", [](auto& f) { putU32(f, 74, 101); }, true, false},
        RefusalCase{"CountTwoWithOneRecord", [](auto& f) { putU32(f, 74, 2); }, true, false},
        RefusalCase{"CountZeroIgnoresTheRecord", [](auto& f) { putU32(f, 74, 0); }, true, true},
        RefusalCase{"CountNegativeReadsNothing", [](auto& f) { putU32(f, 74, 0xFFFFFFFF); }, true, true},
        RefusalCase{"TextLengthZero", [](auto& f) { putU32(f, 106, 0); }, true, false},
        RefusalCase{"TextLengthNegative", [](auto& f) { putU32(f, 106, 0x80000000); }, true, false},
        RefusalCase{"TextLength261",
                    [](auto& f) {
                        putU32(f, 106, 261);
                        f.insert(f.begin() + 110, 257, 'x');
                    },
                    true, false},
        RefusalCase{"TextLength260",
                    [](auto& f) {
                        putU32(f, 106, 260);
                        f.insert(f.begin() + 110, 256, 'x');
                    },
                    true, true},
        RefusalCase{"ListCountBeyondTheFile", [](auto& f) { putU32(f, 122, 2); }, true, false},
        RefusalCase{"TrailingBytesIgnored",
                    [](auto& f) {
                        f.insert(f.end(), {'j', 'u', 'n', 'k'});
                    },
                    true, true},
        RefusalCase{"SealMissing", [](auto& f) { std::fill(f.begin() + 58, f.begin() + 74, 0); }, false,
                    false},
        RefusalCase{"ShorterThanTheSeal", [](auto& f) { f.resize(70); }, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProjectCodec, EveryChangedByteFromTheCountOnBreaksTheSeal)
{
    model::Job job;
    addExamplePair(job);
    const std::vector<uint8_t> file = sealedFileOf(job);
    for (std::size_t offset = kSealedDataOffset; offset < file.size(); ++offset) {
        SCOPED_TRACE(offset);
        std::vector<uint8_t> changed = file;
        changed[offset] ^= 0x01;
        EXPECT_FALSE(hasValidSeal(changed));
    }
}

TEST(ProjectCodec, AppendedZeroByteKeepsTheSealAndStillOpens)
{
    std::vector<uint8_t> file = sealedFileOf(model::Job{});
    file.push_back(0);
    EXPECT_EQ(sealHexOf(file), "c99a74c555371a433d121f551d6c6398");
    model::Job read;
    EXPECT_TRUE(openBytes(read, file));
}

TEST(ProjectCodec, EveryTruncationIsRefused)
{
    model::Job job;
    addExamplePair(job);
    job.pairAt(0)->excludeFiles.append(u"a");
    const std::vector<uint8_t> file = sealedFileOf(job);
    for (std::size_t length = 0; length < file.size(); ++length) {
        SCOPED_TRACE(length);
        model::Job read;
        EXPECT_FALSE(readProjectBytes(read, std::span<const uint8_t>(file).first(length)));
    }
}

TEST(ProjectCodec, HundredPairsAreTheLimit)
{
    model::Job job;
    for (int i = 0; i < model::kMaxPairs; ++i) {
        model::FolderPair* pair = job.addPair();
        pair->orgPath = u"/o";
        pair->tgtPath = u"/t";
    }
    model::Job read;
    EXPECT_TRUE(openBytes(read, sealedFileOf(job)));
    EXPECT_EQ(read.count(), 100);

    // A full job takes no more pairs: the read fails rather than dropping them.
    model::Job full;
    for (int i = 0; i < model::kMaxPairs; ++i)
        full.addPair();
    model::Job one;
    addExamplePair(one);
    EXPECT_FALSE(openBytes(full, sealedFileOf(one)));
}

TEST(ProjectCodec, UnusualValuesSurviveARoundTrip)
{
    model::Job job;
    model::FolderPair* pair = job.addPair();
    pair->enabled = 7;
    pair->name = u"ABCDEFGHIJKLMNOPQRST"; // 20 bytes: stored without a zero byte
    pair->method = static_cast<model::SyncMethod>(9);
    pair->orgPath = u"/home/\u00e9l\u00e8ve/\u4e2d\u6587/\U0001F600 x";
    pair->tgtPath = std::u16string(259, u'z');
    pair->excludeFiles.append(u"*");
    pair->excludeFiles.append(u"*.*");
    pair->excludeFiles.append(u"*");
    pair->includeFolders.append(u"\u00fcber");
    pair->contentCheck = static_cast<model::ContentCheckMode>(-1);
    pair->readOnlyMode = static_cast<model::AttributeMode>(3);
    pair->hiddenMode = static_cast<model::AttributeMode>(INT32_MIN);
    pair->systemMode = static_cast<model::AttributeMode>(INT32_MAX);
    pair->includeSubfolders = 2;
    pair->recycleDeleted = -5;

    const auto file = sealedFileOf(job);
    const std::size_t nameOffset = 78 + 4;
    EXPECT_EQ(std::find(file.begin() + nameOffset, file.begin() + nameOffset + 20, 0),
              file.begin() + nameOffset + 20)
        << "a 20-byte name fills its field without a zero byte";
    model::Job read;
    ASSERT_TRUE(openBytes(read, file));
    ASSERT_EQ(read.count(), 1);
    EXPECT_EQ(*read.pairAt(0), *pair);
}

TEST(ProjectCodec, PairsComeBackInFileOrderFromSlotZero)
{
    model::Job job;
    for (int i = 0; i < 6; ++i) {
        model::FolderPair* pair = job.addPair();
        pair->name = u"slot" + std::u16string(1, static_cast<char16_t>(u'0' + i));
        pair->orgPath = pair->tgtPath = u"/x";
    }
    for (int slot : {0, 1, 3, 4})
        job.removePair(slot);
    model::Job read;
    ASSERT_TRUE(openBytes(read, sealedFileOf(job)));
    EXPECT_EQ(read.occupiedSlots(), (std::vector<int>{0, 1}));
    EXPECT_EQ(read.pairAt(0)->name, u"slot2");
    EXPECT_EQ(read.pairAt(1)->name, u"slot5");
}

TEST(ProjectCodec, LongNamesAreCutAtACharacterBoundary)
{
    const struct
    {
        std::u16string name;
        std::u16string readBack;
    } cases[] = {
        {u"ABCDEFGHIJKLMNOPQRSTUV", u"ABCDEFGHIJKLMNOPQRST"},
        {u"ABCDEFGHIJKLMNOPQRS\u00e9", u"ABCDEFGHIJKLMNOPQRS"}, // 21 bytes: the two-byte é goes whole
        {u"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9",
         u"\u00e9\u00e9\u00e9\u00e9\u00e9"
         u"\u00e9\u00e9\u00e9\u00e9\u00e9"},
    };
    for (const auto& c : cases) {
        model::Job job;
        model::FolderPair* pair = job.addPair();
        pair->name = c.name;
        pair->orgPath = pair->tgtPath = u"/x";
        model::Job read;
        ASSERT_TRUE(openBytes(read, sealedFileOf(job)));
        EXPECT_EQ(read.pairAt(0)->name, c.readBack);
    }
}

TEST(ProjectCodec, TextsThatCannotBeStoredFailTheSave)
{
    const struct
    {
        const char* name;
        std::u16string org;
        bool storable;
    } cases[] = {
        {"empty", u"", false},
        {"130 two-byte characters: 260 bytes", std::u16string(130, u'\u00e9'), true},
        {"261 bytes", std::u16string(129, u'\u00e9') + u"abc", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model::Job job;
        model::FolderPair* pair = job.addPair();
        pair->orgPath = c.org;
        pair->tgtPath = u"/t";
        EXPECT_EQ(encodeProject(job).has_value(), c.storable);
    }
    model::Job job;
    model::FolderPair* pair = job.addPair();
    pair->orgPath = pair->tgtPath = u"/t";
    pair->excludeFolders.append(u"");
    EXPECT_FALSE(encodeProject(job).has_value()) << "an empty list item";
}

TEST(ProjectCodec, ReadTextsAreBoundedByTheirFields)
{
    const std::string org(260, 'o');
    auto file = FileBuilder().header().u32(1).pair(org).seal().bytes;
    model::Job read;
    ASSERT_TRUE(openBytes(read, file));
    EXPECT_EQ(read.pairAt(0)->orgPath, std::u16string(model::kPathCapacity, u'o'));

    // Invalid UTF-8 in a stored name or path is read as replacement characters.
    file = FileBuilder().header().u32(1).u32(1).name("a\xff").u32(0).text("/\xc3").text("/t").bytes;
    const auto rest =
        FileBuilder().u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).bytes;
    file.insert(file.end(), rest.begin(), rest.end());
    model::Job bad;
    ASSERT_TRUE(readProjectBytes(bad, file));
    EXPECT_EQ(bad.pairAt(0)->name, u"a\uFFFD");
    EXPECT_EQ(bad.pairAt(0)->orgPath, u"/\uFFFD");
}

namespace {

model::PairExtras extrasWithEverySet()
{
    model::PairExtras extras;
    extras.rememberState = true;
    extras.conflictPolicy = model::ConflictPolicy::TgtWins;
    extras.versionsFolder = "/home/\xc3\xa9l\xc3\xa8ve/versions";
    extras.keepVersions = 7;
    extras.keepDays = 30;
    extras.pairId = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    return extras;
}

// A file of the example pair followed by an extension block whose body is `body` (the bytes
// after the length field), built by hand.
std::vector<uint8_t> exampleWithBlock(const std::vector<uint8_t>& body)
{
    model::Job job;
    addExamplePair(job);
    std::vector<uint8_t> file = sealedFileOf(job);
    FileBuilder block;
    block.raw("TAVRELPX").u32(static_cast<uint32_t>(body.size()));
    block.bytes.insert(block.bytes.end(), body.begin(), body.end());
    file.insert(file.end(), block.bytes.begin(), block.bytes.end());
    FileBuilder sealed;
    sealed.bytes = file;
    return sealed.seal().bytes;
}

// Version 1, then one record: the id 0x11 x 16 and the given fields.
std::vector<uint8_t> oneRecord(const std::vector<uint8_t>& fields, uint32_t version = 1)
{
    FileBuilder body;
    body.u32(version).raw(std::string(16, '\x11')).u32(static_cast<uint32_t>(fields.size()));
    body.bytes.insert(body.bytes.end(), fields.begin(), fields.end());
    return body.bytes;
}

std::vector<uint8_t> fieldBytes(uint32_t tag, std::string_view value)
{
    return FileBuilder().u32(tag).text(value).bytes;
}

std::vector<uint8_t> numberField(uint32_t tag, uint32_t value)
{
    return FileBuilder().u32(tag).u32(4).u32(value).bytes;
}

} // namespace

// Pairs with every option at its default keep the original layout (the known-seal tests above
// hold it byte for byte); an id alone is already something to keep.
TEST(ProjectExtensionBlock, WrittenOnlyWhenSomePairHasAnOptionOrAnId)
{
    model::Job job;
    addExamplePair(job);
    addExamplePair(job);
    EXPECT_EQ(sealedFileOf(job).size(), 78u + 2 * 94u);

    job.pairAt(1)->extras.pairId[15] = 1;
    const auto file = sealedFileOf(job);
    // magic, length, version, then per pair its id and an empty field list.
    const auto block = FileBuilder()
                           .raw("TAVRELPX")
                           .u32(4 + 2 * 20)
                           .u32(1)
                           .raw(std::string(16, '\0'))
                           .u32(0)
                           .raw(std::string(15, '\0') + "\x01")
                           .u32(0)
                           .bytes;
    ASSERT_EQ(file.size(), 78u + 2 * 94u + block.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), file.begin() + (78 + 2 * 94)));
    model::Job read;
    ASSERT_TRUE(openBytes(read, file));
    EXPECT_EQ(*read.pairAt(1), *job.pairAt(1));
    EXPECT_TRUE(read.pairAt(0)->extras.isDefault());
}

TEST(ProjectExtensionBlock, FieldsHaveTheirTaggedLayout)
{
    model::Job job;
    addExamplePair(job);
    job.pairAt(0)->extras = extrasWithEverySet();
    const auto file = sealedFileOf(job);
    std::vector<uint8_t> fields;
    for (const auto& f :
         {numberField(1, 1), numberField(2, 3), fieldBytes(3, extrasWithEverySet().versionsFolder),
          numberField(4, 7), numberField(5, 30)})
        fields.insert(fields.end(), f.begin(), f.end());
    FileBuilder body;
    body.u32(1);
    body.bytes.insert(body.bytes.end(), job.pairAt(0)->extras.pairId.begin(),
                      job.pairAt(0)->extras.pairId.end());
    body.u32(static_cast<uint32_t>(fields.size()));
    body.bytes.insert(body.bytes.end(), fields.begin(), fields.end());
    EXPECT_EQ(file, exampleWithBlock(body.bytes));
}

TEST(ProjectExtensionBlock, EachOptionSurvivesARoundTrip)
{
    const model::PairExtras every = extrasWithEverySet();
    std::vector<std::pair<const char*, model::PairExtras>> cases;
    const auto with = [&every](auto change) {
        model::PairExtras extras;
        extras.pairId = every.pairId;
        change(extras);
        return extras;
    };
    cases.emplace_back("remember", with([](auto& e) { e.rememberState = true; }));
    cases.emplace_back("keepBoth", with([](auto& e) { e.conflictPolicy = model::ConflictPolicy::KeepBoth; }));
    cases.emplace_back("unknownPolicy",
                       with([](auto& e) { e.conflictPolicy = static_cast<model::ConflictPolicy>(-3); }));
    cases.emplace_back("versions", with([](auto& e) { e.versionsFolder = std::string(4095, 'v'); }));
    cases.emplace_back("keepVersions", with([](auto& e) { e.keepVersions = 0xFFFFFFFF; }));
    cases.emplace_back("keepDays", with([](auto& e) { e.keepDays = 1; }));
    cases.emplace_back("everything", every);
    for (const auto& [name, extras] : cases) {
        SCOPED_TRACE(name);
        model::Job job;
        addExamplePair(job);
        addExamplePair(job);
        job.pairAt(0)->extras = extras;
        job.pairAt(1)->name = u"Q";
        model::Job read;
        ASSERT_TRUE(openBytes(read, sealedFileOf(job)));
        EXPECT_EQ(*read.pairAt(0), *job.pairAt(0));
        EXPECT_EQ(*read.pairAt(1), *job.pairAt(1));
    }
}

TEST(ProjectExtensionBlock, VersionsFolderThatCannotBeStoredFailsTheSave)
{
    for (const std::string& folder : {std::string(4096, 'v'), std::string("/bad\xff")}) {
        model::Job job;
        addExamplePair(job);
        job.pairAt(0)->extras.versionsFolder = folder;
        EXPECT_FALSE(encodeProject(job).has_value());
    }
}

TEST(ProjectExtensionBlock, FieldsOfALaterReleaseAreSkipped)
{
    std::vector<uint8_t> fields = fieldBytes(99, "later");
    const auto keepDays = numberField(5, 12);
    fields.insert(fields.end(), keepDays.begin(), keepDays.end());
    const auto empty = fieldBytes(100, "");
    fields.insert(fields.end(), empty.begin(), empty.end());
    model::Job read;
    ASSERT_TRUE(openBytes(read, exampleWithBlock(oneRecord(fields))));
    EXPECT_EQ(read.pairAt(0)->extras.keepDays, 12u);
    EXPECT_EQ(read.pairAt(0)->extras.pairId[0], 0x11);
}

struct DamagedBlockCase
{
    const char* name;
    std::vector<uint8_t> body;
};

class DamagedExtensionBlock : public ::testing::TestWithParam<DamagedBlockCase>
{
};

TEST_P(DamagedExtensionBlock, IsRefusedWithTheFile)
{
    model::Job read;
    EXPECT_FALSE(openBytes(read, exampleWithBlock(GetParam().body)));
}

namespace {

std::vector<uint8_t> cut(std::vector<uint8_t> bytes, std::size_t less)
{
    bytes.resize(bytes.size() - less);
    return bytes;
}

std::vector<uint8_t> joined(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedExtensionBlock,
    ::testing::Values(DamagedBlockCase{"Empty", {}}, DamagedBlockCase{"VersionZero", oneRecord({}, 0)},
                      DamagedBlockCase{"VersionOfALaterRelease", oneRecord({}, 2)},
                      DamagedBlockCase{"NoRecord", FileBuilder().u32(1).bytes},
                      DamagedBlockCase{"RecordCutInItsId", cut(oneRecord({}), 5)},
                      DamagedBlockCase{"FieldsLongerThanTheRecord", cut(oneRecord(numberField(4, 1)), 2)},
                      DamagedBlockCase{"FieldCutInItsHead", oneRecord({1, 0, 0, 0, 4})},
                      DamagedBlockCase{"NumberOfThreeBytes", oneRecord(fieldBytes(4, "abc"))},
                      DamagedBlockCase{"RememberTwo", oneRecord(numberField(1, 2))},
                      DamagedBlockCase{"EmptyVersionsFolder", oneRecord(fieldBytes(3, ""))},
                      DamagedBlockCase{"VersionsFolderNotUtf8", oneRecord(fieldBytes(3, "/v\xc3"))},
                      DamagedBlockCase{
                          "RecordForAPairThatIsNotThere",
                          joined(oneRecord({}), FileBuilder().raw(std::string(16, 'x')).u32(0).bytes)}),
    [](const auto& info) { return std::string(info.param.name); });

// A length that runs past the file is as damaged as a block cut short; bytes after the pairs
// that are no block stay ignored, as the original reader ignores them.
TEST(ProjectExtensionBlock, LengthBeyondTheFileIsDamageAndOtherTrailingBytesAreNot)
{
    std::vector<uint8_t> file = exampleWithBlock(oneRecord({}));
    putU32(file, 172 + 8, 1000);
    FileBuilder resealed;
    resealed.bytes = file;
    model::Job read;
    EXPECT_FALSE(openBytes(read, resealed.seal().bytes));

    for (std::string_view trailing : {"TAVRELP", "TAVRELPY-and-more", "x"}) {
        SCOPED_TRACE(trailing);
        model::Job job;
        addExamplePair(job);
        FileBuilder other;
        other.bytes = sealedFileOf(job);
        other.raw(trailing);
        model::Job opened;
        EXPECT_TRUE(openBytes(opened, other.seal().bytes));
        EXPECT_TRUE(opened.pairAt(0)->extras.isDefault());
    }
}
