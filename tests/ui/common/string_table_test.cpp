// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/string_table.h"

#include <QTest>

using tavrel::ui::loadString;

class StringTableTest : public QObject
{
    Q_OBJECT

private slots:
    void knownIds_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("text");
        QTest::newRow("tip of New") << 40001 << "Create a new job";
        QTest::newRow("tip of Save As") << 40021 << "Save the current job as...";
        QTest::newRow("tip of Execute") << 40012 << "Run this job";
        QTest::newRow("tip of Preview") << 40022 << "Show what Execute would do, changing nothing";
        QTest::newRow("tip of Schedule")
            << 40023 << "Run the saved job by a timer or at login, without the window";
        QTest::newRow("help of the recycle switch names replaced files too")
            << 1026
            << "Take the deleted files, and the old versions of the files a run replaces, to the recycle "
               "bin.";
        QTest::newRow("tip of View Report") << 1032 << "View the previous process report";
        QTest::newRow("tip of Content") << 40013 << "Display the table of the content for the documentation";
        QTest::newRow("help of OK") << 1 << "Close the dialog box and apply the changes.";
        QTest::newRow("help of Include subfolders")
            << 1025 << "Recursively expand all subfolders and do jobs to them.";
        QTest::newRow("help of folders to include keeps its double space")
            << 1027
            << "Specify the included folders. If * is specified, all folders are inivolved.  Use ; to "
               "separate items.";
        QTest::newRow("help of the name box")
            << 1031
            << "The pair name will be displayed on the list control in the main window. 20 chars at most.";
        QTest::newRow("Light Copy description")
            << 40015
            << "Copy files from ORG to TGT which do not exist in TGT. There will be no change to the "
               "existent "
               "files. ORG keeps no change. This operation is very safe because no existent files will be "
               "changed or deleted. It is faster than other operations.";
        QTest::newRow("Absolute Copy description keeps its double space")
            << 40018
            << "This operation makes TGT absolutly be equal to ORG. It will delete the TGT files which ORG "
               "doesn't  have. ORG keeps no change. This operation has great risks. Besides all TGT files "
               "will be replaced by ORG files, some TGT files will be deleted to make the TGT absolute be "
               "the same as ORG. So keep your eyes open when you choose this option.";
    }

    void knownIds()
    {
        QFETCH(int, id);
        QFETCH(QString, text);
        QCOMPARE(loadString(id), text);
    }

    void unknownIdsGiveEmptyText_data()
    {
        QTest::addColumn<int>("id");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("a label between help texts") << 1030;
        QTest::newRow("a missing command number") << 40003;
        QTest::newRow("beyond the table") << 65535;
    }

    void unknownIdsGiveEmptyText()
    {
        QFETCH(int, id);
        QVERIFY(loadString(id).isEmpty());
    }

    void everyControlHelpExists()
    {
        const int ids[] = {1,    2,    1002, 1003, 1004, 1005, 1006, 1007,  1008,  1009,  1010,  1011,
                           1012, 1013, 1014, 1015, 1016, 1017, 1018, 1019,  1020,  1021,  1022,  1023,
                           1024, 1025, 1026, 1027, 1028, 1029, 1031, 40015, 40016, 40017, 40018, 40019};
        for (int id : ids)
            QVERIFY2(!loadString(id).isEmpty(), qPrintable(QString::number(id)));
    }
};

QTEST_GUILESS_MAIN(StringTableTest)
#include "string_table_test.moc"
