// SPDX-License-Identifier: GPL-3.0-or-later
// The runner's progress line without a terminal: its text, its pace against a fake clock, and
// the sink that feeds it, all writing into memory.
#include "cli/cli_sink.h"
#include "cli/progress_line.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

using namespace tavrel;
using namespace tavrel::cli;
using namespace std::chrono_literals;

namespace {

// A clock that moves only when told.
struct FakeClock
{
    std::chrono::steady_clock::time_point now{std::chrono::hours(1000)};
    ProgressLine::Clock function()
    {
        return [this] { return now; };
    }
};

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(ProgressLineText, BytesAndDurations)
{
    const struct
    {
        double bytes;
        std::string text;
    } sizes[] = {{0, "0 B"},
                 {1023, "1023 B"},
                 {1024, "1.0 KiB"},
                 {1536, "1.5 KiB"},
                 {37.5 * 1024 * 1024, "37.5 MiB"},
                 {5.0 * (1ull << 40), "5.0 TiB"}};
    for (const auto& size : sizes)
        EXPECT_EQ(formatBytes(size.bytes), size.text);
    const struct
    {
        std::chrono::milliseconds duration;
        std::string text;
    } durations[] = {{0ms, "0:00"}, {999ms, "0:00"}, {34s, "0:34"}, {725s, "12:05"}, {3723s, "1:02:03"}};
    for (const auto& duration : durations)
        EXPECT_EQ(formatDuration(duration.duration), duration.text);
}

// GCC 12 at -O3 warns falsely that the table's strings may be used uninitialized.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
TEST(ProgressLineText, FitsTheTerminal)
{
    const std::string file = "/org/photos/2024/holiday/IMG_1001.jpg (2.0 MiB)";
    const struct
    {
        ProgressSample sample;
        std::chrono::milliseconds elapsed;
        ProgressRates rates;
        int columns;
        std::string line;
    } cases[] = {
        // Before the engine tells of copies: files, their rate and times only.
        {{0, 100, std::nullopt, ""},
         0ms,
         {0, std::nullopt},
         80,
         "0/100 files  0.0 files/s  0:00 elapsed  --:-- left"},
        {{40, 100, std::nullopt, "pair Docs"},
         20s,
         {2, std::nullopt},
         80,
         "40/100 files  2.0 files/s  0:20 elapsed  0:30 left  pair Docs"},
        {{40, 100, 39321600, file},
         20s,
         {2, 3.1 * 1024 * 1024},
         119 + 2,
         "40/100 files  37.5 MiB  3.1 MiB/s  2.0 files/s  0:20 elapsed  0:30 left  " + file},
        // A long current file loses its front; the line never reaches the last column.
        {{40, 100, 39321600, file},
         20s,
         {2, 3.1 * 1024 * 1024},
         100,
         "40/100 files  37.5 MiB  3.1 MiB/s  2.0 files/s  0:20 elapsed  0:30 left  .../IMG_1001.jpg (2.0 "
         "MiB)"},
        // Too little room for a useful part of the file: none of it.
        {{40, 100, 39321600, file},
         20s,
         {2, 3.1 * 1024 * 1024},
         80,
         "40/100 files  37.5 MiB  3.1 MiB/s  2.0 files/s  0:20 elapsed  0:30 left"},
        {{40, 100, std::nullopt, ""}, 20s, {2, std::nullopt}, 20, "40/100 files  2.0 f"},
        // Files found after the count: nothing is left, never a negative time.
        {{120, 100, std::nullopt, ""},
         3723s,
         {0.5, std::nullopt},
         80,
         "120/100 files  0.5 files/s  1:02:03 elapsed  0:00 left"},
        // Characters, not bytes, are counted against the columns.
        {{1, 2, std::nullopt,
          "/o/\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
         1s,
         {1, std::nullopt},
         60,
         "1/2 files  1.0 files/s  0:01 elapsed  0:01 left  "
         "...\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string line = formatProgress(c.sample, c.elapsed, c.rates, c.columns);
        EXPECT_EQ(line, c.line);
    }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// However often it is updated, the line is drawn at most once per 100 ms.
TEST(ProgressLinePace, AtMostTenDrawsASecond)
{
    std::ostringstream err;
    FakeClock clock;
    ProgressLine line(err, clock.function(), [] { return 80; });
    int drawn = 0;
    for (int step = 0; step < 100; ++step) { // one second in 10 ms steps
        drawn += line.update({step, 100, std::nullopt, ""}) ? 1 : 0;
        clock.now += 10ms;
    }
    EXPECT_EQ(drawn, 10);
    EXPECT_EQ(countOf(err.str(), "\033[K"), 10u);
    EXPECT_TRUE(
        err.str().starts_with("\r0/100 files  0.0 files/s  0:00 elapsed  --:-- left\033[K\r10/100 files"))
        << err.str();

    // A clear does not buy an early redraw.
    clock.now += 100ms;
    EXPECT_TRUE(line.update({100, 100, std::nullopt, ""}));
    line.clear();
    EXPECT_FALSE(line.shown());
    clock.now += 50ms;
    EXPECT_FALSE(line.update({100, 100, std::nullopt, ""}));
    clock.now += 50ms;
    EXPECT_TRUE(line.update({100, 100, std::nullopt, ""}));
    EXPECT_TRUE(line.shown());
}

// Rates follow the last seconds: a stall shows as zero within the window.
TEST(ProgressLinePace, RatesFollowTheRecentPast)
{
    std::ostringstream err;
    FakeClock clock;
    ProgressLine line(err, clock.function(), [] { return 120; });
    for (int second = 1; second <= 10; ++second) {
        clock.now += 1s;
        ASSERT_TRUE(line.update({second * 10, 1000, uint64_t(second) * (1 << 20), ""}));
    }
    EXPECT_NE(
        err.str().rfind("\r100/1000 files  10.0 MiB  1.0 MiB/s  10.0 files/s  0:10 elapsed  1:30 left\033[K"),
        std::string::npos)
        << err.str();
    for (int second = 11; second <= 16; ++second) {
        clock.now += 1s;
        ASSERT_TRUE(line.update({100, 1000, uint64_t(10) << 20, ""}));
    }
    EXPECT_TRUE(
        err.str().ends_with("\r100/1000 files  10.0 MiB  0 B/s  0.0 files/s  0:16 elapsed  2:24 left\033[K"))
        << err.str();
}

TEST(ProgressNotesTest, PairFromTheLogAndFilesFromCopyNotes)
{
    ProgressNotes notes;
    ProgressSample sample;
    notes.fill(sample);
    EXPECT_EQ(sample.current, "");
    EXPECT_FALSE(sample.bytesCopied) << "no bytes are shown before the engine tells of a copy";

    // The engine's line, also when it comes in pieces; other lines leave the pair shown.
    notes.noteLog("Start process.\r\nCalculate the file amount... 3\r\nHandle pair : ");
    notes.noteLog("Do\x1b");
    notes.noteLog("cs\r\nERROR: Handle pair : no\r\n");
    notes.fill(sample);
    EXPECT_EQ(sample.current, "pair Do\\x1Bcs");

    notes.copyStarted("/org/a.txt", 1536);
    notes.fill(sample);
    EXPECT_EQ(sample.current, "/org/a.txt (1.5 KiB)");
    EXPECT_EQ(sample.bytesCopied, 0u);
    notes.copyEnded(true);
    notes.copyStarted("/org/\xff.bin", 4096);
    notes.copyEnded(false); // failed or stopped: its bytes do not count
    notes.fill(sample);
    EXPECT_EQ(sample.current, "/org/\\xFF.bin (4.0 KiB)");
    EXPECT_EQ(sample.bytesCopied, 1536u);
}

// The sink against a fake clock: log on stdout, the line on stderr taken away before each
// other output, the counters and the copy notes shown.
TEST(CliSinkProgress, DrawsFromTheRunStateAndClearsForOtherOutput)
{
    std::ostringstream out;
    std::ostringstream err;
    FakeClock clock;
    CliSink sink(out, err, true, clock.function(), [] { return 100; });
    engine::RunState state;
    sink.tick(state);
    EXPECT_EQ(err.str(), "") << "nothing before the run timer starts";

    sink.StartRunTimer();
    sink.AppendLog("Start process.\r\nHandle pair : Docs\r\n");
    state.totalFiles = 4;
    state.processedFiles = 1;
    clock.now += 2s;
    sink.NoteCopyStarted("/org/big.iso", 3u << 20);
    sink.tick(state);
    EXPECT_EQ(state.elapsedMs.load(), 2000);
    EXPECT_EQ(err.str(),
              "\r1/4 files  0 B  0 B/s  0.5 files/s  0:02 elapsed  0:06 left  /org/big.iso (3.0 MiB)\033[K");

    sink.NoteCopyEnded(true);
    sink.NoteError("ERROR: cannot copy file: /org/b\r\n", "Permission denied");
    sink.AppendLog("WARNING: x\r\n");
    clock.now += 50ms;
    sink.tick(state); // too soon
    clock.now += 50ms;
    state.processedFiles = 2;
    sink.tick(state);
    sink.finish();
    EXPECT_EQ(out.str(), "Start process.\nHandle pair : Docs\nWARNING: x\n");
    EXPECT_EQ(err.str(),
              "\r1/4 files  0 B  0 B/s  0.5 files/s  0:02 elapsed  0:06 left  /org/big.iso (3.0 MiB)\033[K"
              "\r\033[Ktavrel-sync-cli: ERROR: cannot copy file: /org/b: Permission denied\n"
              "\r2/4 files  3.0 MiB  1.4 MiB/s  1.0 files/s  0:02 elapsed  0:02 left  /org/big.iso (3.0 MiB)"
              "\033[K\r\033[K");
}

// No one answers the mass-deletion question: the runner skips with an error, or deletes when
// told; either way the question and the answer go to stderr, with the progress line taken
// away first and the log left alone.
TEST(CliSinkMassDeletion, AnswersAsTheCommandLineSaysAndTellsSo)
{
    const struct
    {
        bool allow;
        engine::MassDeletionAnswer answer;
        const char* said;
    } cases[] = {
        {false, engine::MassDeletionAnswer::SkipWithError, "No: skipped (--allow-mass-delete deletes them)."},
        {true, engine::MassDeletionAnswer::Delete, "Yes: --allow-mass-delete was given."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        std::ostringstream out;
        std::ostringstream err;
        FakeClock clock;
        CliSink sink(out, err, true, clock.function(), [] { return 100; });
        sink.allowMassDeletion(c.allow);
        engine::RunState state;
        sink.StartRunTimer();
        state.totalFiles = 4;
        clock.now += 1s;
        sink.tick(state);
        EXPECT_EQ(sink.ConfirmMassDeletion(
                      "Absolute Copy of pair \x1b would delete 12 of 13 files in /t/. Delete them?"),
                  c.answer);
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str(), "\r0/4 files  0.0 files/s  0:01 elapsed  --:-- left\033[K\r\033[K"
                             "Absolute Copy of pair \\x1B would delete 12 of 13 files in /t/. Delete them? " +
                                 std::string(c.said) + "\n");
    }
}

TEST(CliSinkProgress, NoLineWhenNotAsked)
{
    std::ostringstream out;
    std::ostringstream err;
    FakeClock clock;
    CliSink sink(out, err, false, clock.function(), [] { return 100; });
    engine::RunState state;
    sink.StartRunTimer();
    state.totalFiles = 4;
    clock.now += 1s;
    sink.tick(state);
    sink.NoteError("ERROR: x\r\n", "");
    sink.finish();
    EXPECT_EQ(state.elapsedMs.load(), 1000);
    EXPECT_EQ(err.str(), "tavrel-sync-cli: ERROR: x\n");
}

} // namespace
