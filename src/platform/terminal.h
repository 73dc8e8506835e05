// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrel::platform {

enum class StandardStream
{
    Input,
    Output,
    Error,
};

// Whether the stream is a terminal.
bool isTerminal(StandardStream stream);

// The width of the terminal on stderr in columns, asked anew at each call so a resized window
// is followed; 80 when it cannot be told.
int errorTerminalColumns();

// Whether stdout and stderr are one file or pipe (`>log 2>&1`, a journal's stream).
bool outputsShareAFile();

} // namespace tavrel::platform
