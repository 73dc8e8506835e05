// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/run_state.h"
#include "model/job.h"
#include "model/pattern_list.h"
#include "platform/posix/posix_file_system.h"
#include "project/project_file.h"
#include "report/report_file.h"
#include "report/report_history.h"
#include "scripted_presenter.h"
#include "support/hooked_file_system.h"
#include "ui/common/file_dialog.h"
#include "ui/common/message_box.h"
#include "ui/window/about_dialog.h"
#include "ui/window/client_area.h"
#include "ui/window/command_ids.h"
#include "ui/window/main_window.h"
#include "ui/window/pair_list.h"
#include "ui/window/panel_widgets.h"
#include "ui/window/report_chooser.h"
#include "ui/window/toolbar.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <chrono>
#include <deque>
#include <fstream>
#include <optional>
#include <thread>

using namespace tavrel;
using ui::MainWindow;
namespace command = ui::command;

namespace {

using uitest::Message;
using uitest::ScriptedPresenter;

class ScriptedPrompter final : public ui::FilePrompter
{
public:
    QString openAnswer;
    QString saveAnswer;
    int saveCalls = 0;
    QString lastInitialPath;

    QString openPath(QWidget*, const QString& initialPath) override
    {
        lastInitialPath = initialPath;
        return openAnswer;
    }
    QString savePath(QWidget*, const QString& initialPath) override
    {
        ++saveCalls;
        lastInitialPath = initialPath;
        return saveAnswer;
    }
};

void writeFile(const QString& path, const std::string& content)
{
    std::ofstream(path.toStdString(), std::ios::binary) << content;
}

// One window over its own job, report, run state and file system, as the program's main
// builds them, with every dialog scripted.
struct Harness
{
    QTemporaryDir dir;
    model::Job job;
    report::ReportFile report{(dir.path() + QStringLiteral("/report.htm")).toStdString()};
    engine::RunState state;
    platform::PosixFileSystem posix;
    test::HookedFileSystem fileSystem{posix};
    ScriptedPresenter presenter;
    ScriptedPrompter prompter;
    std::vector<QString> opened;
    // What View Report offered, and the row taken: the one it started on unless told.
    struct ReportOffer
    {
        QStringList labels;
        int preselected;
    };
    std::vector<ReportOffer> reportOffers;
    std::optional<int> reportAnswer;
    std::unique_ptr<MainWindow> window;

    // The run history goes to this test's own data folder, not the user's.
    const QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");

    Harness()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
        window = std::make_unique<MainWindow>(job, report, state, fileSystem);
        window->setMessagePresenter(&presenter);
        window->setFilePrompter(&prompter);
        window->setUrlOpener([this](const QUrl& url) {
            opened.push_back(url.toLocalFile());
            return true;
        });
        window->setReportPicker([this](QWidget*, const QStringList& labels, int preselected) {
            reportOffers.push_back({labels, preselected});
            return reportAnswer.value_or(preselected);
        });
    }
    ~Harness()
    {
        window.reset();
        if (oldDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", oldDataHome);
    }

    model::FolderPair* addPair(const char16_t* name)
    {
        model::FolderPair* pair = job.addPair();
        pair->name = name;
        return pair;
    }
    ui::PairList* list() const { return window->findChild<ui::PairList*>(QStringLiteral("pairList")); }
    QString label(const char* name) const
    {
        return window->findChild<ui::ElidedLabel*>(QString::fromLatin1(name))->fullText();
    }
    QString statusText() const { return window->findChild<QLabel*>(QStringLiteral("statusLine"))->text(); }
    QString logText() const
    {
        return window->findChild<QPlainTextEdit*>(QStringLiteral("logBox"))->toPlainText();
    }
    int progress() const { return window->findChild<QProgressBar*>(QStringLiteral("progressBar"))->value(); }
    QWidget* reportButton() const { return window->findChild<QWidget*>(QStringLiteral("viewReportButton")); }
    void click(int position, Qt::MouseButton button = Qt::LeftButton)
    {
        ui::PairList* pairs = list();
        const QRect rect = pairs->visualItemRect(pairs->topLevelItem(position));
        QTest::mouseClick(pairs->viewport(), button, {}, rect.center());
    }
    // A pair that copies every file of a fresh ORG tree of `files` files into TGT.
    model::FolderPair* addCopyPair(const char16_t* name, int files)
    {
        const QString org = dir.path() + QStringLiteral("/org_") + QString::fromStdU16String(name);
        QDir().mkpath(org);
        for (int i = 0; i < files; ++i)
            writeFile(org + QStringLiteral("/file%1.txt").arg(i), "content " + std::to_string(i));
        model::FolderPair* pair = addPair(name);
        pair->orgPath = org.toStdU16String();
        pair->tgtPath =
            (dir.path() + QStringLiteral("/tgt_") + QString::fromStdU16String(name)).toStdU16String();
        model::parsePatternList(*pair, u"*", model::PatternListKind::FilesInclude);
        model::parsePatternList(*pair, u"*", model::PatternListKind::FoldersInclude);
        pair->includeSubfolders = 1;
        return pair;
    }
    // An Absolute Copy pair from an ORG of `orgFiles` files onto a TGT of `tgtFiles`.
    model::FolderPair* addMirrorPair(const char16_t* name, int orgFiles, int tgtFiles)
    {
        model::FolderPair* pair = addCopyPair(name, orgFiles);
        pair->method = model::SyncMethod::AbsoluteCopy;
        const QString tgt = QString::fromStdU16String(pair->tgtPath);
        QDir().mkpath(tgt);
        for (int i = 0; i < tgtFiles; ++i)
            writeFile(tgt + QStringLiteral("/old%1.txt").arg(i), "old " + std::to_string(i));
        return pair;
    }
    void runToEnd(int number)
    {
        window->runCommand(number);
        QTRY_VERIFY_WITH_TIMEOUT(!window->isRunning(), 20000);
    }
    bool lastMessageIs(const QString& title, const QString& text) const
    {
        return !presenter.shown.empty() && presenter.shown.back().title == title &&
               presenter.shown.back().text == text;
    }
};

constexpr int kJobCommands[] = {command::New,       command::Open,    command::Save,     command::SaveAs,
                                command::Exit,      command::AddPair, command::EditPair, command::RemovePair,
                                command::Execute,   command::Preview, command::Content,  command::About,
                                command::ViewReport};

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void startsUntitledWithFixedClientArea()
    {
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QCOMPARE(h.window->centralWidget()->size(), QSize(792, 504));
        QCOMPARE(h.window->minimumSize(), h.window->maximumSize());
        QVERIFY(!(h.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(h.window->windowTitle(), QStringLiteral("Untitled - Tavrel Synchronizer"));
        QVERIFY(!h.window->commandAction(command::Stop)->isEnabled());
        QVERIFY(h.window->commandAction(command::Execute)->isEnabled());
        QCOMPARE(h.window->findChild<QToolBar*>()->actions().size(), 12);
        QCOMPARE(h.label("orgLabel"), QStringLiteral("(Unknown)"));
        QAction* edit = h.window->contextAction(command::EditPair);
        const auto* menu = qobject_cast<QMenu*>(edit->associatedObjects().value(0));
        QVERIFY(menu && menu->defaultAction() == edit);
        QCOMPARE(edit->text(), QStringLiteral("&Edit..."));
    }

    void saveAsNamesTheWindowAndSaveReusesTheFile()
    {
        Harness h;
        h.addCopyPair(u"Docs", 1);
        h.window->FillPairList();

        // Cancelling the Save As that Save opens writes nothing and keeps the title.
        h.window->runCommand(command::Save);
        QCOMPARE(h.prompter.saveCalls, 1);
        QCOMPARE(h.window->windowTitle(), QStringLiteral("Untitled - Tavrel Synchronizer"));

        const QString file = h.dir.path() + QStringLiteral("/daily.TSP");
        h.prompter.saveAnswer = file;
        h.window->runCommand(command::Save);
        QCOMPARE(h.prompter.saveCalls, 2);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(h.window->windowTitle(), QStringLiteral("daily.TSP - Tavrel Synchronizer"));

        // Unchecking a pair and saving again writes the file without a dialog.
        h.list()->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
        QFile::remove(file);
        h.window->runCommand(command::Save);
        QCOMPARE(h.prompter.saveCalls, 2);
        QVERIFY(QFileInfo::exists(file));
        QCOMPARE(h.job.pairAt(0)->enabled, 0);
        QVERIFY(h.presenter.shown.empty());

        // And the file opens again into the same job.
        h.presenter.answers = {ui::MessageAnswer::Ok};
        h.prompter.openAnswer = file;
        h.window->runCommand(command::Open);
        QCOMPARE(h.job.count(), 1);
        QCOMPARE(h.job.pairAt(0)->enabled, 0);
        QVERIFY(!h.list()->isCheckedAt(0));
        QCOMPARE(h.prompter.lastInitialPath, file);
    }

    void pairListKeepsSlotNumbersAfterARemoval()
    {
        Harness h;
        h.addPair(u"A");
        h.addPair(u"B");
        h.addPair(u"C")->orgPath = u"/c";
        h.window->FillPairList();
        QCOMPARE(h.list()->count(), 3);
        QCOMPARE(h.list()->selectedPosition(), 2);

        h.click(1);
        QCOMPARE(h.window->selectedIndex(), 1);
        h.presenter.answers = {ui::MessageAnswer::Yes};
        h.window->runCommand(command::RemovePair);
        QVERIFY(h.lastMessageIs(QStringLiteral("PROMPT"), QStringLiteral("Do you want to remove B?")));
        QCOMPARE(h.presenter.shown.back().buttons, ui::MessageButtons::YesNo);
        QCOMPARE(h.job.pairAt(1), nullptr);
        QCOMPARE(h.list()->count(), 2);
        QCOMPARE(h.list()->slotAt(1), 2);
        // Nothing is selected after a removal, so a second Remove finds no pair to ask about,
        // and no row is current either, so none wears the focus frame.
        QCOMPARE(h.list()->selectedPosition(), -1);
        QVERIFY(!h.list()->currentIndex().isValid());
        QCOMPARE(h.window->selectedIndex(), -1);
        QCOMPARE(h.label("orgLabel"), QStringLiteral("(Unknown)"));
        const std::size_t prompts = h.presenter.shown.size();
        h.window->runCommand(command::RemovePair);
        QCOMPARE(h.presenter.shown.size(), prompts);
        QCOMPARE(h.list()->count(), 2);

        // Position 1 is C in slot 2: its information, its editor and its prompt.
        h.click(1);
        QCOMPARE(h.window->shownPair(), h.job.pairAt(2));
        QCOMPARE(h.label("orgLabel"), QStringLiteral("/c"));
        std::vector<std::u16string> edited;
        h.window->setPairEditor([&](QWidget*, model::FolderPair& pair) {
            edited.push_back(pair.name);
            pair.name = u"C2";
            return ui::PairEdit::Accepted;
        });
        h.window->runCommand(command::EditPair);
        QCOMPARE(edited, std::vector<std::u16string>{u"C"});
        QCOMPARE(h.list()->nameAt(1), QStringLiteral("C2"));

        // The next pair fills slot 1, between A and C.
        h.window->setPairEditor([](QWidget*, model::FolderPair& pair) {
            pair.name = u"D";
            return ui::PairEdit::Accepted;
        });
        h.window->runCommand(command::AddPair);
        QCOMPARE(h.job.pairAt(1)->name, u"D");
        QCOMPARE(h.job.pairAt(1)->includeSubfolders, 1);
        QCOMPARE(h.job.pairAt(1)->recycleDeleted, 1);
        QCOMPARE(h.list()->nameAt(1), QStringLiteral("D"));
        QCOMPARE(h.list()->slotAt(1), 1);
        QCOMPARE(h.list()->slotAt(2), 2);
        QCOMPARE(h.window->selectedIndex(), 1);
    }

    void removeAnsweredNoKeepsThePair()
    {
        Harness h;
        h.addPair(u"Keep");
        h.window->FillPairList();
        h.presenter.answers = {ui::MessageAnswer::No};
        h.window->runCommand(command::RemovePair);
        QVERIFY(h.lastMessageIs(QStringLiteral("PROMPT"), QStringLiteral("Do you want to remove Keep?")));
        QCOMPARE(h.job.count(), 1);
        QCOMPARE(h.list()->count(), 1);
    }

    void addPairCancelledOrFullChangesNothing()
    {
        Harness h;
        h.window->setPairEditor([](QWidget*, model::FolderPair&) { return ui::PairEdit::Cancelled; });
        h.window->runCommand(command::AddPair);
        QCOMPARE(h.job.count(), 0);
        QCOMPARE(h.list()->count(), 0);

        for (int i = 0; i < model::kMaxPairs; ++i)
            h.addPair(u"P");
        h.window->runCommand(command::AddPair);
        QVERIFY(
            h.lastMessageIs(QStringLiteral("ERROR"),
                            QStringLiteral("Cannot add a new pair. Perhaps it has reached the limitation.")));
        QCOMPARE(h.job.count(), model::kMaxPairs);
    }

    void idleStateSwitchesCommands()
    {
        Harness h;
        h.window->SetIdleState(false);
        for (int number : kJobCommands)
            QVERIFY2(!h.window->commandAction(number)->isEnabled(), qPrintable(QString::number(number)));
        for (int number : {command::AddPair, command::EditPair, command::RemovePair})
            QVERIFY(!h.window->contextAction(number)->isEnabled());
        QVERIFY(h.window->commandAction(command::Stop)->isEnabled());
        QVERIFY(!h.reportButton()->isEnabled());

        h.window->SetIdleState(true);
        for (int number : kJobCommands)
            QVERIFY(h.window->commandAction(number)->isEnabled());
        QVERIFY(h.window->contextAction(command::EditPair)->isEnabled());
        QVERIFY(!h.window->commandAction(command::Stop)->isEnabled());
        QVERIFY(h.reportButton()->isEnabled());
    }

    void pairInformationLabels_data()
    {
        QTest::addColumn<QString>("includeFiles");
        QTest::addColumn<QString>("includeFolders");
        QTest::addColumn<QString>("excludeFiles");
        QTest::addColumn<QString>("excludeFolders");
        QTest::addColumn<QString>("includeText");
        QTest::addColumn<QString>("excludeText");
        QTest::newRow("everything included, nothing excluded") << "*"
                                                               << "*"
                                                               << ""
                                                               << ""
                                                               << "* / *"
                                                               << "(None) / (None)";
        QTest::newRow("two excluded files and no excluded folder") << "*.txt"
                                                                   << "*"
                                                                   << "desktop.ini; Thumbs.db"
                                                                   << ""
                                                                   << "*.txt / *"
                                                                   << "desktop.ini; Thumbs.db / (None)";
        QTest::newRow("no included folders leaves the include text after the slash empty")
            << "*.doc;*.odt"
            << ""
            << ""
            << "cache"
            << "*.doc; *.odt / "
            << "(None) / cache";
    }

    void pairInformationLabels()
    {
        QFETCH(QString, includeFiles);
        QFETCH(QString, includeFolders);
        QFETCH(QString, excludeFiles);
        QFETCH(QString, excludeFolders);
        Harness h;
        model::FolderPair* pair = h.addPair(u"P");
        pair->orgPath = u"/data/org";
        pair->tgtPath = u"/backup/tgt";
        pair->method = model::SyncMethod::AbsoluteCopy;
        model::parsePatternList(*pair, includeFiles.toStdU16String(), model::PatternListKind::FilesInclude);
        model::parsePatternList(*pair, includeFolders.toStdU16String(),
                                model::PatternListKind::FoldersInclude);
        model::parsePatternList(*pair, excludeFiles.toStdU16String(), model::PatternListKind::FilesExclude);
        model::parsePatternList(*pair, excludeFolders.toStdU16String(),
                                model::PatternListKind::FoldersExclude);
        h.window->FillPairList();
        h.click(0);
        QTEST(h.label("includeLabel"), "includeText");
        QTEST(h.label("excludeLabel"), "excludeText");
        QCOMPARE(h.label("orgLabel"), QStringLiteral("/data/org"));
        QCOMPARE(h.label("tgtLabel"), QStringLiteral("/backup/tgt"));

        // A click beside the items shows no pair again.
        QTest::mouseClick(h.list()->viewport(), Qt::LeftButton, {}, QPoint(100, 190));
        QCOMPARE(h.window->selectedIndex(), -1);
        QCOMPARE(h.label("includeLabel"), QStringLiteral("(Unknown)"));
    }

    void runCopiesFilesAndReportsSuccess()
    {
        Harness h;
        h.addCopyPair(u"Docs", 3);
        h.window->FillPairList();
        h.window->show();
        h.window->runCommand(command::Execute);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);

        QVERIFY(h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Process succeeded.")));
        QCOMPARE(h.presenter.shown.back().icon, ui::MessageIcon::Information);
        QVERIFY(QFileInfo::exists(h.dir.path() + QStringLiteral("/tgt_Docs/file2.txt")));
        QCOMPARE(h.state.tgtFilesCreated.load(), 3);
        QCOMPARE(h.progress(), 1000);
        QVERIFY(!h.report.isOpen());
        QVERIFY(QFileInfo(QString::fromStdString(h.report.path().string())).size() > 0);

        const QString log = h.logText();
        QVERIFY2(log.startsWith(
                     QStringLiteral("Start process.\nCalculate the file amount... 3\nHandle pair : Docs\n")),
                 qPrintable(log));
        QVERIFY2(log.endsWith(QStringLiteral("End process.\n")), qPrintable(log));

        // The painted counters: "3" created files in the TGT column, dark blue.
        const auto runs = ui::PanelPainter::counterTexts(h.state.snapshot());
        const auto created = std::find_if(
            runs.begin(), runs.end(), [](const ui::TextRun& run) { return run.topLeft == QPoint(146, 325); });
        QVERIFY(created != runs.end());
        QCOMPARE(created->text, QStringLiteral("3"));
        QCOMPARE(ui::PanelPainter::progressText(h.state.snapshot()), QStringLiteral("3 / 3"));
        const QImage area = h.window->centralWidget()->grab(ui::kCounterArea).toImage();
        bool blue = false;
        for (int y = 0; y < area.height() && !blue; ++y)
            for (int x = 0; x < area.width() && !blue; ++x)
                blue = area.pixelColor(x, y) == ui::panel_colors::kTgtCounter;
        QVERIFY(blue);

        // Everything but Stop is back.
        QVERIFY(h.window->commandAction(command::Execute)->isEnabled());
        QVERIFY(!h.window->commandAction(command::Stop)->isEnabled());
    }

    // A preview shows the log the real run then shows, changes nothing and says it previewed.
    void previewShowsWhatExecuteDoesAndChangesNothing()
    {
        Harness h;
        h.addCopyPair(u"Docs", 3);
        h.window->FillPairList();
        h.window->show();
        const QString title = h.window->windowTitle();
        h.window->runCommand(command::Preview);
        QVERIFY(h.window->isRunning() && h.window->isPreview());
        QVERIFY(!h.window->commandAction(command::Preview)->isEnabled());
        QVERIFY(!h.window->commandAction(command::Execute)->isEnabled());
        // Marked as a preview while it runs, not only by its outcome.
        QCOMPARE(h.window->windowTitle(), ui::kPreviewTitleMark + title);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);
        QCOMPARE(h.window->windowTitle(), title);

        QVERIFY(
            h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Preview: process succeeded.")));
        QVERIFY(!QFileInfo::exists(h.dir.path() + QStringLiteral("/tgt_Docs")));
        QCOMPARE(h.state.tgtFilesCreated.load(), 3);
        QCOMPARE(h.progress(), 1000);
        QVERIFY(h.window->commandAction(command::Preview)->isEnabled());
        const QString previewLog = h.logText();

        h.window->runCommand(command::Execute);
        QCOMPARE(h.window->windowTitle(), title);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);
        QVERIFY(!h.window->isPreview());
        QVERIFY(h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Process succeeded.")));
        QVERIFY(QFileInfo::exists(h.dir.path() + QStringLiteral("/tgt_Docs/file2.txt")));
        QCOMPARE(h.logText(), previewLog);
    }

    void massDeletionIsAskedFirst_data()
    {
        QTest::addColumn<int>("orgFiles");
        QTest::addColumn<int>("tgtFiles");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("left");
        const int yes = int(ui::MessageAnswer::Yes);
        const int no = int(ui::MessageAnswer::No);
        QTest::newRow("empty ORG, No keeps the target") << 0 << 3 << no << "delete 3 of 3 files" << 3;
        QTest::newRow("empty ORG, Yes deletes") << 0 << 3 << yes << "delete 3 of 3 files" << 0;
        // The count is of the target as the deletions find it: after the copy of ORG's file.
        QTest::newRow("most of the target, No keeps it") << 1 << 12 << no << "delete 12 of 13 files" << 13;
        QTest::newRow("most of the target, Yes deletes") << 1 << 12 << yes << "delete 12 of 13 files" << 1;
        QTest::newRow("a few deletions are not asked") << 9 << 3 << yes << "" << 9;
    }

    void massDeletionIsAskedFirst()
    {
        QFETCH(int, orgFiles);
        QFETCH(int, tgtFiles);
        QFETCH(int, answer);
        QFETCH(QString, question);
        Harness h;
        const model::FolderPair* pair = h.addMirrorPair(u"Mirror", orgFiles, tgtFiles);
        const QString tgt = QString::fromStdU16String(pair->tgtPath);
        // A job with no ORG file at all ends after its count, before any pair.
        h.addCopyPair(u"Other", 1);
        h.window->FillPairList();
        h.window->show();
        if (!question.isEmpty())
            h.presenter.answers.push_back(ui::MessageAnswer(answer));
        h.runToEnd(command::Execute);

        QCOMPARE(h.presenter.shown.size(), question.isEmpty() ? std::size_t(1) : std::size_t(2));
        const bool skipped = answer == int(ui::MessageAnswer::No);
        if (!question.isEmpty()) {
            const Message& asked = h.presenter.shown.front();
            // No is the default, and the box says what it does.
            QCOMPARE(asked.buttons, ui::MessageButtons::YesNoDefaultNo);
            const QString plain = QStringLiteral("Absolute Copy of pair Mirror would ") + question +
                                  QStringLiteral(" in ") + tgt + QStringLiteral("/. Delete them?");
            QCOMPARE(asked.text, plain + ui::kMassDeletionNoMeans);
            // The log keeps the question and the answer.
            const QString answered =
                plain + (skipped ? QStringLiteral(" No: kept.\n") : QStringLiteral(" Yes: deleted.\n"));
            QVERIFY2(h.logText().contains(answered), qPrintable(h.logText()));
        }
        QCOMPARE(h.logText().contains(QStringLiteral("Deletions skipped: Mirror\n")), skipped);
        QVERIFY(h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Process succeeded.")));
        QTEST(int(QDir(tgt).entryList(QDir::Files).size()), "left");
    }

    // A preview asks nothing: it shows the deletions and says that a real run would ask.
    void previewOfAMassDeletionAsksNothing()
    {
        Harness h;
        const model::FolderPair* pair = h.addMirrorPair(u"Mirror", 1, 12);
        const QString tgt = QString::fromStdU16String(pair->tgtPath);
        h.window->FillPairList();
        h.window->show();
        h.presenter.answers.push_back(ui::MessageAnswer::No);
        h.runToEnd(command::Preview);

        QCOMPARE(h.presenter.shown.size(), std::size_t(1));
        QVERIFY(
            h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Preview: process succeeded.")));
        QVERIFY2(
            h.logText().contains(QStringLiteral("Preview: Absolute Copy of pair Mirror would delete 12 of "
                                                "13 files in ") +
                                 tgt + QStringLiteral("/. A real run asks before deleting them.\n")),
            qPrintable(h.logText()));
        QCOMPARE(h.state.tgtFilesDeleted.load(), 12);
        QCOMPARE(QDir(tgt).entryList(QDir::Files).size(), 12);
    }

    void missingTargetIsMadeOnlyWhenTheUserSaysYes_data()
    {
        QTest::addColumn<bool>("scripted");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("made");
        QTest::newRow("Yes makes it") << true << int(ui::MessageAnswer::Yes) << true;
        QTest::newRow("No leaves it missing") << true << int(ui::MessageAnswer::No) << false;
        QTest::newRow("a box closed without an answer leaves it missing") << false << 0 << false;
    }

    // A saved job whose target existed at its last run and is gone now: the window asks before
    // making it, with No as the default, and without Yes the run ends with the error line.
    void missingTargetIsMadeOnlyWhenTheUserSaysYes()
    {
        QFETCH(bool, scripted);
        QFETCH(int, answer);
        QFETCH(bool, made);
        Harness h;
        const model::FolderPair* pair = h.addCopyPair(u"Docs", 1);
        const QString tgt = QString::fromStdU16String(pair->tgtPath);
        h.window->FillPairList();
        h.prompter.saveAnswer = h.dir.path() + QStringLiteral("/job.TSP");
        h.window->runCommand(command::SaveAs);
        h.runToEnd(command::Execute);
        QVERIFY(QFileInfo::exists(tgt + QStringLiteral("/file0.txt")));
        QVERIFY(QDir(tgt).removeRecursively());

        h.presenter.shown.clear();
        if (scripted)
            h.presenter.answers.push_back(ui::MessageAnswer(answer));
        h.runToEnd(command::Execute);

        QCOMPARE(h.presenter.shown.size(), std::size_t(2));
        const Message& asked = h.presenter.shown.front();
        QCOMPARE(asked.title, QStringLiteral("PROMPT"));
        QCOMPARE(asked.buttons, ui::MessageButtons::YesNoDefaultNo);
        QVERIFY2(asked.text.contains(tgt + QStringLiteral("/")) &&
                     asked.text.endsWith(QStringLiteral("Create it?")),
                 qPrintable(asked.text));
        QCOMPARE(QFileInfo::exists(tgt + QStringLiteral("/file0.txt")), made);
        QCOMPARE(h.logText().contains(
                     QStringLiteral("ERROR: target folder is missing (is its drive connected?): ") + tgt +
                     QStringLiteral("/\n")),
                 !made);
        QCOMPARE(h.presenter.shown.back().text, made ? QStringLiteral("Process succeeded.")
                                                     : QStringLiteral("Process completed with 1 error."));
    }

    // View Report offers the kept history, newest first; every run, a preview too, adds one.
    // It starts on this job's newest run, not on a newer one of another program.
    void viewReportOffersTheHistoryFromThisJobsNewestRun()
    {
        Harness h;
        const QString history = h.dir.path() + QStringLiteral("/data/tavrel-sync/reports");
        QDir().mkpath(history);
        for (const char* name :
             {"2021-03-04_05-06-07.htm", "2020-12-31_23-59-59.htm", "2021-03-04_05-06-07_2.htm"})
            writeFile(history + QLatin1Char('/') + QLatin1String(name), "old");
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.reportOffers.size(), std::size_t(1));
        QCOMPARE(h.reportOffers[0].labels,
                 QStringList({"2021-03-04 05:06:07 (2)", "2021-03-04 05:06:07", "2020-12-31 23:59:59"}));
        QCOMPARE(h.reportOffers[0].preselected, 0);
        QCOMPARE(h.opened, std::vector<QString>{history + QStringLiteral("/2021-03-04_05-06-07_2.htm")});

        h.addCopyPair(u"Docs", 1);
        h.window->FillPairList();
        h.prompter.saveAnswer = h.dir.path() + QStringLiteral("/daily.TSP");
        h.window->runCommand(command::SaveAs);
        h.runToEnd(command::Preview);
        const std::vector<std::filesystem::path> kept = report::keptReports(history.toStdString());
        QCOMPARE(kept.size(), std::size_t(4));
        QFile own(QString::fromStdString(kept.back().string()));
        QFile current(QString::fromStdString(h.report.path().string()));
        QVERIFY(own.open(QIODevice::ReadOnly) && current.open(QIODevice::ReadOnly));
        QCOMPARE(own.readAll(), current.readAll());
        // Another program's run, kept later.
        const QString other = history + QStringLiteral("/2999-01-01_00-00-00.htm");
        writeFile(other, "other");

        QTRY_VERIFY_WITH_TIMEOUT(h.window->commandAction(command::ViewReport)->isEnabled(), 5000);
        h.window->runCommand(command::ViewReport);
        const Harness::ReportOffer& offer = h.reportOffers.back();
        QCOMPARE(offer.labels.size(), 5);
        QCOMPARE(offer.labels[0], QStringLiteral("2999-01-01 00:00:00"));
        QCOMPARE(offer.labels[1], ui::keptReportLabel(kept.back()) + QStringLiteral("  daily.TSP (preview)"));
        QCOMPARE(offer.labels[2], QStringLiteral("2021-03-04 05:06:07 (2)"));
        QCOMPARE(offer.preselected, 1);
        QCOMPARE(h.opened.back(), own.fileName());

        // Another row is opened as taken; a cancelled list opens nothing and starts no pause.
        QTRY_VERIFY_WITH_TIMEOUT(h.window->commandAction(command::ViewReport)->isEnabled(), 5000);
        h.reportAnswer = 0;
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.opened.back(), other);
        QTRY_VERIFY_WITH_TIMEOUT(h.window->commandAction(command::ViewReport)->isEnabled(), 5000);
        const std::size_t openedBefore = h.opened.size();
        h.reportAnswer = -1;
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.opened.size(), openedBefore);
        QVERIFY(h.window->commandAction(command::ViewReport)->isEnabled());

        // A new job has no runs of its own yet: the list starts on the newest. The history's
        // index still names the job of each run it knows.
        h.reportAnswer.reset();
        h.window->runCommand(command::New);
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.reportOffers.back().labels[1],
                 ui::keptReportLabel(kept.back()) + QStringLiteral("  daily.TSP (preview)"));
        QCOMPARE(h.reportOffers.back().preselected, 0);

        // The job opened again (as after a restart, or run by a timer meanwhile): its newest
        // run in the history is where the list starts.
        QTRY_VERIFY_WITH_TIMEOUT(h.window->commandAction(command::ViewReport)->isEnabled(), 5000);
        h.window->openProjectFile(h.dir.path() + QStringLiteral("/daily.TSP"));
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.reportOffers.back().preselected, 1);
    }

    // The list itself: newest first as given, the given row chosen, Open takes the chosen row.
    void reportChooserStartsOnTheGivenRow()
    {
        ui::ReportChooser chooser({"b", "a"}, 1, nullptr);
        QCOMPARE(chooser.list()->count(), 2);
        QCOMPARE(chooser.chosenRow(), 1);
        chooser.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chooser));
        QTest::keyClick(chooser.list(), Qt::Key_Up);
        QTest::keyClick(chooser.list(), Qt::Key_Return);
        QCOMPARE(chooser.result(), int(QDialog::Accepted));
        QCOMPARE(chooser.chosenRow(), 0);
        QCOMPARE(ui::keptReportLabel("/x/2021-03-04_05-06-07.htm"), QStringLiteral("2021-03-04 05:06:07"));
    }

    void stopEndsARunAndTheWindowCannotCloseMeanwhile()
    {
        Harness h;
        h.fileSystem.beforeCopy = [](const std::string&, const std::string&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        };
        h.addCopyPair(u"Big", 400);
        h.window->FillPairList();
        h.window->show();
        h.window->runCommand(command::Execute);
        QVERIFY(h.window->isRunning());
        QVERIFY(!h.window->commandAction(command::New)->isEnabled());
        QVERIFY(h.window->commandAction(command::Stop)->isEnabled());

        // A stop before the worker's first file would be lost; wait until it works on files.
        QTRY_VERIFY_WITH_TIMEOUT(h.state.processedFiles.load() > 0, 20000);
        QVERIFY(!h.window->close());
        QVERIFY(h.window->isVisible());
        QCOMPARE(h.statusText(), QStringLiteral("Stop the run before closing."));
        h.window->findChild<ui::Toolbar*>()->hotChanged(command::Stop);
        QCOMPARE(h.statusText(), QString());

        h.window->runCommand(command::Stop);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);
        QVERIFY(
            h.lastMessageIs(QStringLiteral("INFORMATION"), QStringLiteral("Process was stoped by user.")));
        QVERIFY(h.state.tgtFilesCreated.load() < 400);
        QVERIFY(h.logText().endsWith(QStringLiteral("End process.\n")));
        QVERIFY(h.window->commandAction(command::New)->isEnabled());
        QVERIFY(!h.window->commandAction(command::Stop)->isEnabled());
        h.window->findChild<ui::Toolbar*>()->hotChanged(command::Execute);
        QCOMPARE(h.statusText(), QStringLiteral("Run this job"));
    }

    void openingANonProjectLeavesAnEmptyJob()
    {
        Harness h;
        h.addPair(u"Old");
        h.window->FillPairList();
        h.window->AppendLog(QStringLiteral("old log\r\n"));
        const QString bogus = h.dir.path() + QStringLiteral("/notes.TSP");
        writeFile(bogus, "this is not a project file");
        h.prompter.openAnswer = bogus;
        h.window->runCommand(command::Open);

        QCOMPARE(h.presenter.shown.size(), std::size_t(2));
        QCOMPARE(h.presenter.shown[0].title, QStringLiteral("PROMPT"));
        QCOMPARE(h.presenter.shown[0].buttons, ui::MessageButtons::OkCancel);
        QVERIFY(h.lastMessageIs(QStringLiteral("ERROR"), QStringLiteral("Failed to open TSP file.")));
        QCOMPARE(h.presenter.shown.back().icon, ui::MessageIcon::Error);
        QCOMPARE(h.job.count(), 0);
        QCOMPARE(h.list()->count(), 0);
        QCOMPARE(h.window->selectedIndex(), -1);
        QCOMPARE(h.label("orgLabel"), QStringLiteral("(Unknown)"));
        QCOMPARE(h.logText(), QString());

        // Save now asks for a name instead of writing over the file that failed.
        h.window->runCommand(command::Save);
        QCOMPARE(h.prompter.saveCalls, 1);
        QCOMPARE(QFileInfo(bogus).size(), qint64(26));
    }

    void fileNamedAtStartIsOpenedByTheRulesOfOpen_data()
    {
        QTest::addColumn<bool>("project");
        QTest::newRow("a project file") << true;
        QTest::newRow("a file that is not one") << false;
    }

    void fileNamedAtStartIsOpenedByTheRulesOfOpen()
    {
        QFETCH(bool, project);
        Harness h;
        const QString path = h.dir.path() + QStringLiteral("/daily.TSP");
        if (project) {
            model::Job saved;
            for (const char16_t* name : {u"Photos", u"Music"}) {
                model::FolderPair* pair = saved.addPair();
                pair->name = name;
                pair->orgPath = u"/data/" + std::u16string(name);
                pair->tgtPath = u"/backup/" + std::u16string(name);
                model::parsePatternList(*pair, u"*", model::PatternListKind::FilesInclude);
                model::parsePatternList(*pair, u"*", model::PatternListKind::FoldersInclude);
            }
            QVERIFY(project::saveProject(saved, path.toStdString()));
        } else {
            writeFile(path, "not a project");
        }
        h.window->openProjectFile(path);
        QCOMPARE(h.presenter.shown.empty(), project);
        QCOMPARE(h.window->windowTitle(), project ? QStringLiteral("daily.TSP - Tavrel Synchronizer")
                                                  : QStringLiteral("Untitled - Tavrel Synchronizer"));
        QCOMPARE(h.list()->count(), project ? 2 : 0);
        QCOMPARE(h.window->selectedIndex(), project ? 1 : -1);
        if (!project)
            QVERIFY(h.lastMessageIs(QStringLiteral("ERROR"), QStringLiteral("Failed to open TSP file.")));
        QCOMPARE(h.window->dialogPath(), path);
    }

    void cancelledPromptKeepsTheJob()
    {
        Harness h;
        h.addPair(u"Mine");
        h.window->FillPairList();
        h.presenter.answers = {ui::MessageAnswer::Cancel, ui::MessageAnswer::Cancel};
        h.window->runCommand(command::New);
        h.window->runCommand(command::Open);
        QCOMPARE(h.job.count(), 1);
        QCOMPARE(h.list()->count(), 1);
        QCOMPARE(h.presenter.shown[0].text,
                 QStringLiteral("This operation will close the current project. Do you want to continue?"));

        // New on an empty job asks nothing.
        h.presenter.answers = {ui::MessageAnswer::Ok};
        h.window->runCommand(command::New);
        const std::size_t asked = h.presenter.shown.size();
        h.window->runCommand(command::New);
        QCOMPARE(h.presenter.shown.size(), asked);
        QCOMPARE(h.job.count(), 0);
    }

    void outcomeTexts_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("errors");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("progress");
        QTest::newRow("succeeded fills the bar")
            << 1 << 0 << "INFORMATION"
            << "Process succeeded." << int(ui::MessageIcon::Information) << 1000;
        QTest::newRow("errors warn") << 1 << 3 << "INFORMATION"
                                     << "Process completed with 3 errors." << int(ui::MessageIcon::Warning)
                                     << 1000;
        QTest::newRow("stopped") << 0 << 0 << "INFORMATION"
                                 << "Process was stoped by user." << int(ui::MessageIcon::Information) << 300;
        QTest::newRow("stopped after errors")
            << 0 << 2 << "INFORMATION"
            << "Process was stoped by user." << int(ui::MessageIcon::Information) << 300;
        QTest::newRow("disk full") << 2 << 1 << "ERROR"
                                   << "Not enough disk space to perform this operation."
                                   << int(ui::MessageIcon::Error) << 300;
        QTest::newRow("unknown value") << 7 << 0 << "ERROR"
                                       << "Unknown error occured." << int(ui::MessageIcon::Error) << 300;
    }

    void outcomeTexts()
    {
        QFETCH(int, result);
        QFETCH(int, errors);
        Harness h;
        h.state.errors.store(errors);
        h.window->SetProgress(300);
        h.window->RunEnded(static_cast<engine::RunResult>(result));
        QTEST(h.presenter.shown.back().title, "title");
        QTEST(h.presenter.shown.back().text, "text");
        QTEST(int(h.presenter.shown.back().icon), "icon");
        QTEST(h.progress(), "progress");
    }

    // Two unplugged ORG drives: nothing to count, and yet the run does not end as a success.
    void runWithMissingFoldersEndsWithAWarning()
    {
        Harness h;
        for (const char16_t* name : {u"One", u"Two"})
            QVERIFY(QDir(QString::fromStdU16String(h.addCopyPair(name, 0)->orgPath)).removeRecursively());
        h.window->FillPairList();
        h.window->show();
        h.window->runCommand(command::Execute);
        QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);

        QVERIFY(h.lastMessageIs(QStringLiteral("INFORMATION"),
                                QStringLiteral("Process completed with 2 errors.")));
        QCOMPARE(h.presenter.shown.back().icon, ui::MessageIcon::Warning);
        const QString log = h.logText();
        QVERIFY2(log.contains(QStringLiteral("Calculate the file amount... 0\nERROR: cannot read folder: ")),
                 qPrintable(log));
        QVERIFY2(log.endsWith(QStringLiteral("End process.\n")), qPrintable(log));
    }

    void viewReportPausesForThreeSeconds()
    {
        Harness h;
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.opened.size(), std::size_t(1));
        QCOMPARE(h.opened[0], h.dir.path() + QStringLiteral("/report.htm"));
        QVERIFY(!h.reportButton()->isEnabled());
        QVERIFY(!h.window->commandAction(command::ViewReport)->isEnabled());
        h.window->runCommand(command::ViewReport);
        QCOMPARE(h.opened.size(), std::size_t(1));
        QTRY_VERIFY_WITH_TIMEOUT(h.reportButton()->isEnabled(), 5000);
        QVERIFY(h.window->commandAction(command::ViewReport)->isEnabled());
    }

    void statusLineShowsTips()
    {
        Harness h;
        h.window->ShowStatusTip(ui::StatusTip::Command, command::Execute);
        QCOMPARE(h.statusText(), QStringLiteral("Run this job"));
        h.window->ShowStatusTip(ui::StatusTip::Clear);
        QCOMPARE(h.statusText(), QString());
        h.window->findChild<ui::Toolbar*>()->hotChanged(command::Open);
        QCOMPARE(h.statusText(), QStringLiteral("Open an existent job"));
        h.window->findChild<ui::Toolbar*>()->hotChanged(-1);
        QCOMPARE(h.statusText(), QString());
    }

    void toolbarHoverFollowsTheHotButtonRuleOnly_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("status");
        QTest::newRow("idle: New shows its tip")
            << false << int(command::New) << QStringLiteral("Create a new job");
        QTest::newRow("idle: the grayed Stop shows nothing") << false << int(command::Stop) << QString();
        QTest::newRow("running: New shows nothing") << true << int(command::New) << QString();
        QTest::newRow("running: Save shows nothing") << true << int(command::Save) << QString();
        QTest::newRow("running: Stop shows nothing") << true << int(command::Stop) << QString();
        QTest::newRow("running: Content shows nothing") << true << int(command::Content) << QString();
    }

    void toolbarHoverFollowsTheHotButtonRuleOnly()
    {
        QFETCH(bool, running);
        QFETCH(int, number);
        QFETCH(QString, status);
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        if (running) {
            h.fileSystem.beforeCopy = [](const std::string&, const std::string&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            };
            h.addCopyPair(u"Slow", 200);
            h.window->FillPairList();
            h.window->runCommand(command::Execute);
            QVERIFY(h.window->isRunning());
        }
        h.window->ShowStatusTip(ui::StatusTip::Text, 0, QStringLiteral("before"));
        auto* toolbar = h.window->findChild<ui::Toolbar*>();
        QWidget* button = toolbar->widgetForAction(h.window->commandAction(number));
        // The pointer entering the button, as the window system reports it.
        QEnterEvent enter(QPointF(2, 2), button->mapTo(h.window.get(), QPointF(2, 2)),
                          button->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(button, &enter);
        QCOMPARE(h.statusText(), status);
        if (running) {
            h.window->runCommand(command::Stop);
            QTRY_VERIFY_WITH_TIMEOUT(!h.window->isRunning(), 20000);
        }
    }

    void pairDialogHelpIsNamedInTheStatusLine()
    {
        Harness h;
        h.window->show();
        QString during;
        QTimer::singleShot(0, [&] {
            during = h.statusText();
            if (QWidget* dialog = QApplication::activeModalWidget())
                QTest::keyClick(dialog, Qt::Key_Escape);
        });
        h.window->runCommand(command::AddPair);
        QCOMPARE(during, ui::kPairDialogHelpHint);
        QCOMPARE(h.statusText(), QString());
        QCOMPARE(h.job.count(), 0);
    }

    void pairDialogHelpShowsWhicheverWayTheDialogOpens_data()
    {
        QTest::addColumn<QString>("way");
        for (const char* way : {"toolbar Add Pair", "toolbar Edit Pair", "menu Add Pair", "menu Edit Pair",
                                "context menu Edit", "double click", "command"})
            QTest::newRow(way) << QString::fromLatin1(way);
    }

    // The hint stays while the dialog is open, whatever the way there left behind: the leave
    // a modal box sends to the button under the pointer, a closing menu.
    void pairDialogHelpShowsWhicheverWayTheDialogOpens()
    {
        QFETCH(QString, way);
        Harness h;
        h.addPair(u"Docs");
        h.window->FillPairList();
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QWindow* handle = h.window->windowHandle();
        QStringList during;
        int opened = 0;
        QWidget* pointed = nullptr;
        h.window->setPairEditor([&](QWidget* owner, model::FolderPair&) {
            ++opened;
            QDialog box(owner);
            QTimer::singleShot(50, &box, [&] {
                // A modal box appearing sends a leave to the button under the pointer; X11 does
                // it by itself, the offscreen platform does not.
                if (pointed) {
                    QEvent leave(QEvent::Leave);
                    QApplication::sendEvent(pointed, &leave);
                }
                during << h.statusText();
                box.reject();
            });
            box.exec();
            return ui::PairEdit::Cancelled;
        });
        const bool edit = way.contains(QStringLiteral("Edit")) || way == QStringLiteral("double click");
        const int number = edit ? command::EditPair : command::AddPair;
        // Clicks arrive through the window system, as a user's do.
        const auto clickAt = [&](QWidget* widget, QPoint at) {
            const QPoint inWindow = widget->mapTo(h.window.get(), at);
            QTest::mouseMove(handle, inWindow);
            QTest::mouseClick(handle, Qt::LeftButton, {}, inWindow);
        };
        const auto chooseFrom = [](QMenu* menu, QAction* action) {
            QTRY_VERIFY(menu->isVisible());
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        };
        if (way.startsWith(QStringLiteral("toolbar"))) {
            auto* toolbar = h.window->findChild<ui::Toolbar*>();
            QWidget* button = toolbar->widgetForAction(h.window->commandAction(number));
            pointed = button;
            clickAt(button, button->rect().center());
        } else if (way.startsWith(QStringLiteral("menu"))) {
            QMenu* operation = h.window->menuBar()->actions().at(1)->menu();
            operation->popup(h.window->mapToGlobal(QPoint(40, 40)));
            chooseFrom(operation, h.window->commandAction(number));
        } else if (way.startsWith(QStringLiteral("context"))) {
            const QRect item = h.list()->visualItemRect(h.list()->topLevelItem(0));
            QTest::mouseClick(h.list()->viewport(), Qt::RightButton, {}, item.center());
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            chooseFrom(qobject_cast<QMenu*>(QApplication::activePopupWidget()),
                       h.window->contextAction(number));
        } else if (way == QStringLiteral("double click")) {
            const QRect item = h.list()->visualItemRect(h.list()->topLevelItem(0));
            QTest::mouseDClick(h.list()->viewport(), Qt::LeftButton, {}, item.center());
        } else {
            h.window->runCommand(number);
        }
        QTRY_COMPARE(opened, 1);
        QCOMPARE(during, QStringList{ui::kPairDialogHelpHint});
        QCOMPARE(h.statusText(), QString());
    }

    void hoverFrameEndsWithTheModalBoxThePointerLeftFor()
    {
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        auto* toolbar = h.window->findChild<ui::Toolbar*>();
        QWidget* button = toolbar->widgetForAction(h.window->commandAction(command::Open));
        QEnterEvent enter(QPointF(2, 2), button->mapTo(h.window.get(), QPointF(2, 2)),
                          button->mapToGlobal(QPointF(2, 2)));
        QApplication::sendEvent(button, &enter);
        button->setAttribute(Qt::WA_UnderMouse);
        QCOMPARE(h.statusText(), QStringLiteral("Open an existent job"));

        // The pointer goes elsewhere while a box blocks the window, which hears of no leave.
        QCursor::setPos(h.window->mapToGlobal(QPoint(400, 400)));
        QDialog box(h.window.get());
        QTimer::singleShot(0, &box, &QDialog::accept);
        box.exec();
        QVERIFY(!button->underMouse());
        QCOMPARE(h.statusText(), QString());

        // A button still under the pointer keeps its frame.
        QCursor::setPos(button->mapToGlobal(QPoint(3, 3)));
        button->setAttribute(Qt::WA_UnderMouse);
        QDialog again(h.window.get());
        QTimer::singleShot(0, &again, &QDialog::accept);
        again.exec();
        QVERIFY(button->underMouse());
    }

    void panelsStayBlackOnWhiteUnderADarkStyle()
    {
        const QPalette system = QApplication::palette();
        QPalette dark = system;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text})
            dark.setColor(role, QColor(220, 220, 220));
        QApplication::setPalette(dark);
        struct Restore
        {
            QPalette palette;
            ~Restore() { QApplication::setPalette(palette); }
        } restore{system};

        Harness h;
        h.addPair(u"Docs")->orgPath = u"/home/user/Documents";
        h.window->FillPairList();
        h.click(0);
        h.window->AppendLog(QStringLiteral("Start process.\r\n"));
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));

        // Every pixel of a label and of the log box is the white ground or ink darker than grey.
        for (const char* name : {"orgLabel", "logBox"}) {
            QWidget* widget = h.window->findChild<QWidget*>(QString::fromLatin1(name));
            // As shown: the transparent label over the client area's ground.
            const QImage face = h.window->centralWidget()->grab(widget->geometry()).toImage();
            int ink = 0;
            for (int y = 2; y < qMin(face.height(), 16) - 1; ++y) {
                for (int x = 2; x < face.width() - 20; ++x) {
                    const QColor pixel = face.pixelColor(x, y);
                    QVERIFY2(
                        pixel.lightness() > 200 || pixel.lightness() < 128 || pixel.saturation() < 30,
                        qPrintable(QStringLiteral("%1 at %2,%3").arg(QLatin1String(name)).arg(x).arg(y)));
                    if (pixel.lightness() < 100)
                        ++ink;
                }
            }
            QVERIFY2(ink > 10, name);
            QCOMPARE(face.pixelColor(face.width() - 30, 5), QColor(Qt::white));
        }
    }

    void statusLineHasTheSystemGroundNotTheWindowWhite()
    {
        Harness h;
        auto* status = h.window->findChild<QLabel*>(QStringLiteral("statusLine"));
        QCOMPARE(status->geometry(), QRect(0, 484, 792, 20));
        const QColor system = QApplication::palette().color(QPalette::Window);
        QVERIFY(system != QColor(Qt::white));
        const QImage face = status->grab().toImage();
        QCOMPARE(face.pixelColor(face.width() - 2, face.height() / 2), system);
    }

    void menusCarryTheirTextsAndTips()
    {
        Harness h;
        QStringList texts;
        for (QAction* title : h.window->menuBar()->actions()) {
            texts << title->text();
            for (QAction* item : title->menu()->actions())
                texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        QCOMPARE(texts.join(QLatin1Char('|')),
                 QStringLiteral("&File|&New|&Open...|-|&Save|Save &As...|-|E&xit|&Operation|&Add Pair...|"
                                "&Edit Pair...|&Remove Pair|-|E&xecute|&Preview|&Stop|-|&View "
                                "Report|Sche&dule...|&Help|&Content|-|&About"));

        QMenu* operation = h.window->menuBar()->actions().at(1)->menu();
        h.window->show();
        operation->popup(h.window->mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(operation));
        emit operation->hovered(h.window->commandAction(command::Execute));
        QCOMPARE(h.statusText(), QStringLiteral("Run this job"));
        operation->hide();
        emit h.window->menuBar()->hovered(h.window->menuBar()->actions().at(1));
        QCOMPARE(h.statusText(), QString());
    }

    // A timer runs a project file: an unsaved job is not scheduled, and the user is told why;
    // during a run the command is grayed like the others that change the job's setting.
    void scheduleNeedsASavedJobAndAnIdleWindow()
    {
        Harness h;
        h.window->runCommand(command::Schedule);
        QCOMPARE(h.presenter.shown.size(), std::size_t(1));
        QCOMPARE(h.presenter.shown.front().text,
                 QStringLiteral("Save the job first: a schedule runs its project file."));
        QVERIFY(h.window->commandAction(command::Schedule)->isEnabled());
        h.window->SetIdleState(false);
        QVERIFY(!h.window->commandAction(command::Schedule)->isEnabled());
        h.window->SetIdleState(true);
        QVERIFY(h.window->commandAction(command::Schedule)->isEnabled());

        // Saved: the dialog opens on that file and shows its (empty) schedule.
        const QString path = h.dir.path() + QStringLiteral("/night.TSP");
        model::Job saved;
        model::FolderPair* pair = saved.addPair();
        pair->name = u"A";
        pair->orgPath = u"/data/A";
        pair->tgtPath = u"/backup/A";
        model::parsePatternList(*pair, u"*", model::PatternListKind::FilesInclude);
        model::parsePatternList(*pair, u"*", model::PatternListKind::FoldersInclude);
        QVERIFY(project::saveProject(saved, path.toStdString()));
        h.window->openProjectFile(path);
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(h.dir.path() + QStringLiteral("/config")));
        QString shown;
        QTimer::singleShot(0, [&] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                shown = dialog->windowTitle() + QLatin1Char('|') +
                        dialog->findChild<QLabel*>(QStringLiteral("current"))->text();
                dialog->reject();
            }
        });
        h.window->runCommand(command::Schedule);
        if (oldConfig.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfig);
        QCOMPARE(shown, QStringLiteral("Schedule|Current schedule: none"));
        QCOMPARE(h.presenter.shown.size(), std::size_t(1));
    }

    void grayedMenuItemsStillShowTheirTips()
    {
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        h.window->SetIdleState(false);
        QMenu* operation = h.window->menuBar()->actions().at(1)->menu();
        operation->popup(h.window->mapToGlobal(QPoint(0, 0)));
        QVERIFY(QTest::qWaitForWindowExposed(operation));
        const auto hover = [&](int number) {
            const QPoint at = operation->actionGeometry(h.window->commandAction(number)).center();
            QMouseEvent move(QEvent::MouseMove, at, operation->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(operation, &move);
        };
        hover(command::Stop);
        QCOMPARE(h.statusText(), QStringLiteral("Stop the current process"));
        hover(command::Execute);
        QCOMPARE(h.statusText(), QStringLiteral("Run this job"));
        hover(command::ViewReport);
        QCOMPARE(h.statusText(), QStringLiteral("View the previous process report"));
        // Highlighted is not enabled: a click on the grayed item still does nothing.
        QSignalSpy triggered(h.window->commandAction(command::ViewReport), &QAction::triggered);
        const QPoint at = operation->actionGeometry(h.window->commandAction(command::ViewReport)).center();
        QTest::mouseClick(operation, Qt::LeftButton, {}, at);
        QCOMPARE(triggered.count(), 0);
        QVERIFY(h.opened.empty());
        operation->hide();
        QCOMPARE(h.statusText(), QString());
    }

    void aboutBoxNamesTheProgram()
    {
        Harness h;
        h.window->show();
        QString title;
        QString text;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            title = box->windowTitle();
            for (QLabel* label : box->findChildren<QLabel*>())
                if (!label->text().isEmpty())
                    text = label->text();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        h.window->runCommand(command::About);
        QCOMPARE(title, QStringLiteral("About"));
        QCOMPARE(text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("Tavrel Synchronizer V1.00"));
    }

    // Centred over the window and 50 pixels higher, frame and all, from its first moment.
    void aboutBoxOpensOverTheWindowsFrame()
    {
        Harness h;
        h.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.window.get()));
        QVERIFY2(h.window->frameGeometry() != h.window->geometry(), "this platform draws no frame to place");
        ui::AboutDialog box(h.window.get());
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QPoint first = box.frameGeometry().topLeft();
        QTest::qWait(50);
        const QRect frame = box.frameGeometry();
        QVERIFY(frame.size() != box.size());
        QCOMPARE(frame.topLeft(), first);
        const QRect owner = h.window->frameGeometry();
        QCOMPARE(frame.topLeft(), QPoint(owner.left() + (owner.width() - frame.width()) / 2,
                                         owner.top() + (owner.height() - frame.height()) / 2 - 50));
    }

    void aboutBoxOkLooksLikeAButton()
    {
        ui::AboutDialog box(nullptr);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        auto* ok = box.findChild<QPushButton*>();
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("&OK"));
        QVERIFY(ok->isDefault());
        // Flat, but still framed: a bare word on the dialog's ground is not seen as a button.
        const QImage face = ok->grab().toImage();
        const QColor ground = box.palette().color(QPalette::Window);
        int framed = 0;
        for (int y = 0; y < face.height(); ++y)
            if (face.pixelColor(0, y) != ground && face.pixelColor(face.width() - 1, y) != ground)
                ++framed;
        QVERIFY2(framed > face.height() / 2, qPrintable(QString::number(framed)));
    }

    void contentWithoutTheHelpFileSaysSo()
    {
        Harness h;
        h.window->runCommand(command::Content);
        QVERIFY(h.opened.empty());
        QCOMPARE(h.presenter.shown.size(), std::size_t(1));
        QCOMPARE(h.presenter.shown[0].title, QStringLiteral("ERROR"));
        // Both places it looked: beside the program and where an installation puts it.
        const QString here = QCoreApplication::applicationDirPath();
        QCOMPARE(
            h.presenter.shown[0].text,
            QStringLiteral("Cannot find the help file %1/TavrelSync.html or %2.")
                .arg(here, QDir::cleanPath(here + QStringLiteral("/../share/tavrel-sync/TavrelSync.html"))));
    }

    void progressAboveTheScaleShowsFull()
    {
        Harness h;
        h.window->SetProgress(1200);
        QCOMPARE(h.progress(), 1000);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
