// Renders a WMF or EMF file to PNG with Velmora's own players, for
// comparing against other renderers (see compare_metafiles.sh).
//   render_picture <input> <output.png> [WIDTHxHEIGHT | maxN]
// maxN renders at the natural size shrunk to fit N x N pixels.
// Prints "extent_w extent_h natural_w natural_h milliseconds" on success.
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>

#include "platform/metafile/metafile.h"
#include "platform/runtimeerror.h"

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: render_picture <input> <output.png> [WIDTHxHEIGHT | maxN]\n");
        return 2;
    }
    QFile file(args[1]);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(args[1]));
        return 2;
    }
    const QByteArray data = file.read(256 * 1024 * 1024);
    try {
        const auto picture = vm::looksLikeEmf(data) ? vm::openEmf(data) : vm::openWmf(data);
        QSize size = picture->naturalSize();
        if (args.size() > 3 && args[3].startsWith(QLatin1String("max"))) {
            const int limit = args[3].mid(3).toInt();
            if (limit > 0 && (size.width() > limit || size.height() > limit))
                size = size.scaled(limit, limit, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        } else if (args.size() > 3) {
            const QStringList parts = args[3].split(QLatin1Char('x'));
            if (parts.size() == 2)
                size = QSize(parts[0].toInt(), parts[1].toInt());
        }
        QElapsedTimer clock;
        clock.start();
        const QImage image = picture->render(size);
        const qint64 ms = clock.elapsed();
        if (!image.save(args[2], "PNG"))
            return 3;
        QTextStream(stdout) << picture->extentHimetric().width() << ' ' << picture->extentHimetric().height()
                            << ' ' << size.width() << ' ' << size.height() << ' ' << ms << '\n';
    } catch (const vm::RuntimeError &e) {
        std::fprintf(stderr, "error %d\n", e.Number());
        return 1;
    }
    return 0;
}
