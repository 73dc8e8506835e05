// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_state.h"
#include "model/job.h"
#include "model/pattern_list.h"
#include "platform/posix/posix_file_system.h"
#include "report/report_file.h"
#include "support/faulty_file_system.h"
#include "support/recording_sink.h"
#include "ui/window/run_controller.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <fstream>
#include <thread>

using namespace tavrel;

namespace {

// Keeps what the window would be shown, and when.
class RecordingDisplay final : public ui::RunDisplay
{
public:
    QString log;
    int logUpdates = 0;
    int progressUpdates = 0;
    int lastProgress = -1;
    int refreshes = 0;
    bool ended = false;
    int refreshesAtEnd = 0;
    QString logAtEnd;
    QStringList questions;
    QString logAtQuestion;

    void ClearLog() override
    {
        log.clear();
        ++logUpdates;
    }
    void AppendLog(const QString& text) override
    {
        log += text;
        ++logUpdates;
    }
    void SetProgress(int position) override
    {
        lastProgress = position;
        ++progressUpdates;
    }
    void RefreshStatistics() override { ++refreshes; }
    bool ConfirmMassDeletion(const QString& question) override
    {
        questions << question;
        logAtQuestion = log;
        return false;
    }
    bool ConfirmRootCreation(const QString& question) override
    {
        questions << question;
        return false;
    }
    void RunEnded(engine::RunResult) override
    {
        ended = true;
        refreshesAtEnd = refreshes;
        logAtEnd = log;
    }
};

// One Light Copy pair of `files` files into a target where every copy is refused, so every
// file costs one log line.
struct FailingRun
{
    QTemporaryDir dir;
    model::Job job;
    engine::RunState state;
    platform::PosixFileSystem posix;
    test::FaultyFileSystem fileSystem{posix};
    report::ReportFile report{(dir.path() + QStringLiteral("/report.htm")).toStdString()};

    explicit FailingRun(int files)
    {
        const QString org = dir.path() + QStringLiteral("/org");
        QDir().mkpath(org);
        for (int i = 0; i < files; ++i)
            std::ofstream((org + QStringLiteral("/f%1").arg(i)).toStdString()) << i;
        model::FolderPair* pair = job.addPair();
        pair->name = u"Refused";
        pair->orgPath = org.toStdU16String();
        pair->tgtPath = (dir.path() + QStringLiteral("/tgt")).toStdU16String();
        model::parsePatternList(*pair, u"*", model::PatternListKind::FilesInclude);
        model::parsePatternList(*pair, u"*", model::PatternListKind::FoldersInclude);
        pair->includeSubfolders = 1;
        fileSystem.failMatching(test::FaultyFileSystem::Operation::CopyCreateOnly, "",
                                platform::FsError::AccessDenied);
    }
};

} // namespace

class RunControllerTest : public QObject
{
    Q_OBJECT

private slots:
    void aLongLogArrivesWholeInOrderInFewUpdates()
    {
        constexpr int kFiles = 3000;
        FailingRun run(kFiles);

        // What the engine says, call by call, as the tests' sink records it.
        test::RecordingSink recorder;
        std::thread reference;
        QVERIFY(engine::StartSync({run.job, run.state, run.fileSystem, run.report, recorder}, reference));
        QVERIFY(recorder.waitForEnd(std::chrono::seconds(60)));
        reference.join();
        const QString expected = QString::fromStdString(recorder.log());
        QVERIFY(expected.count(QStringLiteral("ERROR")) >= kFiles);

        RecordingDisplay display;
        ui::RunController controller(run.job, run.state, run.fileSystem, run.report, display);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(controller.start());
        QTRY_VERIFY_WITH_TIMEOUT(display.ended, 60000);
        const qint64 elapsed = clock.elapsed();

        // Every text, in call order, was shown before the window heard of the end.
        QCOMPARE(display.logAtEnd, expected);
        QCOMPARE(display.lastProgress, recorder.progress().back());
        // At most one log-box update and one progress update per flush interval, plus the
        // clear and the last flush at the end.
        const qint64 flushes = elapsed / ui::RunController::kFlushIntervalMs + 2;
        QVERIFY2(display.logUpdates <= flushes + 1,
                 qPrintable(QStringLiteral("%1 updates in %2 ms").arg(display.logUpdates).arg(elapsed)));
        QVERIFY2(display.progressUpdates <= flushes,
                 qPrintable(QStringLiteral("%1 updates in %2 ms").arg(display.progressUpdates).arg(elapsed)));
        QVERIFY(!controller.isActive());
    }

    void callsFromTheWindowsOwnThreadAreShownAtOnce()
    {
        FailingRun run(0);
        RecordingDisplay display;
        ui::RunController controller(run.job, run.state, run.fileSystem, run.report, display);
        controller.AppendLog("first\r\n");
        controller.ClearLog();
        controller.AppendLog("second\r\n");
        controller.SetProgress(400);
        QCOMPARE(display.log, QStringLiteral("second\r\n"));
        QCOMPARE(display.lastProgress, 400);
    }

    // A run that ends before the first flush has its timer start still gathered when the end
    // arrives: the end stops the timer for good, so the time shown stays the run's.
    void theRunTimerStaysStoppedAfterAShortRun()
    {
        FailingRun run(0);
        RecordingDisplay display;
        ui::RunController controller(run.job, run.state, run.fileSystem, run.report, display);
        QVERIFY(controller.start());
        // The worker ends while this thread shows nothing, so no flush comes before the end.
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 500)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QTRY_VERIFY_WITH_TIMEOUT(display.ended, 20000);
        const int32_t elapsedAtEnd = run.state.elapsedMs.load();

        QTest::qWait(2500);
        QCOMPARE(display.refreshes, display.refreshesAtEnd);
        QCOMPARE(run.state.elapsedMs.load(), elapsedAtEnd);
    }

    // The worker's gathered lines are shown before the mass-deletion question, whose answer
    // the worker waits for.
    void theDeletionQuestionComesAfterTheLinesBeforeIt()
    {
        // The one ORG file's copy is refused; the twelve TGT files would all be deleted.
        FailingRun run(1);
        model::FolderPair* pair = run.job.pairAt(run.job.occupiedSlots().front());
        pair->name = u"Mirror";
        pair->method = model::SyncMethod::AbsoluteCopy;
        const QString tgt = QString::fromStdU16String(pair->tgtPath);
        QDir().mkpath(tgt);
        for (int i = 0; i < 12; ++i)
            std::ofstream((tgt + QStringLiteral("/old%1").arg(i)).toStdString()) << i;

        RecordingDisplay display;
        ui::RunController controller(run.job, run.state, run.fileSystem, run.report, display);
        QVERIFY(controller.start());
        QTRY_VERIFY_WITH_TIMEOUT(display.ended, 20000);

        QCOMPARE(display.questions.size(), 1);
        QVERIFY2(display.logAtQuestion.contains(QStringLiteral("Handle pair : Mirror\r\nERROR: ")),
                 qPrintable(display.logAtQuestion));
        QVERIFY(display.log.contains(QStringLiteral("Deletions skipped: Mirror\r\n")));
        QCOMPARE(QDir(tgt).entryList(QDir::Files).size(), 12);
    }
};

QTEST_MAIN(RunControllerTest)
#include "run_controller_test.moc"
