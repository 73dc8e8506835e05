// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/job.h"
#include "project/seal.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::project::test {

// Builds project files field by field, independently of the writer under test.
class FileBuilder final
{
public:
    FileBuilder& raw(std::string_view data)
    {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }
    FileBuilder& u32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        return *this;
    }
    FileBuilder& header(uint32_t version = 100)
    {
        return raw("DO NOT MODIFY THIS FILE  TAVREL SYNCHRONIZER PROJECT  ")
            .u32(version)
            .raw(std::string(16, '\0'));
    }
    FileBuilder& text(std::string_view value) { return u32(static_cast<uint32_t>(value.size())).raw(value); }
    FileBuilder& name(std::string_view value) { return raw(value).raw(std::string(20 - value.size(), '\0')); }
    // One pair with the given ORG text and otherwise the simplest valid record.
    FileBuilder& pair(std::string_view org)
    {
        u32(1).name("P").u32(0).text(org).text("/t");
        return u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(0).u32(1).u32(1);
    }
    FileBuilder& seal()
    {
        const auto digest = computeSeal(std::span<const uint8_t>(bytes).subspan(kSealedDataOffset));
        std::copy(digest->begin(), digest->end(), bytes.begin() + kSealOffset);
        return *this;
    }

    std::vector<uint8_t> bytes;
};

inline std::string hexOf(std::span<const uint8_t> bytes)
{
    std::string out;
    char digit[3];
    for (uint8_t b : bytes) {
        std::snprintf(digit, sizeof digit, "%02x", b);
        out += digit;
    }
    return out;
}

inline std::string sealHexOf(const std::vector<uint8_t>& file)
{
    return hexOf(std::span<const uint8_t>(file).subspan(kSealOffset, 16));
}

// The reference one-pair job: 172 bytes once saved, with a known seal.
inline void addExamplePair(model::Job& job)
{
    model::FolderPair* pair = job.addPair();
    pair->name = u"P";
    pair->orgPath = u"C:\\A";
    pair->tgtPath = u"D:\\B";
    pair->includeFiles.append(u"*");
    pair->includeFolders.append(u"*");
    pair->includeSubfolders = 1;
    pair->recycleDeleted = 1;
}

} // namespace tavrel::project::test
