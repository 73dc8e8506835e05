// SPDX-License-Identifier: GPL-3.0-or-later
// matchesPattern against a slow reference that follows the documented rules literally: names
// and patterns are cut into characters (a well-formed UTF-8 sequence, else one byte), "*"
// takes any run of characters, "?" exactly one, ASCII letters match without case and every
// other character only itself; then the two dot rules for names without a dot.
#include "text/text_codec.h"
#include "text/wildcard.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tavrel::text::isValidUtf8;
using tavrel::text::matchesPattern;

std::vector<std::string> characters(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        // The lead byte says how long a sequence would be; it counts whole only if valid.
        const auto lead = static_cast<unsigned char>(text[pos]);
        const std::size_t wanted = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        std::size_t length = 1;
        if (wanted > 1 && pos + wanted <= text.size() && isValidUtf8(text.substr(pos, wanted)))
            length = wanted;
        out.emplace_back(text.substr(pos, length));
        pos += length;
    }
    return out;
}

std::string folded(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Plain recursion, memoised on (name index, pattern index) so long inputs stay quick.
class Reference
{
public:
    Reference(std::string_view name, std::string_view pattern)
        : m_name(characters(name)), m_pattern(characters(pattern)),
          m_memo((m_name.size() + 1) * (m_pattern.size() + 1), -1)
    {}

    bool matches() { return match(0, 0); }

private:
    bool match(std::size_t n, std::size_t p)
    {
        int& known = m_memo[n * (m_pattern.size() + 1) + p];
        if (known >= 0)
            return known != 0;
        bool result = false;
        if (p == m_pattern.size())
            result = n == m_name.size();
        else if (m_pattern[p] == "*")
            result = match(n, p + 1) || (n < m_name.size() && match(n + 1, p));
        else if (n == m_name.size())
            result = false;
        else if (m_pattern[p] == "?")
            result = match(n + 1, p + 1);
        else
            result = folded(m_pattern[p]) == folded(m_name[n]) && match(n + 1, p + 1);
        known = result ? 1 : 0;
        return result;
    }

    std::vector<std::string> m_name;
    std::vector<std::string> m_pattern;
    std::vector<int> m_memo;
};

bool referenceMatch(std::string_view name, std::string_view pattern)
{
    if (Reference(name, pattern).matches())
        return true;
    if (name.find('.') != std::string_view::npos)
        return false;
    if (pattern.ends_with(".*"))
        return Reference(name, pattern.substr(0, pattern.size() - 2)).matches();
    if (pattern.ends_with("."))
        return Reference(name, pattern.substr(0, pattern.size() - 1)).matches();
    return false;
}

} // namespace

// Input: one byte giving the pattern's length, the pattern, then the name. Patterns come
// from the user's UTF-16 text and are always valid UTF-8; names are any bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t patternLength = std::min<std::size_t>(data[0], rest.size());
    const std::string_view pattern = rest.substr(0, patternLength);
    const std::string_view name = rest.substr(patternLength);
    if (!isValidUtf8(pattern))
        return 0;
    const bool expected = referenceMatch(name, pattern);
    if (matchesPattern(name, pattern) != expected) {
        std::fprintf(stderr, "wildcard: pattern and name disagree, reference says %d\n", expected);
        std::abort();
    }
    return 0;
}
