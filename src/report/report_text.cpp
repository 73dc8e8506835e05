// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_text.h"

#include "text/text_codec.h"

namespace tavrel::report {

std::string escapePath(std::string_view path)
{
    const std::string shown = text::displayName(path);
    std::string out;
    out.reserve(shown.size() + shown.size() / 4);
    for (char c : shown) {
        switch (c) {
        case ' ':
            out += "&nbsp;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string recordLine(std::string_view marker, std::string_view path)
{
    std::string line(marker);
    line += escapePath(path);
    line += kLineEnd;
    return line;
}

std::string recordLine(std::string_view marker, std::string_view source, std::string_view target)
{
    std::string line(marker);
    line += escapePath(source);
    line += kArrow;
    line += escapePath(target);
    line += kLineEnd;
    return line;
}

} // namespace tavrel::report
