// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/folder_pair.h"
#include "model/job.h"
#include "scripted_presenter.h"
#include "ui/common/message_box.h"
#include "ui/common/string_table.h"
#include "ui/pair_dialog/dialog_units.h"
#include "ui/pair_dialog/pair_dialog.h"
#include "ui/pair_dialog/tooltip_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QWhatsThis>

using namespace tavrel;
using ui::PairOptionsDialog;

namespace {

using uitest::ScriptedPresenter;

// A job holding one pair as Add Pair makes it.
struct Fixture
{
    Fixture()
    {
        pair = job.addPair();
        pair->includeSubfolders = 1;
        pair->recycleDeleted = 1;
    }
    model::Job job;
    model::FolderPair* pair = nullptr;
    ScriptedPresenter messages;
};

QLineEdit* edit(const PairOptionsDialog& dialog, int id)
{
    return qobject_cast<QLineEdit*>(dialog.control(id));
}

QAbstractButton* button(const PairOptionsDialog& dialog, int id)
{
    return qobject_cast<QAbstractButton*>(dialog.control(id));
}

// Fills the dialog with valid input.
void fillValid(PairOptionsDialog& dialog)
{
    edit(dialog, PairOptionsDialog::IdName)->setText("Docs");
    edit(dialog, PairOptionsDialog::IdOrgPath)->setText("/data/docs");
    edit(dialog, PairOptionsDialog::IdTgtPath)->setText("/backup/docs");
}

} // namespace

class PairDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void dialogUnits_data();
    void dialogUnits();
    void dialogHasTemplateSizeAndPlacesControls();
    void dialogOpensCentredOnItsOwnersFrame();
    void attributeRadiosKeepTheirNumbers_data();
    void attributeRadiosKeepTheirNumbers();
    void opensNewPairWithDefaults();
    void opensStoredPair();
    void methodOutOfRangeLeavesLightCopy();
    void okRefusesInvalidInput_data();
    void okRefusesInvalidInput();
    void okWritesEveryField();
    void okCutsNameAndPaths();
    void emptyIncludeListShowsStarAgain();
    void cancelWritesNothing();
    void closeResults();
    void methodChoiceSetsEnabledStatesAndKeepsTicks_data();
    void methodChoiceSetsEnabledStatesAndKeepsTicks();
    void disabledRecycleTickIsStored();
    void includeSubfoldersEnablesFolderBoxes();
    void overlap_data();
    void overlap();
    void helpTextPerControl();
    void tabOrder();
    void browseButtonsFillThePathBoxes();
    void tipLetsThroughTheClickThatHidesItAndConsumesTheKey();
    void arrowKeysWrapWithinARadioGroup_data();
    void arrowKeysWrapWithinARadioGroup();
    void rightClickOffersWhatsThis_data();
    void rightClickOffersWhatsThis();
    void moreButtonSitsLeftOfOkWithoutMovingIt();
    void moreOptionsReachThePairOnlyThroughOk();
    void okRefusesMoreOptionsThatDoNotFit_data();
    void okRefusesMoreOptionsThatDoNotFit();
};

void PairDialogTest::dialogUnits_data()
{
    QTest::addColumn<int>("sampleWidth");
    QTest::addColumn<int>("fontHeight");
    QTest::addColumn<QRect>("dialogRect");
    QTest::addColumn<int>("averageWidth");
    QTest::addColumn<QRect>("pixels");
    // (394 / 26 + 1) / 2 = 8: the rounding of a 15.15 px average to whole units.
    QTest::newRow("Arial 13 px") << 394 << 15 << QRect(311, 205, 311, 205) << 8 << QRect(622, 384, 622, 384);
    QTest::newRow("classic 6 x 13 units")
        << 286 << 13 << QRect(229, 189, 35, 12) << 6 << QRect(343, 307, 52, 19);
    QTest::newRow("odd average rounds up") << 338 << 16 << QRect(10, 2, 50, 10) << 7 << QRect(17, 4, 87, 20);
    QTest::newRow("zero") << 0 << 0 << QRect(5, 5, 5, 5) << 0 << QRect(0, 0, 0, 0);
}

void PairDialogTest::dialogUnits()
{
    QFETCH(int, sampleWidth);
    QFETCH(int, fontHeight);
    QFETCH(QRect, dialogRect);
    QFETCH(int, averageWidth);
    QFETCH(QRect, pixels);
    QCOMPARE(ui::averageCharWidthFromSample(sampleWidth), averageWidth);
    const ui::DialogBaseUnits units{averageWidth, fontHeight};
    QCOMPARE(ui::dialogRectToPixels(dialogRect, units), pixels);
    QCOMPARE(ui::centredOn(QRect(100, 50, 801, 600), QSize(300, 201)), QPoint(350, 249));
    QCOMPARE(ui::centredOn(QRect(0, 0, 100, 100), QSize(301, 201)), QPoint(-100, -50));
}

void PairDialogTest::dialogHasTemplateSizeAndPlacesControls()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    const ui::DialogBaseUnits units = dialog.baseUnits();
    QVERIFY(units.averageCharWidth > 0 && units.fontHeight > 0);
    QCOMPARE(dialog.size(), ui::dialogSizeToPixels(PairOptionsDialog::kTemplateSize, units));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.windowTitle(), QString("Pair options"));
    QCOMPARE(dialog.font().family(), QString("Arial"));
    QVERIFY(dialog.windowFlags() & Qt::WindowContextHelpButtonHint);
    QCOMPARE(dialog.control(PairOptionsDialog::IdOk)->geometry(),
             ui::dialogRectToPixels(QRect(229, 189, 35, 12), units));
    QCOMPARE(dialog.control(PairOptionsDialog::IdTgtPath)->geometry(),
             ui::dialogRectToPixels(QRect(65, 89, 210, 10), units));
    QCOMPARE(button(dialog, PairOptionsDialog::IdSystemCopyOnly)->text(), QString("Copy Only"));
    QCOMPARE(button(dialog, PairOptionsDialog::IdRecycleDeleted)->text(),
             QString("Take deleted files to recycle bin"));
    QVERIFY(qobject_cast<QPushButton*>(dialog.control(PairOptionsDialog::IdOk))->isDefault());
}

// The frame, not only the inside, is centred on the owner's frame, from the first moment the
// dialog is shown: it is placed for the frame it will get, not moved once the frame is there.
void PairDialogTest::dialogOpensCentredOnItsOwnersFrame()
{
    Fixture f;
    QWidget owner;
    owner.setGeometry(120, 90, 800, 560);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    QVERIFY2(owner.frameGeometry() != owner.geometry(), "this platform draws no frame to place");
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, &owner);
    int movesWhileShown = 0;
    struct MoveCounter : QObject
    {
        int* moves;
        QWidget* watched;
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (object == watched && event->type() == QEvent::Move && watched->isVisible())
                ++*moves;
            return false;
        }
    } filter;
    filter.moves = &movesWhileShown;
    filter.watched = &dialog;
    dialog.installEventFilter(&filter);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::qWait(50);
    const QRect frame = dialog.frameGeometry();
    QVERIFY(frame.size() != dialog.size());
    QCOMPARE(frame.topLeft(), ui::centredOn(owner.frameGeometry(), frame.size()));
    QCOMPARE(movesWhileShown, 0);
}

void PairDialogTest::attributeRadiosKeepTheirNumbers_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("help");
    QTest::newRow("read-only, Involve") << int(PairOptionsDialog::IdReadOnlyInvolve) << 1016 << "Involve"
                                        << "Treat the read-only files as normal files.";
    QTest::newRow("read-only, Copy Only") << int(PairOptionsDialog::IdReadOnlyCopyOnly) << 1017 << "Copy Only"
                                          << "Existent read-only files will not be changed.";
    QTest::newRow("read-only, Ignore") << int(PairOptionsDialog::IdReadOnlyIgnore) << 1018 << "Ignore"
                                       << "Ignore all read-only files.";
    QTest::newRow("hidden, Involve") << int(PairOptionsDialog::IdHiddenInvolve) << 1019 << "Involve"
                                     << "Treat the hidden files as normal files.";
    QTest::newRow("hidden, Copy Only") << int(PairOptionsDialog::IdHiddenCopyOnly) << 1020 << "Copy Only"
                                       << "Existent hidden files will not be changed.";
    QTest::newRow("hidden, Ignore") << int(PairOptionsDialog::IdHiddenIgnore) << 1021 << "Ignore"
                                    << "Ignore all hidden files.";
    QTest::newRow("system, Involve") << int(PairOptionsDialog::IdSystemInvolve) << 1022 << "Involve"
                                     << "Treat the system files as normal files.";
    QTest::newRow("system, Copy Only") << int(PairOptionsDialog::IdSystemCopyOnly) << 1023 << "Copy Only"
                                       << "Existent system files will not be changed.";
    QTest::newRow("system, Ignore") << int(PairOptionsDialog::IdSystemIgnore) << 1024 << "Ignore"
                                    << "Ignore all system files.";
}

// The numbers are the ones the help texts are kept under.
void PairDialogTest::attributeRadiosKeepTheirNumbers()
{
    QFETCH(int, id);
    QFETCH(int, number);
    QFETCH(QString, text);
    QFETCH(QString, help);
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(button(dialog, id)->text(), text);
    QCOMPARE(dialog.control(id)->property("controlId").toInt(), number);
    dialog.showControlHelp(id, dialog.mapToGlobal(QPoint(10, 10)));
    QCOMPARE(dialog.tooltipWindow()->tipText(), help);
}

void PairDialogTest::opensNewPairWithDefaults()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    QCOMPARE(edit(dialog, PairOptionsDialog::IdName)->text(), QString("Pair_0"));
    QVERIFY(button(dialog, PairOptionsDialog::IdLightCopy)->isChecked());
    QCOMPARE(qobject_cast<QLabel*>(dialog.control(PairOptionsDialog::IdDescription))->text(),
             ui::loadString(40015));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdOrgPath)->text(), QString());
    QCOMPARE(edit(dialog, PairOptionsDialog::IdIncludeFiles)->text(), QString("*"));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdIncludeFolders)->text(), QString("*"));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdExcludeFiles)->text(), QString());
    QCOMPARE(edit(dialog, PairOptionsDialog::IdExcludeFolders)->text(), QString());
    for (int id : {PairOptionsDialog::IdAuto, PairOptionsDialog::IdReadOnlyInvolve,
                   PairOptionsDialog::IdHiddenInvolve, PairOptionsDialog::IdSystemInvolve,
                   PairOptionsDialog::IdIncludeSubfolders, PairOptionsDialog::IdRecycleDeleted})
        QVERIFY2(button(dialog, id)->isChecked(), qPrintable(QString::number(id)));
    for (int id : {PairOptionsDialog::IdCheck, PairOptionsDialog::IdNotCheck, PairOptionsDialog::IdAuto,
                   PairOptionsDialog::IdRecycleDeleted})
        QVERIFY2(!button(dialog, id)->isEnabled(), qPrintable(QString::number(id)));
    QVERIFY(edit(dialog, PairOptionsDialog::IdIncludeFolders)->isEnabled());
    QCOMPARE(dialog.focusWidget(), dialog.control(PairOptionsDialog::IdName));
}

void PairDialogTest::opensStoredPair()
{
    Fixture f;
    f.job.addPair();
    model::FolderPair* pair = f.job.addPair(); // slot 2
    pair->method = model::SyncMethod::Copy;
    pair->contentCheck = model::ContentCheckMode::NotCheck;
    pair->hiddenMode = model::AttributeMode::Ignore;
    pair->systemMode = model::AttributeMode::CopyOnly;
    model::parsePatternList(*pair, u"*.doc;*.txt", model::PatternListKind::FilesInclude);
    model::parsePatternList(*pair, u".svn", model::PatternListKind::FoldersExclude);
    PairOptionsDialog dialog(f.job, *pair, f.messages, nullptr);
    QCOMPARE(edit(dialog, PairOptionsDialog::IdName)->text(), QString("Pair_2"));
    QVERIFY(button(dialog, PairOptionsDialog::IdCopy)->isChecked());
    QCOMPARE(qobject_cast<QLabel*>(dialog.control(PairOptionsDialog::IdDescription))->text(),
             ui::loadString(40017));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdIncludeFiles)->text(), QString("*.doc; *.txt"));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdExcludeFolders)->text(), QString(".svn"));
    QVERIFY(button(dialog, PairOptionsDialog::IdNotCheck)->isChecked());
    QVERIFY(button(dialog, PairOptionsDialog::IdReadOnlyInvolve)->isChecked());
    QVERIFY(button(dialog, PairOptionsDialog::IdHiddenIgnore)->isChecked());
    QVERIFY(button(dialog, PairOptionsDialog::IdSystemCopyOnly)->isChecked());
    QVERIFY(!button(dialog, PairOptionsDialog::IdIncludeSubfolders)->isChecked());
    QVERIFY(!button(dialog, PairOptionsDialog::IdRecycleDeleted)->isChecked());
    QVERIFY(!edit(dialog, PairOptionsDialog::IdIncludeFolders)->isEnabled());
    QVERIFY(!edit(dialog, PairOptionsDialog::IdExcludeFolders)->isEnabled());
}

void PairDialogTest::methodOutOfRangeLeavesLightCopy()
{
    Fixture f;
    f.pair->method = static_cast<model::SyncMethod>(9);
    f.pair->contentCheck = static_cast<model::ContentCheckMode>(-1);
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    QVERIFY(button(dialog, PairOptionsDialog::IdLightCopy)->isChecked());
    QVERIFY(qobject_cast<QLabel*>(dialog.control(PairOptionsDialog::IdDescription))->text().isEmpty());
    QVERIFY(button(dialog, PairOptionsDialog::IdAuto)->isChecked());
    fillValid(dialog);
    dialog.accept();
    QCOMPARE(f.pair->method, model::SyncMethod::LightCopy);
    QCOMPARE(f.pair->contentCheck, model::ContentCheckMode::Auto);
}

void PairDialogTest::okRefusesInvalidInput_data()
{
    QTest::addColumn<int>("boxId");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("focusId");
    QTest::newRow("name of spaces") << 1031 << "    " << true << "Pair name cannot be NULL." << 1031;
    QTest::newRow("name blank in its first 20 characters")
        << 1031 << QString(20, ' ') + "x" << true << "Pair name cannot be NULL." << 1031;
    QTest::newRow("empty ORG") << 1007 << "" << true << "ORG path cannot be NULL." << 1007;
    QTest::newRow("blank TGT") << 1008 << "   " << true << "TGT path cannot be NULL." << 1008;
    QTest::newRow("empty files to include")
        << 1011 << " " << true << "Include file cannot be NULL.  Specify * for all files." << 1011;
    QTest::newRow("empty folders to include")
        << 1027 << "" << true << "Include folder cannot be NULL. Specify * for all folders." << 1027;
    QTest::newRow("empty folders to include while subfolders are off")
        << 1027 << "" << false << "Include folder cannot be NULL. Specify * for all folders." << 0;
    QTest::newRow("TGT inside ORG") << 1008 << "/DATA/docs/backup" << true
                                    << "ORG path and TGT path cannot be overlapped." << 1007;
    QTest::newRow("TGT is ORG with a slash")
        << 1008 << " /data/docs/ " << true << "ORG path and TGT path cannot be overlapped." << 1007;
}

void PairDialogTest::okRefusesInvalidInput()
{
    QFETCH(int, boxId);
    QFETCH(QString, boxText);
    QFETCH(bool, subfolders);
    QFETCH(QString, message);
    QFETCH(int, focusId);

    Fixture f;
    f.pair->name = u"Before";
    const model::FolderPair before = *f.pair;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    if (!subfolders)
        button(dialog, PairOptionsDialog::IdIncludeSubfolders)->click();
    edit(dialog, boxId)->setText(boxText);
    dialog.control(PairOptionsDialog::IdCancel)->setFocus();

    QSignalSpy finished(&dialog, &QDialog::finished);
    qobject_cast<QPushButton*>(dialog.control(PairOptionsDialog::IdOk))->click();

    QCOMPARE(f.messages.shown.size(), std::size_t(1));
    QCOMPARE(f.messages.shown[0].title, QString("ERROR"));
    QCOMPARE(f.messages.shown[0].text, message);
    QCOMPARE(f.messages.shown[0].icon, ui::MessageIcon::Error);
    QCOMPARE(f.messages.shown[0].buttons, ui::MessageButtons::Ok);
    // A disabled box cannot take the focus; it stays where it was.
    QCOMPARE(dialog.focusWidget(), dialog.control(focusId == 0 ? PairOptionsDialog::IdCancel : focusId));
    QCOMPARE(finished.count(), 0);
    QVERIFY(*f.pair == before);
    QCOMPARE(edit(dialog, boxId)->text(), boxText);
}

void PairDialogTest::okWritesEveryField()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    edit(dialog, PairOptionsDialog::IdName)->setText("  My pair  ");
    button(dialog, PairOptionsDialog::IdAbsoluteCopy)->click();
    edit(dialog, PairOptionsDialog::IdOrgPath)->setText(" /data/a ");
    edit(dialog, PairOptionsDialog::IdTgtPath)->setText("/data/ab");
    edit(dialog, PairOptionsDialog::IdIncludeFiles)->setText("*.doc; *.*; *.txt");
    edit(dialog, PairOptionsDialog::IdExcludeFiles)->setText("a.txt; ; b.txt ;");
    edit(dialog, PairOptionsDialog::IdIncludeFolders)->setText("src;docs");
    edit(dialog, PairOptionsDialog::IdExcludeFolders)->setText("*");
    button(dialog, PairOptionsDialog::IdCheck)->click();
    button(dialog, PairOptionsDialog::IdReadOnlyIgnore)->click();
    button(dialog, PairOptionsDialog::IdHiddenCopyOnly)->click();
    button(dialog, PairOptionsDialog::IdSystemIgnore)->click();
    button(dialog, PairOptionsDialog::IdRecycleDeleted)->click();

    QSignalSpy finished(&dialog, &QDialog::finished);
    qobject_cast<QPushButton*>(dialog.control(PairOptionsDialog::IdOk))->click();

    QVERIFY(f.messages.shown.empty());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), PairOptionsDialog::kResultOk);
    QCOMPARE(dialog.result(), 1);
    const model::FolderPair& p = *f.pair;
    QVERIFY(p.name == u"My pair");
    QCOMPARE(p.method, model::SyncMethod::AbsoluteCopy);
    QVERIFY(p.orgPath == u" /data/a ");
    QVERIFY(p.tgtPath == u"/data/ab");
    QCOMPARE(p.includeFiles.items(), std::vector<std::u16string>{u"*"});
    QCOMPARE(p.excludeFiles.items(), (std::vector<std::u16string>{u"a.txt", u"b.txt"}));
    QCOMPARE(p.includeFolders.items(), (std::vector<std::u16string>{u"src", u"docs"}));
    QCOMPARE(p.excludeFolders.items(), std::vector<std::u16string>{u"*"});
    QCOMPARE(p.contentCheck, model::ContentCheckMode::Check);
    QCOMPARE(p.readOnlyMode, model::AttributeMode::Ignore);
    QCOMPARE(p.hiddenMode, model::AttributeMode::CopyOnly);
    QCOMPARE(p.systemMode, model::AttributeMode::Ignore);
    QCOMPARE(p.includeSubfolders, 1);
    QCOMPARE(p.recycleDeleted, 0);
    QCOMPARE(p.enabled, 1);
}

void PairDialogTest::okCutsNameAndPaths()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    edit(dialog, PairOptionsDialog::IdName)->setText("ABCDEFGHIJKLMNOPQRS UVWXY");
    const QString longPath = "/" + QString(300, 'p');
    edit(dialog, PairOptionsDialog::IdOrgPath)->setText(longPath);
    QString longPatterns;
    while (longPatterns.size() < 1100)
        longPatterns += "pattern.x;";
    edit(dialog, PairOptionsDialog::IdExcludeFiles)->setText(longPatterns);
    dialog.accept();

    QVERIFY(f.pair->name == u"ABCDEFGHIJKLMNOPQRS");
    QCOMPARE(f.pair->orgPath.size(), std::size_t(259));
    QVERIFY(QString::fromStdU16String(f.pair->orgPath) == longPath.left(259));
    // 1022 characters hold 102 whole items and the start of the next.
    QCOMPARE(f.pair->excludeFiles.size(), std::size_t(103));
    QVERIFY(f.pair->excludeFiles.items().back() == u"pa");
}

void PairDialogTest::emptyIncludeListShowsStarAgain()
{
    Fixture f;
    {
        PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
        fillValid(dialog);
        edit(dialog, PairOptionsDialog::IdIncludeFiles)->setText(";");
        dialog.accept();
        QCOMPARE(dialog.result(), 1);
    }
    QVERIFY(f.pair->includeFiles.empty());
    PairOptionsDialog again(f.job, *f.pair, f.messages, nullptr);
    QCOMPARE(edit(again, PairOptionsDialog::IdIncludeFiles)->text(), QString("*"));
    QCOMPARE(edit(again, PairOptionsDialog::IdName)->text(), QString("Docs"));
}

void PairDialogTest::cancelWritesNothing()
{
    Fixture f;
    f.pair->name = u"Kept";
    f.pair->orgPath = u"/a";
    f.pair->tgtPath = u"/b";
    const model::FolderPair before = *f.pair;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    button(dialog, PairOptionsDialog::IdSynchronize)->click();
    edit(dialog, PairOptionsDialog::IdExcludeFiles)->setText("x");
    button(dialog, PairOptionsDialog::IdIncludeSubfolders)->click();
    button(dialog, PairOptionsDialog::IdReadOnlyCopyOnly)->click();
    qobject_cast<QPushButton*>(dialog.control(PairOptionsDialog::IdCancel))->click();
    QCOMPARE(dialog.result(), PairOptionsDialog::kResultCancel);
    QVERIFY(*f.pair == before);
    QVERIFY(f.messages.shown.empty());
}

void PairDialogTest::closeResults()
{
    Fixture f;
    const model::FolderPair before = *f.pair;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), 2);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.close();
    QCOMPARE(dialog.result(), 2);
    QVERIFY(*f.pair == before);
}

void PairDialogTest::methodChoiceSetsEnabledStatesAndKeepsTicks_data()
{
    QTest::addColumn<int>("methodId");
    QTest::addColumn<bool>("recycleEnabled");
    QTest::addColumn<bool>("contentEnabled");
    QTest::newRow("Light Copy") << 1002 << false << false;
    QTest::newRow("Update Copy") << 1003 << false << false;
    QTest::newRow("Copy") << 1004 << false << true;
    QTest::newRow("Absolute Copy") << 1005 << true << true;
    QTest::newRow("Synchronize") << 1006 << false << false;
}

void PairDialogTest::methodChoiceSetsEnabledStatesAndKeepsTicks()
{
    QFETCH(int, methodId);
    QFETCH(bool, recycleEnabled);
    QFETCH(bool, contentEnabled);
    Fixture f;
    f.pair->method = model::SyncMethod::AbsoluteCopy;
    f.pair->contentCheck = model::ContentCheckMode::NotCheck;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    QTest::mouseClick(button(dialog, methodId), Qt::LeftButton);
    QVERIFY(button(dialog, methodId)->isChecked());
    QCOMPARE(qobject_cast<QLabel*>(dialog.control(PairOptionsDialog::IdDescription))->text(),
             ui::loadString(40015 + methodId - 1002));
    QCOMPARE(button(dialog, PairOptionsDialog::IdRecycleDeleted)->isEnabled(), recycleEnabled);
    for (int id : {PairOptionsDialog::IdCheck, PairOptionsDialog::IdNotCheck, PairOptionsDialog::IdAuto})
        QCOMPARE(button(dialog, id)->isEnabled(), contentEnabled);
    QVERIFY(button(dialog, PairOptionsDialog::IdRecycleDeleted)->isChecked());
    QVERIFY(button(dialog, PairOptionsDialog::IdNotCheck)->isChecked());
}

void PairDialogTest::disabledRecycleTickIsStored()
{
    Fixture f;
    f.pair->method = model::SyncMethod::AbsoluteCopy;
    f.pair->contentCheck = model::ContentCheckMode::Check;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    button(dialog, PairOptionsDialog::IdLightCopy)->click();
    QVERIFY(!button(dialog, PairOptionsDialog::IdRecycleDeleted)->isEnabled());
    dialog.accept();
    QCOMPARE(f.pair->method, model::SyncMethod::LightCopy);
    QCOMPARE(f.pair->recycleDeleted, 1);
    QCOMPARE(f.pair->contentCheck, model::ContentCheckMode::Check);
}

void PairDialogTest::includeSubfoldersEnablesFolderBoxes()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    auto* box = button(dialog, PairOptionsDialog::IdIncludeSubfolders);
    auto* include = edit(dialog, PairOptionsDialog::IdIncludeFolders);
    auto* exclude = edit(dialog, PairOptionsDialog::IdExcludeFolders);
    exclude->setText("cache");
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!box->isChecked());
    QVERIFY(!include->isEnabled());
    QVERIFY(!exclude->isEnabled());
    QCOMPARE(exclude->text(), QString("cache"));
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(include->isEnabled());
    QVERIFY(exclude->isEnabled());

    fillValid(dialog);
    box->click();
    dialog.accept();
    QCOMPARE(f.pair->includeSubfolders, 0);
    QCOMPARE(f.pair->excludeFolders.items(), std::vector<std::u16string>{u"cache"});
}

void PairDialogTest::overlap_data()
{
    QTest::addColumn<QString>("org");
    QTest::addColumn<QString>("tgt");
    QTest::addColumn<bool>("overlaps");
    QTest::newRow("inside, other case") << "/Data"
                                        << "/data/backup" << true;
    QTest::newRow("name prefix only, other case") << "/Data"
                                                  << "/data2" << false;
    QTest::newRow("same with a trailing separator") << "/Data/"
                                                    << "/Data" << true;
    QTest::newRow("posix inside") << "/data"
                                  << "/data/backup" << true;
    QTest::newRow("posix ORG inside TGT") << "/data/backup/x"
                                          << "/data/backup" << true;
    QTest::newRow("posix name prefix only") << "/data"
                                            << "/data2" << false;
    QTest::newRow("posix spaces trimmed") << "  /data  "
                                          << "/data/" << true;
    QTest::newRow("posix siblings") << "/home/a"
                                    << "/home/b" << false;
    QTest::newRow("root holds everything") << "/"
                                           << "/srv" << true;
    QTest::newRow("non-ASCII letters ignore case") << "/\u00C4rger"
                                                   << "/\u00E4rger/x" << true;
    // Dots and doubled slashes are resolved on the text, as the runner resolves them.
    QTest::newRow("dot") << "/a/./b"
                         << "/a/b" << true;
    QTest::newRow("dot-dot to the folder itself") << "/data/../x"
                                                  << "/x" << true;
    QTest::newRow("dot-dot to a folder above") << "/a/x/../b"
                                               << "/a/b/c" << true;
    QTest::newRow("doubled slash") << "/a//b"
                                   << "/a/b/c" << true;
    QTest::newRow("dot-dot away from the other") << "/data/../x"
                                                 << "/data" << false;
}

// The dialog's OK refuses exactly the pairs whose folders overlap, whichever box holds which.
void PairDialogTest::overlap()
{
    QFETCH(QString, org);
    QFETCH(QString, tgt);
    QFETCH(bool, overlaps);
    for (const auto& [first, second] : {std::pair{org, tgt}, std::pair{tgt, org}}) {
        Fixture f;
        PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
        fillValid(dialog);
        edit(dialog, PairOptionsDialog::IdOrgPath)->setText(first);
        edit(dialog, PairOptionsDialog::IdTgtPath)->setText(second);
        dialog.accept();
        if (!overlaps) {
            QVERIFY(f.messages.shown.empty());
            QCOMPARE(dialog.result(), PairOptionsDialog::kResultOk);
            continue;
        }
        QCOMPARE(f.messages.shown.size(), std::size_t(1));
        QCOMPARE(f.messages.shown[0].text, QString("ORG path and TGT path cannot be overlapped."));
        QVERIFY(f.pair->orgPath.empty());
    }
}

void PairDialogTest::helpTextPerControl()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ui::TooltipWindow* tip = dialog.tooltipWindow();
    QVERIFY(!tip->isVisible());

    // A label has no number and no help: the request goes to the dialog, which has none.
    QLabel* label = nullptr;
    for (auto* candidate : dialog.findChildren<QLabel*>()) {
        if (candidate->text() == "Pair Name")
            label = candidate;
    }
    QVERIFY(label != nullptr);
    QHelpEvent onLabel(QEvent::WhatsThis, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(label, &onLabel);
    QVERIFY(!tip->isVisible());
    QVERIFY(tip->tipText().isEmpty());

    QWidget* subfolders = dialog.control(PairOptionsDialog::IdIncludeSubfolders);
    const QPoint at = subfolders->mapToGlobal(QPoint(3, 3));
    QHelpEvent onBox(QEvent::WhatsThis, QPoint(3, 3), at);
    QApplication::sendEvent(subfolders, &onBox);
    QVERIFY(tip->isVisible());
    QCOMPARE(tip->tipText(), QString("Recursively expand all subfolders and do jobs to them."));
    QCOMPARE(tip->pos(), QPoint(at.x(), at.y() + 21));

    // F1 asks about the focused control.
    tip->hide();
    dialog.activateWindow();
    dialog.control(PairOptionsDialog::IdOrgPath)->setFocus();
    QTest::keyClick(dialog.control(PairOptionsDialog::IdOrgPath), Qt::Key_F1);
    QCOMPARE(tip->tipText(), QString("The selected original path."));
    QVERIFY(tip->isVisible());

    // What's This mode: the clicked control's help at the click.
    tip->hide();
    QWhatsThis::enterWhatsThisMode();
    QVERIFY(QWhatsThis::inWhatsThisMode());
    QWidget* recycle = dialog.control(PairOptionsDialog::IdRecycleDeleted);
    QTest::mouseClick(recycle, Qt::LeftButton, {}, QPoint(4, 4));
    QCoreApplication::processEvents();
    QVERIFY(!QWhatsThis::inWhatsThisMode());
    QCOMPARE(
        tip->tipText(),
        QString(
            "Take the deleted files, and the old versions of the files a run replaces, to the recycle bin."));
    QVERIFY(tip->isVisible());
    // The click asked for help and did not toggle the box.
    QVERIFY(button(dialog, PairOptionsDialog::IdRecycleDeleted)->isChecked());

    // The description label is numbered and has help of its own.
    QVERIFY(!ui::loadString(PairOptionsDialog::IdDescription).isEmpty());
    QCOMPARE(dialog.control(PairOptionsDialog::IdDescription)->property("controlId").toInt(), 1028);
}

void PairDialogTest::tabOrder()
{
    Fixture f;
    f.pair->method = model::SyncMethod::AbsoluteCopy;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // Only the ticked button of each radio group is a tab stop.
    QList<int> stops;
    QWidget* w = dialog.control(PairOptionsDialog::IdName);
    for (int guard = 0; guard < 200; ++guard) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible())
            stops << w->property("controlId").toInt();
        w = w->nextInFocusChain();
        if (w == dialog.control(PairOptionsDialog::IdName))
            break;
    }
    const QList<int> expected = {1031, 1005, 1007, 1009, 1008, 1010, 1011, 1027, 1012,
                                 1029, 1015, 1016, 1019, 1022, 1025, 1026, 1,    2};
    QCOMPARE(stops, expected);
}

void PairDialogTest::browseButtonsFillThePathBoxes()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    QString askedWith;
    std::optional<QString> answer = QString("/chosen/folder");
    dialog.setFolderChooser([&](QWidget*, const QString& current) {
        askedWith = current;
        return answer;
    });
    edit(dialog, PairOptionsDialog::IdTgtPath)->setText("/start");
    button(dialog, PairOptionsDialog::IdBrowseTgt)->click();
    QCOMPARE(askedWith, QString("/start"));
    QCOMPARE(edit(dialog, PairOptionsDialog::IdTgtPath)->text(), QString("/chosen/folder"));

    answer.reset();
    button(dialog, PairOptionsDialog::IdBrowseOrg)->click();
    QCOMPARE(edit(dialog, PairOptionsDialog::IdOrgPath)->text(), QString());
}

void PairDialogTest::tipLetsThroughTheClickThatHidesItAndConsumesTheKey()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ui::TooltipWindow* tip = dialog.tooltipWindow();
    QWindow* window = dialog.windowHandle();
    const auto showTip = [&] {
        dialog.showControlHelp(PairOptionsDialog::IdIncludeSubfolders, dialog.mapToGlobal(QPoint(10, 10)));
        QVERIFY(tip->isVisible());
        // No popup: on X11 a popup's grab eats the press that closes it, whatever this platform
        // does with it.
        QVERIFY(QApplication::activePopupWidget() == nullptr);
    };
    // Through the window system, as a user's click arrives; a grabbing tip would take it.
    const auto clickOn = [&](int id) {
        QWidget* control = dialog.control(id);
        QTest::mouseClick(window, Qt::LeftButton, {}, control->mapTo(&dialog, control->rect().center()));
    };

    showTip();
    clickOn(PairOptionsDialog::IdIncludeSubfolders);
    QVERIFY(!tip->isVisible());
    QVERIFY(!button(dialog, PairOptionsDialog::IdIncludeSubfolders)->isChecked());

    // The key that hides the tip does nothing else: no letter typed, no Cancel, no OK, no new
    // tip, no mnemonic. The next key is the dialog's again.
    int moreOptionsOpened = 0;
    dialog.setMoreOptionsEditor([&](QWidget*, const model::PairExtras&, bool) {
        ++moreOptionsOpened;
        return std::optional<model::PairExtras>();
    });
    edit(dialog, PairOptionsDialog::IdName)->setFocus();
    const struct
    {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{Qt::Key_X, Qt::NoModifier},      {Qt::Key_Escape, Qt::NoModifier},
                {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
                {Qt::Key_F1, Qt::NoModifier},     {Qt::Key_M, Qt::AltModifier}};
    for (const auto& [key, modifiers] : keys) {
        showTip();
        QTest::keyClick(window, key, modifiers);
        QVERIFY2(!tip->isVisible(), qPrintable(QKeySequence(key | modifiers).toString()));
        QVERIFY2(dialog.isVisible() && dialog.result() == 0,
                 qPrintable(QKeySequence(key | modifiers).toString()));
        QCOMPARE(edit(dialog, PairOptionsDialog::IdName)->text(), QString("Docs"));
        QCOMPARE(moreOptionsOpened, 0);
    }
    QTest::keyClick(window, Qt::Key_X);
    QCOMPARE(edit(dialog, PairOptionsDialog::IdName)->text(), QString("Docsx"));

    showTip();
    clickOn(PairOptionsDialog::IdOk);
    QVERIFY(!tip->isVisible());
    QCOMPARE(dialog.result(), PairOptionsDialog::kResultOk);
    QCOMPARE(f.pair->name, std::u16string(u"Docsx"));
}

void PairDialogTest::arrowKeysWrapWithinARadioGroup_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("to");
    QTest::newRow("down from the last method wraps to the first")
        << int(PairOptionsDialog::IdSynchronize) << int(Qt::Key_Down) << int(PairOptionsDialog::IdLightCopy);
    QTest::newRow("up from the first method wraps to the last")
        << int(PairOptionsDialog::IdLightCopy) << int(Qt::Key_Up) << int(PairOptionsDialog::IdSynchronize);
    QTest::newRow("down between methods")
        << int(PairOptionsDialog::IdUpdateCopy) << int(Qt::Key_Down) << int(PairOptionsDialog::IdCopy);
    QTest::newRow("left from Auto wraps to Not Check")
        << int(PairOptionsDialog::IdAuto) << int(Qt::Key_Left) << int(PairOptionsDialog::IdNotCheck);
    QTest::newRow("right from Ignore wraps to Involve, same row")
        << int(PairOptionsDialog::IdHiddenIgnore) << int(Qt::Key_Right)
        << int(PairOptionsDialog::IdHiddenInvolve);
}

void PairDialogTest::arrowKeysWrapWithinARadioGroup()
{
    QFETCH(int, from);
    QFETCH(int, key);
    QFETCH(int, to);
    Fixture f;
    f.pair->method = model::SyncMethod::Copy; // the content-check buttons are enabled
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    button(dialog, from)->click();
    button(dialog, from)->setFocus();
    QTest::keyClick(dialog.control(from), Qt::Key(key));
    QCOMPARE(dialog.focusWidget(), dialog.control(to));
    QVERIFY(button(dialog, to)->isChecked());
    QVERIFY(!button(dialog, from)->isChecked());
    // A method reached by the keys shows its description as a click would.
    if (to >= PairOptionsDialog::IdLightCopy && to <= PairOptionsDialog::IdSynchronize) {
        const auto* description = qobject_cast<QLabel*>(dialog.control(PairOptionsDialog::IdDescription));
        QCOMPARE(description->text(), ui::loadString(40015 + to - PairOptionsDialog::IdLightCopy));
    }
}

void PairDialogTest::rightClickOffersWhatsThis_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("help");
    QTest::addColumn<bool>("editItemsToo");
    QTest::newRow("check box") << int(PairOptionsDialog::IdIncludeSubfolders)
                               << QString("Recursively expand all subfolders and do jobs to them.") << false;
    QTest::newRow("radio button") << int(PairOptionsDialog::IdSynchronize)
                                  << QString("Select the method: Synchronize") << false;
    QTest::newRow("edit box, above its own items")
        << int(PairOptionsDialog::IdOrgPath) << QString("The selected original path.") << true;
    QTest::newRow("push button") << int(PairOptionsDialog::IdCancel)
                                 << QString("Close the dialog box and cancel the changes.") << false;
}

void PairDialogTest::rightClickOffersWhatsThis()
{
    QFETCH(int, id);
    QFETCH(QString, help);
    QFETCH(bool, editItemsToo);
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* control = dialog.control(id);
    const QPoint at = control->mapToGlobal(QPoint(3, 3));
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(3, 3), at);
    QApplication::sendEvent(control, &rightClick);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    QCOMPARE(menu->actions().first()->text(), QString("What's &This?"));
    QCOMPARE(menu->actions().size() > 2, editItemsToo);

    menu->actions().first()->trigger();
    menu->close();
    // The window manager gives the focus back to the dialog; this platform has none.
    dialog.activateWindow();
    QTRY_VERIFY(dialog.tooltipWindow()->isVisible());
    QTest::qWait(300);
    QVERIFY(dialog.tooltipWindow()->isVisible());
    QCOMPARE(dialog.tooltipWindow()->tipText(), help);

    // A label has no help, so it offers none.
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->text() != "Pair Name")
            continue;
        QContextMenuEvent onLabel(QContextMenuEvent::Mouse, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(label, &onLabel);
        QVERIFY(QApplication::activePopupWidget() == nullptr);
    }
}

// More... takes the free space left of OK, with the gap OK keeps to Cancel; nothing else moves
// and it covers no other control.
void PairDialogTest::moreButtonSitsLeftOfOkWithoutMovingIt()
{
    Fixture f;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    const ui::DialogBaseUnits units = dialog.baseUnits();
    QWidget* more = dialog.control(PairOptionsDialog::IdMore);
    QVERIFY(more != nullptr);
    QCOMPARE(qobject_cast<QPushButton*>(more)->text(), QString("&More..."));
    QCOMPARE(more->geometry(), ui::dialogRectToPixels(QRect(189, 189, 35, 12), units));
    QCOMPARE(dialog.control(PairOptionsDialog::IdOk)->geometry(),
             ui::dialogRectToPixels(QRect(229, 189, 35, 12), units));
    QCOMPARE(dialog.control(PairOptionsDialog::IdCancel)->geometry(),
             ui::dialogRectToPixels(QRect(269, 189, 36, 12), units));
    QVERIFY(QRect(QPoint(0, 0), dialog.size()).contains(more->geometry()));
    for (QWidget* other : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != more && other->isWindowType() == false && other->inherits("QAbstractButton"))
            QVERIFY2(!other->geometry().intersects(more->geometry()), qPrintable(other->objectName()));
    }
    QVERIFY(!qobject_cast<QPushButton*>(more)->autoDefault());
    QVERIFY(!ui::loadString(PairOptionsDialog::IdMore).isEmpty());
}

// More... edits a copy; only OK gives the pair the options (and, with the first option, an
// id it keeps); Cancel of either dialog leaves the pair as it was.
void PairDialogTest::moreOptionsReachThePairOnlyThroughOk()
{
    Fixture f;
    f.pair->method = model::SyncMethod::Synchronize;
    f.pair->name = u"Docs";
    f.pair->orgPath = u"/data/docs";
    f.pair->tgtPath = u"/backup/docs";
    f.pair->extras.keepDays = 9;
    model::PairExtras chosen;
    chosen.rememberState = true;
    chosen.conflictPolicy = model::ConflictPolicy::OrgWins;
    chosen.versionsFolder = "/backup/versions";
    chosen.keepVersions = 4;
    std::optional<model::PairExtras> answer;
    model::PairExtras shownWith;
    bool shownForSynchronize = false;
    const auto editor = [&](QWidget*, const model::PairExtras& extras, bool synchronize) {
        shownWith = extras;
        shownForSynchronize = synchronize;
        return answer;
    };

    {
        PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
        dialog.setMoreOptionsEditor(editor);
        answer = chosen;
        button(dialog, PairOptionsDialog::IdMore)->click();
        QCOMPARE(shownWith.keepDays, 9u);
        QVERIFY(shownForSynchronize);
        QVERIFY(dialog.pendingExtras() == chosen);
        QCOMPARE(f.pair->extras.keepDays, 9u);
        dialog.reject();
        QCOMPARE(f.pair->extras.keepDays, 9u);
        QVERIFY(!f.pair->extras.rememberState);
    }
    model::PairId id{};
    {
        PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
        dialog.setMoreOptionsEditor(editor);
        button(dialog, PairOptionsDialog::IdMore)->click();
        answer.reset(); // a cancelled second visit keeps what the first gave
        button(dialog, PairOptionsDialog::IdMore)->click();
        QVERIFY(dialog.pendingExtras() == chosen);
        button(dialog, PairOptionsDialog::IdOk)->click();
        QCOMPARE(dialog.result(), PairOptionsDialog::kResultOk);
        QVERIFY(f.messages.shown.empty());
        QVERIFY(f.pair->extras.hasPairId());
        id = f.pair->extras.pairId;
        model::PairExtras expected = chosen;
        expected.pairId = id;
        QVERIFY(f.pair->extras == expected);
    }
    {
        PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
        answer = model::PairExtras{};
        dialog.setMoreOptionsEditor(editor);
        button(dialog, PairOptionsDialog::IdLightCopy)->click();
        button(dialog, PairOptionsDialog::IdMore)->click();
        QVERIFY(!shownForSynchronize);
        button(dialog, PairOptionsDialog::IdOk)->click();
        QCOMPARE(dialog.result(), PairOptionsDialog::kResultOk);
        QVERIFY(!f.pair->extras.hasOptions());
        QCOMPARE(f.pair->extras.pairId, id);
    }
}

void PairDialogTest::okRefusesMoreOptionsThatDoNotFit_data()
{
    QTest::addColumn<int>("method");
    QTest::addColumn<bool>("remember");
    QTest::addColumn<QString>("versions");
    QTest::addColumn<QString>("message");
    const QString notSync = "Remembering the last run is an option of Synchronize pairs. Turn it off under "
                            "More... or choose Synchronize.";
    const QString inside = "The versions folder cannot lie inside the ORG or TGT path.";
    QTest::newRow("remember with Copy") << 2 << true << "" << notSync;
    QTest::newRow("remember with Absolute Copy") << 3 << true << "/v" << notSync;
    QTest::newRow("versions inside ORG") << 4 << false << "/data/docs/.versions" << inside;
    QTest::newRow("versions inside TGT, other case") << 4 << true << "/Backup/Docs/v" << inside;
    QTest::newRow("versions are TGT") << 2 << false << "/backup/docs" << inside;
    QTest::newRow("versions inside TGT through dot-dot") << 4 << false << "/backup/x/../docs/v" << inside;
    QTest::newRow("fine: beside TGT") << 4 << true << "/backup/docs-versions"
                                      << "";
    QTest::newRow("fine: above TGT") << 4 << true << "/backup"
                                     << "";
}

void PairDialogTest::okRefusesMoreOptionsThatDoNotFit()
{
    QFETCH(int, method);
    QFETCH(bool, remember);
    QFETCH(QString, versions);
    QFETCH(QString, message);
    Fixture f;
    const model::FolderPair before = *f.pair;
    PairOptionsDialog dialog(f.job, *f.pair, f.messages, nullptr);
    fillValid(dialog);
    model::PairExtras extras;
    extras.rememberState = remember;
    extras.versionsFolder = versions.toStdString();
    dialog.setMoreOptionsEditor([&](QWidget*, const model::PairExtras&, bool) { return extras; });
    button(dialog, PairOptionsDialog::IdLightCopy + method)->click();
    button(dialog, PairOptionsDialog::IdMore)->click();
    button(dialog, PairOptionsDialog::IdOk)->click();
    if (message.isEmpty()) {
        QVERIFY(f.messages.shown.empty());
        QCOMPARE(dialog.result(), PairOptionsDialog::kResultOk);
        QCOMPARE(f.pair->extras.versionsFolder, versions.toStdString());
        return;
    }
    QCOMPARE(f.messages.shown.size(), std::size_t(1));
    QCOMPARE(f.messages.shown[0].text, message);
    QCOMPARE(dialog.focusWidget(), dialog.control(PairOptionsDialog::IdMore));
    QVERIFY(*f.pair == before);
}

QTEST_MAIN(PairDialogTest)
#include "pair_dialog_test.moc"
