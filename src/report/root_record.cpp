// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/root_record.h"

#include "platform/app_paths.h"
#include "platform/own_files.h"
#include "platform/replace_file.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <span>
#include <string_view>
#include <system_error>
#include <vector>

namespace tavrel::report {

namespace {

constexpr std::string_view kHeader = "tavrel-sync roots 1\n";
// 200 roots of 4 KiB each, escaped, and then some: a larger file is no record of ours.
constexpr std::size_t kMaxRecordBytes = std::size_t{4} << 20;

// Paths are raw bytes; only the characters that would break the line format are escaped.
std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '%' || c == '\n' || c == '\r') {
            constexpr std::string_view kHex = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(c);
            out.push_back('%');
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool unescaped(std::string_view text, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        unsigned value = 0;
        if (i + 2 >= text.size())
            return false;
        const auto [end, error] = std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16);
        if (error != std::errc() || end != text.data() + i + 3)
            return false;
        out.push_back(static_cast<char>(value));
        i += 2;
    }
    return true;
}

// FNV-1a: stable across builds and machines, unlike std::hash.
uint64_t digestOf(std::string_view text)
{
    uint64_t hash = 14695981039346656037ULL;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

// A folder that is no link (a link could lead the record anywhere).
bool isPlainFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    return std::filesystem::symlink_status(folder, error).type() == std::filesystem::file_type::directory;
}

char sideLetter(RootSide side)
{
    return side == RootSide::Org ? 'O' : 'T';
}

} // namespace

std::filesystem::path defaultRootRecordFolder()
{
    return platform::userDataFolder() / "roots";
}

RootRecord::RootRecord(const std::filesystem::path& jobFile, std::filesystem::path folder)
    : m_folder(std::move(folder))
{
    std::error_code error;
    std::filesystem::path full =
        std::filesystem::weakly_canonical(std::filesystem::absolute(jobFile, error), error);
    m_jobFile = (error ? jobFile : full).native();
}

std::filesystem::path RootRecord::file() const
{
    std::array<char, 17> name = {};
    const auto [end, error] = std::to_chars(name.data(), name.data() + 16, digestOf(m_jobFile), 16);
    (void)error;
    return m_folder / (std::string(name.data(), end) + ".txt");
}

void RootRecord::load()
{
    m_roots.clear();
    m_changed = true;
    if (!isPlainFolder(m_folder))
        return;
    platform::RegularFile record;
    std::vector<uint8_t> bytes;
    if (record.open(file(), platform::RegularFile::Access::Read, false) ||
        record.readAll(kMaxRecordBytes, bytes))
        return;
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!text.starts_with(kHeader))
        return;
    text.remove_prefix(kHeader.size());
    std::map<std::pair<int, RootSide>, std::string> roots;
    bool jobSeen = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return; // cut short: trust none of it
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        std::string value;
        if (!jobSeen) {
            if (!line.starts_with("job ") || !unescaped(line.substr(4), value) || value != m_jobFile)
                return;
            jobSeen = true;
            continue;
        }
        int slot = -1;
        const auto [afterSlot, error] = std::from_chars(line.data(), line.data() + line.size(), slot);
        line.remove_prefix(static_cast<std::size_t>(afterSlot - line.data()));
        if (error != std::errc() || slot < 0 || line.size() < 3 || line[0] != ' ' || line[2] != ' ' ||
            (line[1] != 'O' && line[1] != 'T') || !unescaped(line.substr(3), value))
            return;
        roots[{slot, line[1] == 'O' ? RootSide::Org : RootSide::Tgt}] = std::move(value);
    }
    m_roots = std::move(roots);
    m_changed = false;
}

bool RootRecord::existed(int slot, RootSide side, const std::string& root) const
{
    const auto found = m_roots.find({slot, side});
    return found != m_roots.end() && found->second == root;
}

void RootRecord::noteExisting(int slot, RootSide side, const std::string& root)
{
    std::string& known = m_roots[{slot, side}];
    if (known != root) {
        known = root;
        m_changed = true;
    }
}

bool RootRecord::save() const
{
    if (!m_changed)
        return true;
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    if (error || !isPlainFolder(m_folder))
        return false;
    std::string text(kHeader);
    text += "job " + escaped(m_jobFile) + "\n";
    for (const auto& [key, root] : m_roots)
        text += std::to_string(key.first) + ' ' + sideLetter(key.second) + ' ' + escaped(root) + "\n";
    // The rename replaces a link in the file's place instead of writing through it.
    const auto bytes = std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return !platform::replaceFile(file(), bytes, platform::ReplaceOptions{0600, true});
}

} // namespace tavrel::report
