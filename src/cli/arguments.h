// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel::cli {

// A wrong command line: the text names the option or operand at fault. Thrown by the parsers
// and turned into the usage exit by the command.
class UsageError final : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Walks one command's arguments. "--name=value" and "--name value" give the same value; "--"
// makes every later argument an operand, so a file may begin with "-". Values are taken as
// they are, also when they begin with "-" (a pattern "-draft*", say).
class ArgumentReader final
{
public:
    explicit ArgumentReader(std::span<const std::string_view> arguments) : m_arguments(arguments) {}

    // Steps to the next argument; false after the last.
    bool next();
    // The current argument is an option: it begins with "-" (and is not "-" alone) and no "--"
    // came before it.
    bool isOption() const { return m_isOption; }
    // The option's name without an "=value" part, or the operand.
    std::string_view current() const { return m_current; }

    // The option's value: its "=value", or else the next argument.
    std::string_view value();
    // The `count` arguments after an option that takes several ("--pair NAME METHOD ORG TGT").
    std::span<const std::string_view> values(std::size_t count, std::string_view what);
    // Refuses an "=value" given to an option that takes none.
    void noValue() const;

    // The arguments from the current one up to what has been taken so far: the option just
    // read with its values, to be read again by another reader.
    std::span<const std::string_view> taken() const { return m_arguments.subspan(m_start, m_next - m_start); }

private:
    std::span<const std::string_view> m_arguments;
    std::size_t m_next = 0;
    std::size_t m_start = 0;
    bool m_optionsEnded = false;
    bool m_isOption = false;
    std::string_view m_current;
    std::string_view m_inlineValue;
    bool m_hasInlineValue = false;
};

// An argument as it may appear in a message: quoted when it is empty or holds a blank, with
// control characters shown as escapes.
std::string quoteArgument(std::string_view text);

} // namespace tavrel::cli
