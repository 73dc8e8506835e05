// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's printing into memory: the log's line breaks, the error lines, the question, and
// the progress line taken away before each of them.
#include "cli/log_printer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace tavrel::cli;
using namespace std::chrono_literals;

namespace {

// The log comes in pieces; a "\r" that ends one piece is a line end only when the next piece
// begins with "\n". Whatever else could drive the terminal is escaped.
TEST(LogPrinterLog, LineEndsAcrossPiecesAndEscapes)
{
    const struct
    {
        std::vector<std::string> pieces;
        std::string out;
    } cases[] = {
        {{"Start process.\r\nHandle pair : Docs\r\n"}, "Start process.\nHandle pair : Docs\n"},
        {{"a\r", "\nb\r\n"}, "a\nb\n"},
        {{"a\r", "b"}, "a\\x0Db"},
        {{"a\rb\r\n"}, "a\\x0Db\n"},
        {{"\r", "\r", "\n"}, "\\x0D\n"},
        {{"tab\tkept \x1b[31mred\x7f \xc2\x9b"
          "2J\r\n"},
         "tab\tkept \\x1B[31mred\\x7F \\u009B2J\n"},
        {{"", "plain \xc3\xa9\n"}, "plain \xc3\xa9\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        std::ostringstream out;
        std::ostringstream err;
        LogPrinter printer(out, err);
        for (const std::string& piece : c.pieces)
            printer.log(piece);
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), "");
    }
}

// When stdout and stderr are one file (`>log 2>&1`), the log line is already there: the error
// adds only its reason. -q leaves the log out, so the error line is whole again.
TEST(LogPrinterError, OneFileGetsEachErrorLineOnce)
{
    const struct
    {
        bool quiet;
        std::string log;
        std::string err;
    } cases[] = {
        {false, "ERROR: cannot copy file: /org/b\n", "tavrel-sync-cli: because: TGT: Permission denied\n"},
        {true, "", "tavrel-sync-cli: ERROR: cannot copy file: /org/b: TGT: Permission denied\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quiet ? "quiet" : "normal");
        std::ostringstream out;
        LogPrinter printer(out, out);
        printer.setOutput(c.quiet, true);
        printer.log("ERROR: cannot copy file: /org/b\r\n");
        printer.error("ERROR: cannot copy file: /org/b\r\n", "TGT: Permission denied");
        printer.log("ERROR: cannot copy file: /org/c\r\n");
        printer.error("ERROR: cannot copy file: /org/c\r\n", "");
        const std::string second = c.quiet ? "tavrel-sync-cli: ERROR: cannot copy file: /org/c\n"
                                           : "ERROR: cannot copy file: /org/c\n";
        EXPECT_EQ(out.str(), c.log + c.err + second);
    }
}

TEST(LogPrinterError, OneLineWithItsReason)
{
    const struct
    {
        std::string line;
        std::string reason;
        std::string err;
    } cases[] = {
        {"ERROR: cannot copy file: /org/b\r\n", "Permission denied",
         "tavrel-sync-cli: ERROR: cannot copy file: /org/b: Permission denied\n"},
        {"ERROR: x\n\r\n", "", "tavrel-sync-cli: ERROR: x\n"},
        {"ERROR: \x1b]0;title\x07", "no\x1b[2J", "tavrel-sync-cli: ERROR: \\x1B]0;title\\x07: no\\x1B[2J\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        std::ostringstream out;
        std::ostringstream err;
        LogPrinter(out, err).error(c.line, c.reason);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_EQ(out.str(), "");
    }
}

// The line goes to err with the errors and the question; whatever comes next, on either
// stream, finds it taken away first.
TEST(LogPrinterProgress, TakenAwayBeforeEachOtherOutput)
{
    std::ostringstream out;
    std::ostringstream err;
    auto now = std::chrono::steady_clock::time_point(1000h);
    LogPrinter printer(out, err);
    printer.progress({1, 2, std::nullopt, ""});
    printer.clearProgress();
    EXPECT_EQ(err.str(), "") << "no line before one is asked for";

    printer.showProgress([&now] { return now; }, [] { return 60; });
    printer.startProgress();
    const std::string line = "\r1/2 files  0.0 files/s  0:00 elapsed  0:00 left\033[K";
    const std::string cleared = "\r\033[K";
    printer.progress({1, 2, std::nullopt, ""});
    printer.log("a\r\n");
    now += 1s;
    printer.progress({1, 2, std::nullopt, ""});
    printer.error("ERROR: b", "");
    printer.massDeletion("Delete 3 of 3 files in /t/?", false);
    now += 1s;
    printer.progress({2, 2, std::nullopt, ""});
    printer.massDeletion("Delete 4 of 4 files in /u/?", true);
    printer.clearProgress();
    printer.clearProgress();
    EXPECT_EQ(out.str(), "a\n");
    EXPECT_EQ(err.str(), line + cleared + "\r1/2 files  1.0 files/s  0:01 elapsed  0:01 left\033[K" +
                             cleared +
                             "tavrel-sync-cli: ERROR: b\n"
                             "Delete 3 of 3 files in /t/? No: skipped (--allow-mass-delete deletes them).\n"
                             "\r2/2 files  1.0 files/s  0:02 elapsed  0:00 left\033[K" +
                             cleared + "Delete 4 of 4 files in /u/? Yes: --allow-mass-delete was given.\n");
}

} // namespace
