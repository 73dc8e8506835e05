// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pair_dialog/folder_browser.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using tavrel::ui::FolderBrowser;

class FolderBrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_root.isValid());
        QVERIFY(QDir(m_root.path()).mkpath("alpha/inner"));
        QVERIFY(QDir(m_root.path()).mkpath("beta"));
    }

    void preselectsTheCurrentPath()
    {
        const QString start = m_root.filePath("alpha/inner");
        FolderBrowser browser(start, QFont("Arial"), nullptr);
        QCOMPARE(browser.pathField()->text(), QDir::toNativeSeparators(start));
        QVERIFY(browser.pathField()->isReadOnly());
        QVERIFY(browser.okButton()->isEnabled());
        QCOMPARE(browser.selectedPath(), QDir::toNativeSeparators(start));
        QCOMPARE(browser.size(), QSize(318, 292));
        QCOMPARE(browser.tree()->geometry(), QRect(14, 10, 290, 205));
    }

    void selectionUpdatesThePathField()
    {
        FolderBrowser browser(m_root.filePath("alpha"), QFont("Arial"), nullptr);
        auto* model = qobject_cast<QFileSystemModel*>(browser.tree()->model());
        QVERIFY(model != nullptr);
        const QModelIndex beta = model->index(m_root.filePath("beta"));
        QVERIFY(beta.isValid());
        browser.tree()->setCurrentIndex(beta);
        QCOMPARE(browser.pathField()->text(), QDir::toNativeSeparators(m_root.filePath("beta")));
        QCOMPARE(browser.selectedPath(), QDir::toNativeSeparators(m_root.filePath("beta")));
    }

    void nothingSelectedWithoutAFolder_data()
    {
        QTest::addColumn<QString>("start");
        QTest::newRow("missing folder") << m_root.filePath("missing");
        QTest::newRow("empty box") << QString();
    }

    // Also once shown with the focus in the tree, which makes its first item ("/") current.
    void nothingSelectedWithoutAFolder()
    {
        QFETCH(QString, start);
        FolderBrowser browser(start, QFont("Arial"), nullptr);
        auto* model = qobject_cast<QFileSystemModel*>(browser.tree()->model());
        browser.show();
        QVERIFY(QTest::qWaitForWindowActive(&browser));
        QTRY_VERIFY(model->rowCount(browser.tree()->rootIndex()) > 0);
        browser.tree()->clearFocus();
        browser.tree()->setFocus(Qt::TabFocusReason);
        QVERIFY(browser.tree()->hasFocus());
        QVERIFY2(browser.pathField()->text().isEmpty(), qPrintable(browser.pathField()->text()));
        QVERIFY(!browser.okButton()->isEnabled());
        QVERIFY(browser.selectedPath().isEmpty());

        // A folder the user picks is taken.
        browser.tree()->setCurrentIndex(model->index(m_root.filePath("beta")));
        QCOMPARE(browser.selectedPath(), QDir::toNativeSeparators(m_root.filePath("beta")));
    }

    void okReturnsTheChosenFolder()
    {
        const QString start = m_root.filePath("beta");
        QTimer::singleShot(0, [] {
            if (auto* browser = qobject_cast<FolderBrowser*>(QApplication::activeModalWidget()))
                browser->okButton()->click();
        });
        QTimer::singleShot(2000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        const auto chosen = FolderBrowser::choose(nullptr, start, QFont("Arial"));
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, QDir::toNativeSeparators(start));
    }

    void cancelReturnsNothing()
    {
        QTimer::singleShot(0, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        QVERIFY(!FolderBrowser::choose(nullptr, m_root.path(), QFont("Arial")).has_value());
    }

private:
    QTemporaryDir m_root;
};

QTEST_MAIN(FolderBrowserTest)
#include "folder_browser_test.moc"
