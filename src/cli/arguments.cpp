// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include "cli/terminal_text.h"

namespace tavrel::cli {

bool ArgumentReader::next()
{
    m_hasInlineValue = false;
    m_inlineValue = {};
    while (m_next < m_arguments.size()) {
        m_start = m_next;
        const std::string_view argument = m_arguments[m_next++];
        if (!m_optionsEnded && argument == "--") {
            m_optionsEnded = true;
            continue;
        }
        m_isOption = !m_optionsEnded && argument.size() > 1 && argument.front() == '-';
        m_current = argument;
        if (m_isOption && argument.starts_with("--")) {
            if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
                m_current = argument.substr(0, equals);
                m_inlineValue = argument.substr(equals + 1);
                m_hasInlineValue = true;
            }
        }
        return true;
    }
    return false;
}

std::string_view ArgumentReader::value()
{
    if (m_hasInlineValue) {
        m_hasInlineValue = false;
        return m_inlineValue;
    }
    if (m_next >= m_arguments.size())
        throw UsageError(std::string(m_current) + " needs a value");
    return m_arguments[m_next++];
}

std::span<const std::string_view> ArgumentReader::values(std::size_t count, std::string_view what)
{
    if (m_hasInlineValue)
        throw UsageError(std::string(m_current) + " takes " + std::string(what) + " as separate arguments");
    if (m_arguments.size() - m_next < count)
        throw UsageError(std::string(m_current) + " needs " + std::string(what));
    const std::span<const std::string_view> taken = m_arguments.subspan(m_next, count);
    m_next += count;
    return taken;
}

void ArgumentReader::noValue() const
{
    if (m_hasInlineValue)
        throw UsageError(std::string(m_current) + " takes no value");
}

std::string quoteArgument(std::string_view text)
{
    const std::string shown = printableText(text, Breaks::Escape);
    const bool plain = !shown.empty() && shown.find_first_of(" \t\"'") == std::string::npos;
    return plain ? shown : "\"" + shown + "\"";
}

} // namespace tavrel::cli
