// SPDX-License-Identifier: GPL-3.0-or-later
#include "scripted_presenter.h"
#include "ui/pair_dialog/sync_memory_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace tavrel;
using ui::SyncMemoryDialog;
using uitest::ScriptedPresenter;

namespace {

model::PairExtras stored()
{
    model::PairExtras extras;
    extras.rememberState = true;
    extras.conflictPolicy = model::ConflictPolicy::KeepBoth;
    extras.versionsFolder = "/backup/versions";
    extras.keepVersions = 3;
    extras.keepDays = 40;
    extras.pairId[0] = 7;
    return extras;
}

SyncMemoryDialog::FolderChooser noChooser()
{
    return [](QWidget*, const QString&) { return std::optional<QString>(); };
}

} // namespace

class SyncMemoryDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void showsTheStoredOptions();
    void okGivesTheEditedOptionsAndKeepsTheId();
    void rememberingIsOfferedOnlyForSynchronize();
    void okRefusesAVersionsFolderThatIsNotAFullPath_data();
    void okRefusesAVersionsFolderThatIsNotAFullPath();
    void browseFillsTheVersionsFolder();
    void unknownStoredPolicyStaysUnlessOneIsPicked();
};

void SyncMemoryDialogTest::showsTheStoredOptions()
{
    ScriptedPresenter messages;
    SyncMemoryDialog dialog(stored(), true, messages, noChooser(), nullptr);
    QVERIFY(dialog.rememberBox()->isChecked());
    QVERIFY(dialog.rememberBox()->isEnabled());
    QCOMPARE(dialog.conflictBox()->currentIndex(), 1);
    QCOMPARE(dialog.conflictBox()->count(), 4);
    QCOMPARE(dialog.versionsBox()->text(), QString("/backup/versions"));
    QCOMPARE(dialog.keepVersionsBox()->value(), 3);
    QCOMPARE(dialog.keepDaysBox()->value(), 40);
    // 0 reads as what it means.
    dialog.keepVersionsBox()->setValue(0);
    dialog.keepDaysBox()->setValue(0);
    QCOMPARE(dialog.keepVersionsBox()->text(), QString("all"));
    QCOMPARE(dialog.keepDaysBox()->text(), QString("no limit"));
}

void SyncMemoryDialogTest::okGivesTheEditedOptionsAndKeepsTheId()
{
    ScriptedPresenter messages;
    SyncMemoryDialog dialog(stored(), true, messages, noChooser(), nullptr);
    dialog.rememberBox()->click();
    dialog.conflictBox()->setCurrentIndex(3);
    dialog.versionsBox()->setText("  /media/v/./kept/  ");
    dialog.keepVersionsBox()->setValue(100'000);
    dialog.keepDaysBox()->setValue(0);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(messages.shown.empty());
    const model::PairExtras& extras = dialog.extras();
    QVERIFY(!extras.rememberState);
    QCOMPARE(extras.conflictPolicy, model::ConflictPolicy::TgtWins);
    QCOMPARE(extras.versionsFolder, std::string("/media/v/kept"));
    QCOMPARE(extras.keepVersions, 100'000u);
    QCOMPARE(extras.keepDays, 0u);
    QCOMPARE(extras.pairId, stored().pairId);

    SyncMemoryDialog cleared(stored(), true, messages, noChooser(), nullptr);
    cleared.versionsBox()->setText("   ");
    cleared.accept();
    QCOMPARE(cleared.extras().versionsFolder, std::string());
}

void SyncMemoryDialogTest::rememberingIsOfferedOnlyForSynchronize()
{
    ScriptedPresenter messages;
    model::PairExtras extras;
    SyncMemoryDialog dialog(extras, false, messages, noChooser(), nullptr);
    QVERIFY(!dialog.rememberBox()->isEnabled());
    QVERIFY(!dialog.rememberBox()->isChecked());
    QVERIFY(dialog.versionsBox()->isEnabled());
}

void SyncMemoryDialogTest::okRefusesAVersionsFolderThatIsNotAFullPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::newRow("relative") << "versions"
                              << "The versions folder must be a full path.";
    QTest::newRow("dot") << "./v"
                         << "The versions folder must be a full path.";
    QTest::newRow("too long") << "/" + QString(4095, 'v') << "The versions folder is longer than 4095 bytes.";
}

void SyncMemoryDialogTest::okRefusesAVersionsFolderThatIsNotAFullPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, message);
    ScriptedPresenter messages;
    SyncMemoryDialog dialog(stored(), true, messages, noChooser(), nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.versionsBox()->setText(folder);
    dialog.keepDaysBox()->setValue(1);
    dialog.accept();
    QCOMPARE(messages.shown.size(), std::size_t(1));
    QCOMPARE(messages.shown[0].title, QString("ERROR"));
    QCOMPARE(messages.shown[0].text, message);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), dialog.versionsBox());
    QCOMPARE(dialog.extras().keepDays, 40u); // nothing taken from a refused OK
}

void SyncMemoryDialogTest::browseFillsTheVersionsFolder()
{
    ScriptedPresenter messages;
    QString askedWith;
    std::optional<QString> answer = QString("/chosen");
    SyncMemoryDialog dialog(
        stored(), true, messages,
        [&](QWidget*, const QString& current) {
            askedWith = current;
            return answer;
        },
        nullptr);
    dialog.browseButton()->click();
    QCOMPARE(askedWith, QString("/backup/versions"));
    QCOMPARE(dialog.versionsBox()->text(), QString("/chosen"));
    answer.reset();
    dialog.browseButton()->click();
    QCOMPARE(dialog.versionsBox()->text(), QString("/chosen"));
}

void SyncMemoryDialogTest::unknownStoredPolicyStaysUnlessOneIsPicked()
{
    ScriptedPresenter messages;
    model::PairExtras extras = stored();
    extras.conflictPolicy = static_cast<model::ConflictPolicy>(9);
    SyncMemoryDialog kept(extras, true, messages, noChooser(), nullptr);
    kept.accept();
    QCOMPARE(static_cast<int>(kept.extras().conflictPolicy), 9);
    SyncMemoryDialog picked(extras, true, messages, noChooser(), nullptr);
    picked.conflictBox()->setCurrentIndex(2);
    picked.accept();
    QCOMPARE(picked.extras().conflictPolicy, model::ConflictPolicy::OrgWins);
}

QTEST_MAIN(SyncMemoryDialogTest)
#include "sync_memory_dialog_test.moc"
