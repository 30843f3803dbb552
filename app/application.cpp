#include "app/application.h"

#include "app/versioninfo.h"
#include "browser/form1.h"
#include "viewer/form2.h"
#include "platform/picture.h"

#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

namespace app {

namespace {
bool haveDisplay()
{
    auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// A measuring hook for the start-up benchmark: with
// VELMORA_EXIT_AFTER_FIRST_PAINT=1 the program ends as soon as the browser
// window has been painted once, at once and without tearing anything down,
// so that only the way to the first paint is timed. It changes nothing else.
class ExitAfterFirstPaint : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, [] {
                std::fflush(nullptr);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};
} // namespace

QByteArray chooseWindowSystem(
    const QByteArray &waylandDisplay, const QByteArray &display, const QByteArray &qpaPlatform)
{
    if (!qpaPlatform.isEmpty() || waylandDisplay.isEmpty() || display.isEmpty())
        return {};
    return QByteArrayLiteral("xcb");
}

void configure(QApplication &application)
{
    QApplication::setApplicationName(QString::fromUtf8(versioninfo::ProductName));
    // No display name: the toolkit would append it to every window title, and
    // the viewer's title is the file name alone.
    QApplication::setApplicationVersion(QString::fromUtf8(versioninfo::ProductVersion));
    QApplication::setDesktopFileName(QStringLiteral("io.velmora.Velmora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/velmora.ico")));
    // The program ends when its last window is unloaded, not when the
    // toolkit sees no visible window (the browser hides while viewing).
    QApplication::setQuitOnLastWindowClosed(false);

    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);

    static QTranslator qtTranslator;
    if (qtTranslator.load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    // One Japanese font for everything: left to itself the toolkit switches
    // fonts in the middle of a line such as "高さ=9.0cm".
    for (const char *family : { "IPAGothic", "IPAPGothic", "Noto Sans CJK JP", "TakaoGothic", "VL Gothic" }) {
        if (QFontDatabase::hasFamily(QString::fromUtf8(family))) {
            QFont font(QString::fromUtf8(family));
            font.setPointSize(9);
            QApplication::setFont(font);
            break;
        }
    }
    Q_UNUSED(application);
}

int run(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fputs(
            "Velmora: 表示できるディスプレイがありません (no display: neither DISPLAY nor WAYLAND_DISPLAY "
            "is set).\nデスクトップで起動するか、仮想ディスプレイで起動してください: xvfb-run -a velmora\n",
            stderr);
        return 2;
    }
    const QByteArray windowSystem
        = chooseWindowSystem(qgetenv("WAYLAND_DISPLAY"), qgetenv("DISPLAY"), qgetenv("QT_QPA_PLATFORM"));
    if (!windowSystem.isEmpty())
        qputenv("QT_QPA_PLATFORM", windowSystem);
    QApplication application(argc, argv);
    configure(application);
    ExitAfterFirstPaint exitAfterFirstPaint;
    if (qEnvironmentVariableIntValue("VELMORA_EXIT_AFTER_FIRST_PAINT") == 1)
        Form1->installEventFilter(&exitAfterFirstPaint);
    Form1.Show();
    const int code = QApplication::exec();
    // End: windows go without their unload procedures.
    Form2.destroy();
    Form1.destroy();
    return code;
}

} // namespace app
