// The program as a process: how it starts, what it tells a user without a
// display, and the identity it carries.
#include "app/application.h"
#include "app/versioninfo.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>
#include <QProcess>
#include <QtTest>

class TestStartup : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withoutADisplayItSaysSoInsteadOfAborting()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        p.setProcessEnvironment(env);
        p.start(QString::fromUtf8(VELMORA_BINARY), {});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("xvfb-run")), qPrintable(err));
        QVERIFY(err.contains(QStringLiteral("ディスプレイ")));
    }

    void startedInAFolderDeletedSinceItStillOpens()
    {
        QTemporaryDir tmp;
        const QString gone = tmp.filePath(QStringLiteral("gone"));
        QVERIFY(QDir().mkpath(gone));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_EXIT_AFTER_FIRST_PAINT"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        // The shell removes the folder it stands in, then becomes the program.
        p.start(QStringLiteral("sh"),
            { QStringLiteral("-c"), QStringLiteral("cd \"$1\" && rmdir \"$1\" && exec \"$2\""),
                QStringLiteral("sh"), gone, QString::fromUtf8(VELMORA_BINARY) });
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(gone));
    }

    void aWaylandSessionRunsThroughXWaylandWhenItCan_data()
    {
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("chosen");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("Wayland with XWayland")
            << QByteArray("wayland-0") << QByteArray(":0") << QByteArray() << QByteArray("xcb");
        QTest::newRow("Wayland without XWayland")
            << QByteArray("wayland-0") << QByteArray() << QByteArray() << QByteArray();
        QTest::newRow("X11 alone") << QByteArray() << QByteArray(":0") << QByteArray() << QByteArray();
        QTest::newRow("the user chose Wayland")
            << QByteArray("wayland-0") << QByteArray(":0") << QByteArray("wayland") << QByteArray();
        QTest::newRow("the user chose offscreen")
            << QByteArray() << QByteArray() << QByteArray("offscreen") << QByteArray();
        QTest::newRow("nothing at all") << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    }
    void aWaylandSessionRunsThroughXWaylandWhenItCan()
    {
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, chosen);
        QFETCH(QByteArray, expected);
        QCOMPARE(app::chooseWindowSystem(wayland, display, chosen), expected);
    }

    void versionInformationIsTheProgramsOwn()
    {
        QCOMPARE(QString::fromUtf8(versioninfo::ProductName), QStringLiteral("Velmora"));
        QCOMPARE(QString::fromUtf8(versioninfo::FileVersionText), QStringLiteral("1.00"));
        QCOMPARE(QString::fromUtf8(versioninfo::OriginalFilename), QStringLiteral("Velmora.exe"));
        QVERIFY(
            QString::fromUtf8(versioninfo::Comments)
                .contains(QStringLiteral("*.bmp;*.ico;*.cur;*.jpg;*.jpe;*.jpeg;*.gif;*.wmf;*.emf;*.rle")));
    }

    void theProgramIconHasBothSizes()
    {
        QImageReader reader(QStringLiteral(":/velmora.ico"));
        QList<QSize> sizes;
        do {
            const QImage img = reader.read();
            QVERIFY(!img.isNull());
            sizes.append(img.size());
        } while (reader.jumpToNextImage());
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(sizes.contains(QSize(16, 16)));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
