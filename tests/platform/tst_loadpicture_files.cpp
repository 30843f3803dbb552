// What LoadPicture does with names that do not lead to a readable picture
// file, and that it chooses the format by content, not by name.
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/loaderfixtures.h"
#include "platform/picture.h"
#include "platform/runtimeerror.h"

using vm::Err;

namespace {

// The error number LoadPicture raises, or 0 when it loads.
int loadError(const QString &name)
{
    try {
        vm::LoadPicture(name);
    } catch (const vm::RuntimeError &e) {
        return e.Number();
    }
    return 0;
}

QByteArray smallBmp()
{
    vmtest::Bmp bmp;
    bmp.width = 2;
    bmp.height = 1;
    bmp.rows = QByteArray("\x00\x00\xff\x00\xff\x00\x00\x00", 8); // red, green, padding
    return bmp.bytes();
}

} // namespace

Q_DECLARE_METATYPE(Err)

class TestLoadPictureFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void unusableNameFailsWithItsOwnError_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Err>("error");
        QDir().mkpath(m_dir.filePath(QStringLiteral("folder.bmp")));
        QTest::newRow("empty name") << QString() << Err::BadFileName;
        QTest::newRow("missing file") << m_dir.filePath(QStringLiteral("nothing.bmp")) << Err::FileNotFound;
        QTest::newRow("missing folder")
            << m_dir.filePath(QStringLiteral("no/such/x.bmp")) << Err::PathNotFound;
        QTest::newRow("file used as folder")
            << vmtest::writeFile(m_dir, QStringLiteral("plain.bmp"), smallBmp()) + QStringLiteral("/x.bmp")
            << Err::PathNotFound;
        QTest::newRow("folder") << m_dir.filePath(QStringLiteral("folder.bmp")) << Err::IsFolder;
        QTest::newRow("name with NUL") << QStringLiteral("a\0b.bmp") << Err::BadFileName;
    }

    void unusableNameFailsWithItsOwnError()
    {
        QFETCH(QString, name);
        QFETCH(Err, error);
        QCOMPARE(loadError(name), int(error));
    }

    void contentDecidesTheFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("error");
        QImage png(4, 4, QImage::Format_RGB32);
        png.fill(Qt::red);
        QBuffer pngBytes;
        pngBytes.open(QIODevice::WriteOnly);
        png.save(&pngBytes, "PNG");
        QTest::newRow("bitmap named .gif") << "bitmap.gif" << smallBmp() << 0;
        QTest::newRow("bitmap named .rle") << "bitmap.rle" << smallBmp() << 0;
        QTest::newRow("bitmap with no extension") << "bitmap" << smallBmp() << 0;
        QTest::newRow("PNG named .jpg") << "png.jpg" << pngBytes.data() << int(Err::InvalidPicture);
        QTest::newRow("text named .bmp")
            << "text.bmp" << QByteArray("hello, world\n") << int(Err::InvalidPicture);
        QTest::newRow("empty file") << "empty.jpg" << QByteArray() << int(Err::InvalidPicture);
        QTest::newRow("bitmap signature only") << "short.bmp" << QByteArray("BM") << int(Err::DamagedPicture);
    }

    void contentDecidesTheFormat()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, error);
        const QString path = vmtest::writeFile(m_dir, name, bytes);
        QVERIFY(!path.isEmpty());
        QCOMPARE(loadError(path), error);
    }

    void onlyRegularFilesAreOpened_data()
    {
        QTest::addColumn<QString>("name");
        const QString fifo = m_dir.filePath(QStringLiteral("pipe.bmp"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zero = m_dir.filePath(QStringLiteral("x.bmp"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));
        QTest::newRow("FIFO without a writer") << fifo;
        QTest::newRow("/dev/zero behind x.bmp") << zero;
        QTest::newRow("/dev/null") << QStringLiteral("/dev/null");
    }

    void onlyRegularFilesAreOpened()
    {
        QFETCH(QString, name);
        // A blocking open or an endless read would hang here; CTest's
        // timeout is the guard.
        QCOMPARE(loadError(name), int(Err::NotARegularFile));
    }

    void unreadableFileIsAccessDenied()
    {
        const QString path = vmtest::writeFile(m_dir, QStringLiteral("secret.bmp"), smallBmp());
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        if (::geteuid() != 0) {
            QCOMPARE(loadError(path), int(Err::PermissionDenied));
            return;
        }
        // Root reads everything: try as an ordinary user in a child process.
        QVERIFY(QFile::setPermissions(m_dir.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                | QFileDevice::ExeOther));
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(100);
            ::_exit(loadError(path) == int(Err::PermissionDenied) ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 100)
            QSKIP("cannot drop privileges here");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void fileOverTheSizeCapIsRefusedUnread()
    {
        // Sparse: costs no disk, but reading it whole would take 600 MB.
        const QString path = vmtest::writeFile(m_dir, QStringLiteral("huge.bmp"), smallBmp());
        QFile file(path);
        QVERIFY(file.resize(qint64(600) * 1024 * 1024));
        QCOMPARE(loadError(path), int(Err::PictureTooLarge));
    }

    void readableFileLoads()
    {
        const QString path = vmtest::writeFile(m_dir, QStringLiteral("ok.bmp"), smallBmp());
        const vm::Picture picture = vm::LoadPicture(path);
        QCOMPARE(picture.pixelSize(), QSize(2, 1));
        QCOMPARE(picture.image().pixel(0, 0), qRgb(255, 0, 0));
        QCOMPARE(picture.image().pixel(1, 0), qRgb(0, 255, 0));
    }

    void copiesShareOneRaster()
    {
        const QString path = vmtest::writeFile(m_dir, QStringLiteral("shared.bmp"), smallBmp());
        const vm::Picture picture = vm::LoadPicture(path);
        const vm::Picture copy = picture; // NOLINT: the copy is the point
        QCOMPARE(copy.image().constBits(), picture.image().constBits());
    }
};

QTEST_GUILESS_MAIN(TestLoadPictureFiles)
#include "tst_loadpicture_files.moc"
