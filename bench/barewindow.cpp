// The start-up baseline: a bare main window of the browser's size showing
// one line of Japanese text (so that it pays for the same font lookup as any
// Japanese interface), ending at once after its first paint, as Velmora does
// with VELMORA_EXIT_AFTER_FIRST_PAINT.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

class QuitOnFirstPaint : public QObject {
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            QTimer::singleShot(0, qApp, [] {
                std::fflush(nullptr);
                std::_Exit(0);
            });
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QMainWindow window;
    const QStringList args = QCoreApplication::arguments();
    window.resize(args.size() > 2 ? QSize(args[1].toInt(), args[2].toInt()) : QSize(640, 480));
    auto *text = new QLabel(QStringLiteral("画像ファイルを選んでください"));
    window.setCentralWidget(text);
    QuitOnFirstPaint quit;
    window.installEventFilter(&quit);
    window.show();
    return QApplication::exec();
}
