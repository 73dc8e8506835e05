// SPDX-License-Identifier: GPL-3.0-or-later
#include "project/project_codec.h"

#include "model/text_rules.h"
#include "project/seal.h"
#include "text/text_codec.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace tavrel::project {
namespace {

class Encoder final
{
public:
    void bytes(std::string_view data) { m_out.insert(m_out.end(), data.begin(), data.end()); }
    void u32(uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            m_out.push_back(static_cast<uint8_t>(value >> shift));
    }
    void i32(int32_t value) { u32(static_cast<uint32_t>(value)); }
    void zeros(std::size_t count) { m_out.insert(m_out.end(), count, 0); }

    // False when the text cannot be stored.
    bool text(std::u16string_view value)
    {
        const std::string encoded = text::toUtf8(value);
        if (encoded.empty() || encoded.size() > static_cast<std::size_t>(kMaxTextBytes))
            return false;
        i32(static_cast<int32_t>(encoded.size()));
        bytes(encoded);
        return true;
    }

    bool list(const model::PatternList& items)
    {
        i32(static_cast<int32_t>(items.size()));
        return std::all_of(items.begin(), items.end(), [this](const auto& item) { return text(item); });
    }

    // Cut to the field at a character boundary, then zero-filled; a full field has no zero.
    void name(std::u16string_view value)
    {
        std::string encoded = text::toUtf8(value);
        if (encoded.size() > kNameFieldSize) {
            std::size_t keep = kNameFieldSize;
            while (keep > 0 && (static_cast<unsigned char>(encoded[keep]) & 0xC0) == 0x80)
                --keep;
            encoded.resize(keep);
        }
        bytes(encoded);
        zeros(kNameFieldSize - encoded.size());
    }

    // Puts `value` at `offset`, over bytes written before (a length known only afterwards).
    void u32At(std::size_t offset, uint32_t value)
    {
        for (std::size_t i = 0; i < 4; ++i)
            m_out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    std::size_t size() const { return m_out.size(); }

    std::vector<uint8_t>& output() { return m_out; }

private:
    std::vector<uint8_t> m_out;
};

class Decoder final
{
public:
    explicit Decoder(std::span<const uint8_t> data) : m_data(data) {}

    bool bytes(std::size_t count, std::span<const uint8_t>& out)
    {
        if (m_data.size() - m_pos < count)
            return false;
        out = m_data.subspan(m_pos, count);
        m_pos += count;
        return true;
    }
    bool u32(uint32_t& value)
    {
        std::span<const uint8_t> raw;
        if (!bytes(4, raw))
            return false;
        value = uint32_t{raw[0]} | uint32_t{raw[1]} << 8 | uint32_t{raw[2]} << 16 | uint32_t{raw[3]} << 24;
        return true;
    }
    bool i32(int32_t& value)
    {
        uint32_t raw = 0;
        if (!u32(raw))
            return false;
        value = static_cast<int32_t>(raw);
        return true;
    }
    template <typename Enum> bool number(Enum& value)
    {
        int32_t raw = 0;
        if (!i32(raw))
            return false;
        value = static_cast<Enum>(raw);
        return true;
    }
    // A stored text, bounded by the capacity of the field it goes to.
    bool text(std::u16string& value, std::size_t capacity)
    {
        int32_t length = 0;
        std::span<const uint8_t> raw;
        if (!i32(length) || length < 1 || length > kMaxTextBytes ||
            !bytes(static_cast<std::size_t>(length), raw))
            return false;
        value = model::fitText(text::fromUtf8(asText(raw)), capacity);
        return true;
    }
    bool list(model::PatternList& items)
    {
        int32_t count = 0;
        if (!i32(count))
            return false;
        for (int32_t i = 0; i < count; ++i) {
            std::u16string item;
            if (!text(item, model::kItemCapacity))
                return false;
            items.append(item);
        }
        return true;
    }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    // Whether the unread bytes begin with `prefix`; nothing is taken.
    bool startsWith(std::string_view prefix) const
    {
        return remaining() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), m_data.begin() + static_cast<std::ptrdiff_t>(m_pos),
                          [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
    }

    bool name(std::u16string& value)
    {
        std::span<const uint8_t> raw;
        if (!bytes(kNameFieldSize, raw))
            return false;
        const auto end = std::find(raw.begin(), raw.end(), uint8_t{0});
        value = model::fitText(text::fromUtf8(asText(raw.first(end - raw.begin()))), model::kNameCapacity);
        return true;
    }

    static std::string_view asText(std::span<const uint8_t> raw)
    {
        return {reinterpret_cast<const char*>(raw.data()), raw.size()};
    }

private:
    std::span<const uint8_t> m_data;
    std::size_t m_pos = 0;
};

bool encodePair(Encoder& out, const model::FolderPair& pair)
{
    out.i32(pair.enabled);
    out.name(pair.name);
    out.i32(static_cast<int32_t>(pair.method));
    if (!out.text(pair.orgPath) || !out.text(pair.tgtPath))
        return false;
    for (const model::PatternList* list :
         {&pair.includeFiles, &pair.excludeFiles, &pair.includeFolders, &pair.excludeFolders}) {
        if (!out.list(*list))
            return false;
    }
    for (int32_t value : {static_cast<int32_t>(pair.contentCheck), static_cast<int32_t>(pair.readOnlyMode),
                          static_cast<int32_t>(pair.hiddenMode), static_cast<int32_t>(pair.systemMode),
                          pair.includeSubfolders, pair.recycleDeleted})
        out.i32(value);
    return true;
}

bool decodePair(Decoder& in, model::FolderPair& pair)
{
    return in.i32(pair.enabled) && in.name(pair.name) && in.number(pair.method) &&
           in.text(pair.orgPath, model::kPathCapacity) && in.text(pair.tgtPath, model::kPathCapacity) &&
           in.list(pair.includeFiles) && in.list(pair.excludeFiles) && in.list(pair.includeFolders) &&
           in.list(pair.excludeFolders) && in.number(pair.contentCheck) && in.number(pair.readOnlyMode) &&
           in.number(pair.hiddenMode) && in.number(pair.systemMode) && in.i32(pair.includeSubfolders) &&
           in.i32(pair.recycleDeleted);
}

void field(Encoder& out, ExtensionTag tag, uint32_t value)
{
    out.u32(static_cast<uint32_t>(tag));
    out.u32(4);
    out.u32(value);
}

// Only fields away from their defaults are written; a reader starts from the defaults.
bool encodeExtras(Encoder& out, const model::PairExtras& extras)
{
    out.bytes({reinterpret_cast<const char*>(extras.pairId.data()), extras.pairId.size()});
    const std::size_t lengthAt = out.size();
    out.u32(0);
    const model::PairExtras defaults;
    if (extras.rememberState != defaults.rememberState)
        field(out, ExtensionTag::RememberState, extras.rememberState ? 1 : 0);
    if (extras.conflictPolicy != defaults.conflictPolicy)
        field(out, ExtensionTag::ConflictPolicy, static_cast<uint32_t>(extras.conflictPolicy));
    if (!extras.versionsFolder.empty()) {
        if (extras.versionsFolder.size() > model::kMaxVersionsFolderBytes ||
            !text::isValidUtf8(extras.versionsFolder))
            return false;
        out.u32(static_cast<uint32_t>(ExtensionTag::VersionsFolder));
        out.u32(static_cast<uint32_t>(extras.versionsFolder.size()));
        out.bytes(extras.versionsFolder);
    }
    if (extras.keepVersions != defaults.keepVersions)
        field(out, ExtensionTag::KeepVersions, extras.keepVersions);
    if (extras.keepDays != defaults.keepDays)
        field(out, ExtensionTag::KeepDays, extras.keepDays);
    out.u32At(lengthAt, static_cast<uint32_t>(out.size() - lengthAt - 4));
    return true;
}

bool encodeExtensionBlock(Encoder& out, const model::Job& job)
{
    const std::vector<int> slots = job.occupiedSlots();
    if (std::all_of(slots.begin(), slots.end(),
                    [&job](int slot) { return job.pairAt(slot)->extras.isDefault(); }))
        return true;
    out.bytes(kExtensionMagic);
    const std::size_t lengthAt = out.size();
    out.u32(0);
    out.u32(kExtensionVersion);
    for (const int slot : slots) {
        if (!encodeExtras(out, job.pairAt(slot)->extras))
            return false;
    }
    out.u32At(lengthAt, static_cast<uint32_t>(out.size() - lengthAt - 4));
    return true;
}

bool decodeField(uint32_t tag, std::span<const uint8_t> value, model::PairExtras& extras)
{
    const auto number = [value](uint32_t& out) {
        if (value.size() != 4)
            return false;
        out = uint32_t{value[0]} | uint32_t{value[1]} << 8 | uint32_t{value[2]} << 16 |
              uint32_t{value[3]} << 24;
        return true;
    };
    uint32_t raw = 0;
    switch (static_cast<ExtensionTag>(tag)) {
    case ExtensionTag::RememberState:
        if (!number(raw) || raw > 1)
            return false;
        extras.rememberState = raw == 1;
        return true;
    case ExtensionTag::ConflictPolicy:
        // Kept as read, like the pair record's enums; the engine treats unknown values as Skip.
        if (!number(raw))
            return false;
        extras.conflictPolicy = static_cast<model::ConflictPolicy>(static_cast<int32_t>(raw));
        return true;
    case ExtensionTag::VersionsFolder: {
        const std::string_view text = Decoder::asText(value);
        if (text.empty() || text.size() > model::kMaxVersionsFolderBytes || !text::isValidUtf8(text))
            return false;
        extras.versionsFolder = std::string(text);
        return true;
    }
    case ExtensionTag::KeepVersions:
        return number(extras.keepVersions);
    case ExtensionTag::KeepDays:
        return number(extras.keepDays);
    }
    return true; // a field of a later release
}

bool decodeExtras(Decoder& in, model::PairExtras& extras)
{
    std::span<const uint8_t> id;
    uint32_t length = 0;
    std::span<const uint8_t> fields;
    if (!in.bytes(extras.pairId.size(), id) || !in.u32(length) || !in.bytes(length, fields))
        return false;
    std::copy(id.begin(), id.end(), extras.pairId.begin());
    Decoder fieldIn(fields);
    while (fieldIn.remaining() > 0) {
        uint32_t tag = 0;
        uint32_t size = 0;
        std::span<const uint8_t> value;
        if (!fieldIn.u32(tag) || !fieldIn.u32(size) || !fieldIn.bytes(size, value) ||
            !decodeField(tag, value, extras))
            return false;
    }
    return true;
}

// The block after the pairs just read, when there is one; true when there is none.
bool decodeExtensionBlock(Decoder& in, const std::vector<model::FolderPair*>& pairs)
{
    std::span<const uint8_t> magic;
    if (!in.startsWith(kExtensionMagic) || !in.bytes(kExtensionMagic.size(), magic))
        return true;
    uint32_t length = 0;
    std::span<const uint8_t> body;
    if (!in.u32(length) || !in.bytes(length, body))
        return false;
    Decoder block(body);
    uint32_t version = 0;
    if (!block.u32(version) || version == 0 || version > kExtensionVersion)
        return false;
    for (model::FolderPair* pair : pairs) {
        if (!decodeExtras(block, pair->extras))
            return false;
    }
    return block.remaining() == 0;
}

} // namespace

std::optional<std::vector<uint8_t>> encodeProject(const model::Job& job)
{
    Encoder out;
    out.bytes(kProjectBanner);
    out.u32(kProjectVersion);
    out.zeros(kSealedDataOffset - kSealOffset);
    out.i32(job.count());
    for (int slot : job.occupiedSlots()) {
        if (!encodePair(out, *job.pairAt(slot)))
            return std::nullopt;
    }
    if (!encodeExtensionBlock(out, job) || out.output().size() > kMaxProjectBytes)
        return std::nullopt;
    return std::move(out.output());
}

bool readProjectBytes(model::Job& job, std::span<const uint8_t> fileBytes)
{
    Decoder in(fileBytes);
    std::span<const uint8_t> banner;
    if (!in.bytes(kProjectBanner.size(), banner) ||
        !std::equal(banner.begin(), banner.end(), kProjectBanner.begin(), kProjectBanner.end(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }))
        return false;
    uint32_t version = 0;
    if (!in.u32(version) || version > kProjectVersion)
        return false;
    std::span<const uint8_t> seal;
    int32_t count = 0;
    if (!in.bytes(kSealedDataOffset - kSealOffset, seal) || !in.i32(count) || count > model::kMaxPairs)
        return false;

    std::vector<model::FolderPair*> pairs;
    for (int32_t i = 0; i < count; ++i) {
        model::FolderPair* pair = job.addPair();
        if (pair == nullptr || !decodePair(in, *pair))
            return false;
        pairs.push_back(pair);
    }
    return decodeExtensionBlock(in, pairs);
}

} // namespace tavrel::project
