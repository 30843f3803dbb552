#include "platform/form.h"

#include "platform/controls/devicepixels.h"
#include "platform/eventbinding.h"
#include "platform/readahead.h"
#include "platform/runtime.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QWindow>

namespace vm {

Form::Form(QWidget *parent)
    : QMainWindow(parent)
{
}

Form::~Form() = default;

void Form::setVisible(bool visible)
{
    // A window manager places a window afresh each time it is mapped, unless
    // the program says where: the browser would come back from the viewer in
    // the corner. Saying "where it was" keeps it where the user left it.
    if (!visible && isVisible())
        m_hiddenAt = frameGeometry().topLeft();
    else if (visible && !isVisible() && m_hiddenAt) {
        move(*m_hiddenAt);
        // Moving to where Qt thinks the window still is changes nothing for
        // the window system; the native window must be told it has a place.
        if (QWindow *native = windowHandle())
            native->setFramePosition(*m_hiddenAt);
    }
    QMainWindow::setVisible(visible);
}

void Form::setCaption(const QString &caption)
{
    m_caption = caption;
    // Qt drops an odd "[*]" and shows "[*][*]" as one "[*]".
    QString title = caption;
    title.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));
    setWindowTitle(title);
}

namespace {
// A window's outer size is set before it is shown, when the window manager
// has not framed it yet: it will get the frame our other windows got.
QMargins s_lastFrame;

QMargins marginsOf(const QWidget *w)
{
    const QRect frame = w->frameGeometry();
    const QRect inner = w->geometry();
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
        frame.bottom() - inner.bottom());
}
} // namespace

QMargins Form::frameMargins() const
{
    if (isVisible()) {
        const QMargins own = marginsOf(this);
        if (!own.isNull())
            s_lastFrame = own;
        return own;
    }
    return s_lastFrame;
}

bool Form::event(QEvent *event)
{
    // A deferred delete destroys the window inside the call: touch nothing after it.
    const QEvent::Type type = event->type();
    if (type == QEvent::DeferredDelete)
        return QMainWindow::event(event);
    const bool done = QMainWindow::event(event);
    if (isVisible()
        && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show
            || type == QEvent::WindowActivate))
        frameMargins();
    return done;
}

Twips Form::Left() const
{
    return twipsFromPixels(geometry().x() - frameMargins().left() - Screen::origin().x(), twipsPerPixelX());
}
Twips Form::Top() const
{
    return twipsFromPixels(geometry().y() - frameMargins().top() - Screen::origin().y(), twipsPerPixelY());
}
Twips Form::Width() const
{
    const QMargins m = frameMargins();
    return twipsFromPixels(geometry().width() + m.left() + m.right(), twipsPerPixelX());
}
Twips Form::Height() const
{
    const QMargins m = frameMargins();
    return twipsFromPixels(geometry().height() + m.top() + m.bottom(), twipsPerPixelY());
}

// move() places the frame's top-left corner, which is what Left and Top mean.
void Form::setLeft(Twips twips)
{
    move(Screen::origin().x() + pixelsFromTwips(twips, twipsPerPixelX()), y());
}
void Form::setTop(Twips twips)
{
    move(x(), Screen::origin().y() + pixelsFromTwips(twips, twipsPerPixelY()));
}

void Form::setWidth(Twips twips)
{
    const QMargins m = frameMargins();
    resize(std::max(1, pixelsFromTwips(twips, twipsPerPixelX()) - m.left() - m.right()), height());
}

void Form::setHeight(Twips twips)
{
    const QMargins m = frameMargins();
    resize(width(), std::max(1, pixelsFromTwips(twips, twipsPerPixelY()) - m.top() - m.bottom()));
}

DevicePixels Form::ScaleWidth() const
{
    if (QLayout *l = layout())
        l->activate();
    return deviceWidth(centralWidget() ? centralWidget() : this);
}

DevicePixels Form::ScaleHeight() const
{
    if (QLayout *l = layout())
        l->activate();
    return deviceHeight(centralWidget() ? centralWidget() : this);
}

bool Form::Unload()
{
    if (m_unloading)
        return true;
    qint16 Cancel = 0;
    Form_Unload(Cancel);
    if (Cancel != 0)
        return false;
    m_unloading = true;
    // Pictures read ahead for this window are of no use to the next one.
    readahead::dropAll();
    hide();
    Q_EMIT unloaded();
    deleteLater();

    // With no window left the program is over.
    bool anyVisible = false;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && qobject_cast<Form *>(w) && !w->isHidden())
            anyVisible = true;
    }
    if (!anyVisible)
        QCoreApplication::exit(0);
    return true;
}

void Form::bindEvents()
{
    if (m_bound)
        return;
    m_bound = true;
    m_bindingErrors = bindEventProcedures(this);
}

void Form::closeEvent(QCloseEvent *event)
{
    // The frame's close control unloads the window; the runtime does the rest.
    event->ignore();
    runEvent([this] { Unload(); });
}

} // namespace vm
