// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/pair_extras.h"
#include "platform/file_system.h"
#include "platform/staged_file.h"
#include "platform/volume_probe.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace tavrel::state {

// What a remembering Synchronize pair knew at the end of its last run: one file per pair id,
// a header (magic, format version, pair id, the resolved roots and each root's volume traits),
// then the items folder by folder in the order the breadth-first walk meets them, and a
// checksum at the end. Written through a temporary that is fsynced and renamed into place;
// read as a stream, one folder at a time, so memory stays flat however large the tree.
//
// Layout (integers little-endian; "varint" is LEB128, "zigzag" a signed varint):
//   "TAVRELST" | version u32 | pair id 16 | org root, tgt root: varint length + bytes |
//   org traits, tgt traits: flags byte, error zigzag, precision, min, max zigzag |
//   records: 1 folder: path varint length + bytes ("" the root, else "a/b/")
//            2 file, 3 folder, 4 link: name varint length + bytes | size varint |
//              org time zigzag | tgt time - org time zigzag | org inode, tgt inode varint |
//              a link's target varint length + bytes
//            0 end | entry count varint | FNV-1a 64 of everything before it, 8 bytes

inline constexpr std::string_view kStateMagic = "TAVRELST";
inline constexpr uint32_t kStateVersion = 1;

// The roots a state was recorded for, as resolved when the pair started (bytes, absolute).
struct StateRoots
{
    std::string org;
    std::string tgt;

    friend bool operator==(const StateRoots&, const StateRoots&) = default;
};

struct StateHeader
{
    model::PairId pairId{};
    StateRoots roots;
    platform::VolumeTraits orgTraits;
    platform::VolumeTraits tgtTraits;
};

// One item as both sides held it when the last run ended.
struct StateEntry
{
    std::string name; // within its folder
    platform::EntryKind kind = platform::EntryKind::File;
    uint64_t size = 0;
    int64_t orgTime = 0;
    int64_t tgtTime = 0;
    uint64_t orgInode = 0;
    uint64_t tgtInode = 0;
    std::string linkTarget; // links only

    friend bool operator==(const StateEntry&, const StateEntry&) = default;
};

// One folder's items; `path` is relative to the roots: "" for the roots themselves, else
// ending with "/". An entry's relative path is path + name.
struct StateFolder
{
    std::string path;
    std::vector<StateEntry> entries;
};

enum class StateStatus
{
    Ok,
    Missing,     // no state for the pair: its first run, or it was forgotten
    Damaged,     // cut short, changed, or not a state file: take it as missing, never act on it
    NewerFormat, // written by a later release
    OtherRoots,  // recorded for other roots (the pair's folders were changed since)
    Unreadable,  // the system refused to read it (see error())
};

// Reads a state file. open() checks everything it can before a single entry is handed out:
// magic, version, the whole file's checksum (one streaming pass) and the roots.
class StateReader final
{
public:
    StateStatus open(const std::filesystem::path& file, const StateRoots& expected);
    const StateHeader& header() const { return m_header; }
    // The next folder with its entries; false at the end or on damage (status() says which).
    bool nextFolder(StateFolder& folder);
    StateStatus status() const { return m_status; }
    std::error_code error() const { return m_error; }

private:
    bool fill();
    bool byte(uint8_t& value);
    bool peek(uint8_t& value);
    bool varint(uint64_t& value);
    bool zigzag(int64_t& value);
    bool text(std::string& value);
    bool fixed(uint8_t* out, std::size_t count);
    bool traits(platform::VolumeTraits& value);
    bool entry(uint8_t type, StateEntry& value);
    StateStatus fail(StateStatus status);

    platform::SequentialFile m_file;
    std::vector<uint8_t> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_atEnd = false;
    uint64_t m_entries = 0;
    StateHeader m_header;
    StateStatus m_status = StateStatus::Missing;
    std::error_code m_error;
};

// Writes a state file: the header at open(), then folders and their entries as they come,
// the end and the checksum at commit(). Nothing replaces the previous state until commit()
// succeeds; an unfinished writer leaves it as it was. The first error sticks.
class StateWriter final
{
public:
    std::error_code open(const std::filesystem::path& file, const StateHeader& header);
    // Starts the next folder: `path` as StateFolder::path.
    std::error_code beginFolder(std::string_view path);
    std::error_code add(const StateEntry& entry);
    std::error_code commit();
    uint64_t entryCount() const { return m_entries; }

private:
    void byte(uint8_t value);
    void varint(uint64_t value);
    void zigzag(int64_t value);
    void text(std::string_view value);
    void raw(std::span<const uint8_t> bytes);
    void traits(const platform::VolumeTraits& value);
    std::error_code flush();

    platform::StagedFile m_file;
    std::vector<uint8_t> m_buffer;
    uint64_t m_hash = 0;
    uint64_t m_entries = 0;
    bool m_inFolder = false;
    std::error_code m_error;
};

} // namespace tavrel::state
