// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/sync_state.h"

#include <algorithm>
#include <array>

namespace tavrel::state {
namespace {

constexpr std::size_t kBufferSize = std::size_t{256} * 1024;
constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;
constexpr std::size_t kChecksumBytes = 8;
// No name, path or link target is longer; a larger length is damage, not a reason to allocate.
constexpr uint64_t kMaxTextBytes = uint64_t{64} * 1024;

enum Record : uint8_t
{
    kEnd = 0,
    kFolder = 1,
    kFile = 2,
    kSubfolder = 3,
    kLink = 4,
};

uint64_t hashBytes(uint64_t hash, std::span<const uint8_t> bytes)
{
    for (const uint8_t b : bytes)
        hash = (hash ^ b) * kFnvPrime;
    return hash;
}

uint8_t recordOf(platform::EntryKind kind)
{
    switch (kind) {
    case platform::EntryKind::File:
        return kFile;
    case platform::EntryKind::Folder:
        return kSubfolder;
    case platform::EntryKind::Symlink:
        return kLink;
    }
    return kFile;
}

uint8_t flagsOf(const platform::VolumeTraits& t)
{
    return static_cast<uint8_t>((t.probed ? 1 : 0) | (t.caseInsensitive ? 2 : 0) | (t.timesSettable ? 4 : 0) |
                                (t.linkTimesSettable ? 8 : 0) | (t.linksCreatable ? 16 : 0) |
                                (t.permissionsSettable ? 32 : 0));
}

} // namespace

// ---- writer

std::error_code StateWriter::open(const std::filesystem::path& file, const StateHeader& header)
{
    m_buffer.clear();
    m_buffer.reserve(kBufferSize + 1024);
    m_hash = kFnvOffset;
    m_entries = 0;
    m_inFolder = false;
    m_error = m_file.open(file);
    if (m_error)
        return m_error;
    raw({reinterpret_cast<const uint8_t*>(kStateMagic.data()), kStateMagic.size()});
    for (int shift = 0; shift < 32; shift += 8)
        byte(static_cast<uint8_t>(kStateVersion >> shift));
    raw(header.pairId);
    text(header.roots.org);
    text(header.roots.tgt);
    traits(header.orgTraits);
    traits(header.tgtTraits);
    return m_error;
}

std::error_code StateWriter::beginFolder(std::string_view path)
{
    byte(kFolder);
    text(path);
    m_inFolder = true;
    return flush();
}

std::error_code StateWriter::add(const StateEntry& entry)
{
    if (!m_inFolder && !m_error)
        m_error = std::make_error_code(std::errc::invalid_argument);
    byte(recordOf(entry.kind));
    text(entry.name);
    varint(entry.size);
    zigzag(entry.orgTime);
    // Both sides hold the same time after a copy on most volumes: one byte.
    zigzag(static_cast<int64_t>(static_cast<uint64_t>(entry.tgtTime) - static_cast<uint64_t>(entry.orgTime)));
    varint(entry.orgInode);
    varint(entry.tgtInode);
    if (entry.kind == platform::EntryKind::Symlink)
        text(entry.linkTarget);
    ++m_entries;
    return flush();
}

std::error_code StateWriter::commit()
{
    byte(kEnd);
    varint(m_entries);
    const uint64_t hash = hashBytes(m_hash, m_buffer);
    for (int shift = 0; shift < 64; shift += 8)
        m_buffer.push_back(static_cast<uint8_t>(hash >> shift));
    if (m_buffer.size() > 0 && !m_error)
        m_error = m_file.append(m_buffer);
    m_buffer.clear();
    if (!m_error)
        m_error = m_file.commit();
    m_file.abandon();
    return m_error;
}

void StateWriter::byte(uint8_t value)
{
    m_buffer.push_back(value);
}

void StateWriter::varint(uint64_t value)
{
    while (value >= 0x80) {
        m_buffer.push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    m_buffer.push_back(static_cast<uint8_t>(value));
}

void StateWriter::zigzag(int64_t value)
{
    varint((static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63));
}

void StateWriter::text(std::string_view value)
{
    varint(value.size());
    m_buffer.insert(m_buffer.end(), value.begin(), value.end());
}

void StateWriter::raw(std::span<const uint8_t> bytes)
{
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

void StateWriter::traits(const platform::VolumeTraits& value)
{
    byte(flagsOf(value));
    zigzag(value.error);
    zigzag(value.timePrecision);
    zigzag(value.timeMin);
    zigzag(value.timeMax);
}

std::error_code StateWriter::flush()
{
    if (m_buffer.size() < kBufferSize)
        return m_error;
    m_hash = hashBytes(m_hash, m_buffer);
    if (!m_error)
        m_error = m_file.append(m_buffer);
    m_buffer.clear();
    return m_error;
}

// ---- reader

StateStatus StateReader::fail(StateStatus status)
{
    m_status = status;
    return status;
}

StateStatus StateReader::open(const std::filesystem::path& file, const StateRoots& expected)
{
    m_header = {};
    m_error.clear();
    m_buffer.assign(kBufferSize, 0);
    m_pos = m_end = 0;
    m_atEnd = false;
    m_entries = 0;
    if (const std::error_code error = m_file.open(file)) {
        if (error == std::errc::no_such_file_or_directory)
            return fail(StateStatus::Missing);
        if (error == std::errc::invalid_argument)
            return fail(StateStatus::Damaged);
        m_error = error;
        return fail(StateStatus::Unreadable);
    }
    const uint64_t size = m_file.size();
    if (size < kStateMagic.size() + 4 + kChecksumBytes)
        return fail(StateStatus::Damaged);

    // The checksum first, over the whole file, so no entry of a damaged file is ever acted on.
    uint64_t hash = kFnvOffset;
    uint64_t covered = 0;
    const uint64_t hashed = size - kChecksumBytes;
    std::array<uint8_t, kChecksumBytes> stored{};
    std::size_t storedHave = 0;
    for (;;) {
        const int64_t got = m_file.read(m_buffer);
        if (got < 0) {
            m_error = std::error_code(errno, std::generic_category());
            return fail(StateStatus::Unreadable);
        }
        const auto chunk = std::span<const uint8_t>(m_buffer).first(static_cast<std::size_t>(got));
        const std::size_t toHash =
            static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), hashed - std::min(hashed, covered)));
        hash = hashBytes(hash, chunk.first(toHash));
        for (std::size_t i = toHash; i < chunk.size() && storedHave < stored.size(); ++i)
            stored[storedHave++] = chunk[i];
        covered += chunk.size();
        if (static_cast<std::size_t>(got) < m_buffer.size())
            break;
    }
    // A file that grew or shrank meanwhile is damaged for this reading.
    uint64_t storedHash = 0;
    for (std::size_t i = 0; i < stored.size(); ++i)
        storedHash |= uint64_t{stored[i]} << (8 * i);
    if (covered != size || storedHave != stored.size() || storedHash != hash || !m_file.rewind())
        return fail(StateStatus::Damaged);

    std::array<uint8_t, kStateMagic.size()> magic{};
    std::array<uint8_t, 4> version{};
    if (!fixed(magic.data(), magic.size()) ||
        !std::equal(magic.begin(), magic.end(), kStateMagic.begin(),
                    [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }) ||
        !fixed(version.data(), version.size()))
        return fail(StateStatus::Damaged);
    const uint32_t fileVersion = uint32_t{version[0]} | uint32_t{version[1]} << 8 |
                                 uint32_t{version[2]} << 16 | uint32_t{version[3]} << 24;
    if (fileVersion > kStateVersion)
        return fail(StateStatus::NewerFormat);
    if (fileVersion == 0 || !fixed(m_header.pairId.data(), m_header.pairId.size()) ||
        !text(m_header.roots.org) || !text(m_header.roots.tgt) || !traits(m_header.orgTraits) ||
        !traits(m_header.tgtTraits))
        return fail(StateStatus::Damaged);
    if (m_header.roots != expected)
        return fail(StateStatus::OtherRoots);
    return fail(StateStatus::Ok);
}

bool StateReader::nextFolder(StateFolder& folder)
{
    folder.path.clear();
    folder.entries.clear();
    if (m_status != StateStatus::Ok || m_atEnd)
        return false;
    uint8_t type = 0;
    if (!byte(type)) {
        fail(StateStatus::Damaged);
        return false;
    }
    if (type == kEnd) {
        uint64_t count = 0;
        if (!varint(count) || count != m_entries)
            fail(StateStatus::Damaged);
        m_atEnd = true;
        return false;
    }
    if (type != kFolder || !text(folder.path)) {
        fail(StateStatus::Damaged);
        return false;
    }
    for (;;) {
        if (!peek(type)) {
            fail(StateStatus::Damaged);
            return false;
        }
        if (type == kEnd || type == kFolder)
            return true;
        byte(type);
        StateEntry& added = folder.entries.emplace_back();
        if (!entry(type, added)) {
            fail(StateStatus::Damaged);
            return false;
        }
        ++m_entries;
    }
}

bool StateReader::entry(uint8_t type, StateEntry& value)
{
    switch (type) {
    case kFile:
        value.kind = platform::EntryKind::File;
        break;
    case kSubfolder:
        value.kind = platform::EntryKind::Folder;
        break;
    case kLink:
        value.kind = platform::EntryKind::Symlink;
        break;
    default:
        return false;
    }
    int64_t delta = 0;
    if (!text(value.name) || !varint(value.size) || !zigzag(value.orgTime) || !zigzag(delta) ||
        !varint(value.orgInode) || !varint(value.tgtInode))
        return false;
    value.tgtTime = static_cast<int64_t>(static_cast<uint64_t>(value.orgTime) + static_cast<uint64_t>(delta));
    return value.kind != platform::EntryKind::Symlink || text(value.linkTarget);
}

bool StateReader::fill()
{
    if (m_pos < m_end)
        return true;
    const int64_t got = m_file.read(m_buffer);
    if (got <= 0) {
        if (got < 0)
            m_error = std::error_code(errno, std::generic_category());
        return false;
    }
    m_pos = 0;
    m_end = static_cast<std::size_t>(got);
    return true;
}

bool StateReader::byte(uint8_t& value)
{
    if (!fill())
        return false;
    value = m_buffer[m_pos++];
    return true;
}

bool StateReader::peek(uint8_t& value)
{
    if (!fill())
        return false;
    value = m_buffer[m_pos];
    return true;
}

bool StateReader::varint(uint64_t& value)
{
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        uint8_t b = 0;
        if (!byte(b))
            return false;
        value |= uint64_t{b & 0x7Fu} << shift;
        if ((b & 0x80) == 0)
            return shift < 63 || b <= 1;
    }
    return false;
}

bool StateReader::zigzag(int64_t& value)
{
    uint64_t raw = 0;
    if (!varint(raw))
        return false;
    value = static_cast<int64_t>((raw >> 1) ^ (~(raw & 1) + 1));
    return true;
}

bool StateReader::text(std::string& value)
{
    uint64_t length = 0;
    if (!varint(length) || length > kMaxTextBytes)
        return false;
    value.resize(static_cast<std::size_t>(length));
    return fixed(reinterpret_cast<uint8_t*>(value.data()), value.size());
}

bool StateReader::fixed(uint8_t* out, std::size_t count)
{
    while (count > 0) {
        if (!fill())
            return false;
        const std::size_t take = std::min(count, m_end - m_pos);
        std::copy_n(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_pos), take, out);
        m_pos += take;
        out += take;
        count -= take;
    }
    return true;
}

bool StateReader::traits(platform::VolumeTraits& value)
{
    uint8_t flags = 0;
    int64_t error = 0;
    if (!byte(flags) || !zigzag(error) || !zigzag(value.timePrecision) || !zigzag(value.timeMin) ||
        !zigzag(value.timeMax))
        return false;
    value.probed = (flags & 1) != 0;
    value.caseInsensitive = (flags & 2) != 0;
    value.timesSettable = (flags & 4) != 0;
    value.linkTimesSettable = (flags & 8) != 0;
    value.linksCreatable = (flags & 16) != 0;
    value.permissionsSettable = (flags & 32) != 0;
    value.error = static_cast<int>(error);
    return true;
}

} // namespace tavrel::state
