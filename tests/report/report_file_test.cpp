// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/report_file.h"
#include "support/temp_tree.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using namespace tavrel::report;
using tavrel::test::readFile;
namespace fs = std::filesystem;

namespace {

const std::string kHead = "<html>\n"
                          "<title>Tavrel Synchronizer Report</title>\n"
                          "<body>\n"
                          "<strong><font size=\"+2\">Tavrel Synchronizer Report</font></strong>\n"
                          "<p>\n";
const std::string kTail = "</p>\n</body>\n</html>\n";
const std::string kA = "<font color=\"#0000FF\"><strong>[A]</strong></font>";
const std::string kC = "<font color=\"#000000\"><strong>[C]</strong></font>";
const std::string kO = "<font color=\"#7D0000\"><strong>[O]</strong></font>";
const std::string kD = "<font color=\"#FF0000\"><strong>[D]</strong></font>";
const std::string kE = "<font color=\"#FF0000\"><strong>[E]</strong></font>";
const std::string kArrow = "<font color=\"#FF0000\"><strong>&nbsp;=&gt;&nbsp;</strong></font>";

class ReportFileTest : public ::testing::Test
{
protected:
    tavrel::test::TempDir m_dir;
    fs::path m_folder{m_dir.path()};
};

} // namespace

TEST_F(ReportFileTest, AnEmptyRunIsHeadAndTail)
{
    ReportFile report(m_folder / "report.htm");
    ASSERT_TRUE(report.OpenReport());
    report.WriteReportHead();
    EXPECT_EQ(readFile(report.path()).size(), 127u) << "the head is on disk before any line";
    report.WriteReportTail();
    report.CloseReport();
    EXPECT_FALSE(report.isOpen());
    EXPECT_EQ(kHead.size(), 127u);
    EXPECT_EQ(readFile(report.path()), kHead + kTail);
    EXPECT_EQ(readFile(report.path()).size(), 148u);
}

TEST_F(ReportFileTest, EachOperationWritesItsLine)
{
    ReportFile report(m_folder / "report.htm");
    ASSERT_TRUE(report.OpenReport());
    report.WriteReportHead();
    report.ReportFolderCreated("/backup/My Docs/");
    report.ReportFileCopied("/org/a  b.txt", "/tgt/a  b.txt", false);
    report.ReportFileCopied("/tgt/new.txt", "/org/new.txt", true);
    report.ReportDeleted("/tgt/gone");
    report.WriteReportTail();
    report.CloseReport();

    const std::string expected = kHead + kA + "/backup/My&nbsp;Docs/<br>\n" + kC + "/org/a&nbsp;&nbsp;b.txt" +
                                 kArrow + "/tgt/a&nbsp;&nbsp;b.txt<br>\n" + kO + "/tgt/new.txt" + kArrow +
                                 "/org/new.txt<br>\n" + kD + "/tgt/gone<br>\n" + kTail;
    EXPECT_EQ(readFile(report.path()), expected);
}

// An error record holds the log's line as the reader would quote it: without the line break
// or an overwrite's indent, the system's reason after ": " when there is one, escaped as a
// path is. Written after the records of changes, it sits between them and the tail.
TEST_F(ReportFileTest, ErrorRecordsFollowTheChangesWithTheirReasons)
{
    ReportFile report(m_folder / "report.htm");
    ASSERT_TRUE(report.OpenReport());
    report.WriteReportHead();
    report.ReportFileCopied("/org/a", "/tgt/a", false);
    report.ReportDeleted("/tgt/old");
    report.ReportError("        ERROR: cannot copy file: /org/b\r\n", "Input/output error");
    report.ReportError("ERROR: cannot read folder: /org/<x>/\r\n", "");
    report.ReportError("ERROR: cannot delete: /tgt/a b\n", "Permission denied");
    report.WriteReportTail();
    report.CloseReport();

    EXPECT_EQ(readFile(report.path()),
              kHead + kC + "/org/a" + kArrow + "/tgt/a<br>\n" + kD + "/tgt/old<br>\n" + kE +
                  "ERROR:&nbsp;cannot&nbsp;copy&nbsp;file:&nbsp;/org/b:&nbsp;Input/output&nbsp;error<br>\n" +
                  kE + "ERROR:&nbsp;cannot&nbsp;read&nbsp;folder:&nbsp;/org/&lt;x&gt;/<br>\n" + kE +
                  "ERROR:&nbsp;cannot&nbsp;delete:&nbsp;/tgt/a&nbsp;b:&nbsp;Permission&nbsp;denied<br>\n" +
                  kTail);
}

TEST_F(ReportFileTest, PathsAreEscapedForHtml)
{
    const struct
    {
        const char* name;
        std::string path;
        std::string shown;
    } cases[] = {
        {"markup", "/t/<script>&\"x\".txt", "/t/&lt;script&gt;&amp;&quot;x&quot;.txt"},
        {"an entity-looking name stays literal", "/t/&nbsp;", "/t/&amp;nbsp;"},
        {"undecodable bytes", "/t/a\xff\xe9 b", "/t/a\\xFF\\xE9&nbsp;b"},
        {"valid UTF-8 passes through", "/t/caf\xc3\xa9", "/t/caf\xc3\xa9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReportFile report(m_folder / "report.htm");
        ASSERT_TRUE(report.OpenReport());
        report.ReportDeleted(c.path);
        report.CloseReport();
        EXPECT_EQ(readFile(report.path()), kD + c.shown + "<br>\n");
    }
}

TEST_F(ReportFileTest, WritesDoNothingWhileClosed)
{
    const fs::path path = m_folder / "report.htm";
    std::ofstream(path) << "earlier run";
    ReportFile report(path);
    EXPECT_FALSE(report.isOpen());
    report.WriteReportHead();
    report.ReportFolderCreated("/x/");
    report.ReportFileCopied("/a", "/b", true);
    report.ReportDeleted("/c");
    report.ReportError("ERROR: cannot delete: /c\r\n", "Permission denied");
    report.WriteReportTail();
    report.CloseReport();
    EXPECT_EQ(readFile(path), "earlier run");
}

TEST_F(ReportFileTest, OpeningAgainStartsAFreshReport)
{
    ReportFile report(m_folder / "report.htm");
    ASSERT_TRUE(report.OpenReport());
    report.WriteReportHead();
    report.ReportDeleted("/first run");
    // The second open closes the first report without a tail.
    ASSERT_TRUE(report.OpenReport());
    report.WriteReportHead();
    report.ReportDeleted("/second");
    report.WriteReportTail();
    report.CloseReport();
    EXPECT_EQ(readFile(report.path()), kHead + kD + "/second<br>\n" + kTail);
}

TEST_F(ReportFileTest, ANewReportIsReadableByOthers)
{
    const mode_t previous = ::umask(022);
    ReportFile report(m_folder / "report.htm");
    const bool opened = report.OpenReport();
    ::umask(previous);
    ASSERT_TRUE(opened);
    struct stat info = {};
    ASSERT_EQ(::stat(report.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(ReportFileTest, AReportThatCannotBeCreatedStaysClosed)
{
    for (const fs::path& path : {m_folder / "missing" / "report.htm", m_folder}) {
        ReportFile report(path);
        EXPECT_FALSE(report.OpenReport());
        EXPECT_FALSE(report.isOpen());
        report.WriteReportHead(); // harmless
    }
    const fs::path fifo = m_folder / "fifo.htm";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ReportFile report(fifo);
    EXPECT_FALSE(report.OpenReport()) << "must fail at once, not block or write into a FIFO";
}

TEST_F(ReportFileTest, DestructionClosesAnOpenReport)
{
    const fs::path path = m_folder / "report.htm";
    {
        ReportFile report(path);
        ASSERT_TRUE(report.OpenReport());
        report.WriteReportHead();
    }
    EXPECT_EQ(readFile(path), kHead);
}

TEST_F(ReportFileTest, APreviewHeadSaysSoAndTheRealHeadStaysAsItWas)
{
    const fs::path real = m_folder / "real.htm";
    const fs::path preview = m_folder / "preview.htm";
    for (const fs::path& path : {real, preview}) {
        ReportFile report(path);
        ASSERT_TRUE(report.OpenReport());
        if (path == preview)
            report.WritePreviewReportHead();
        else
            report.WriteReportHead();
        report.ReportDeleted("/t/a");
        report.WriteReportTail();
    }
    const std::string records = kD + "/t/a<br>\n" + kTail;
    EXPECT_EQ(readFile(real), kHead + records);
    EXPECT_EQ(readFile(preview),
              "<html>\n"
              "<title>Tavrel Synchronizer Report - Preview</title>\n"
              "<body>\n"
              "<strong><font size=\"+2\">Tavrel Synchronizer Report - Preview</font></strong>\n"
              "<p>Preview: nothing was changed. These are the changes Execute would make.</p>\n"
              "<p>\n" +
                  records);
}

TEST_F(ReportFileTest, LocationIsBesideTheProgramWhenWritable)
{
    const fs::path program = m_folder / "portable";
    const fs::path data = m_folder / "data" / "tavrel-sync";
    EXPECT_EQ(reportPathFor(program, true, data), program / "report.htm");
    EXPECT_FALSE(fs::exists(data)) << "the data folder is only made when it is used";

    EXPECT_EQ(reportPathFor(program, false, data), data / "report.htm");
    EXPECT_TRUE(fs::is_directory(data));
    EXPECT_EQ(reportPathFor(fs::path(), true, data), data / "report.htm") << "unknown program folder";

    EXPECT_EQ(defaultReportPath().filename(), "report.htm");
}
