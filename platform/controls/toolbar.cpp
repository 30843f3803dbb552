#include "platform/controls/toolbar.h"

#include "platform/controls/devicepixels.h"
#include "platform/controls/imagelist.h"

#include <QAccessible>
#include <QActionEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QToolButton>

namespace vm {

namespace {
// The focus frame drawn over the keyboard's button; clicks go through it.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        hide();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
        option.rect = rect().adjusted(2, 2, -2, -2);
        option.backgroundColor = palette().color(QPalette::Button);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &p, this);
    }
};
} // namespace

Toolbar::Toolbar(QWidget *parent)
    : QToolBar(parent)
{
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setFocusPolicy(Qt::TabFocus);
    m_focusMark = new FocusMark(this);
    connect(this, &QToolBar::actionTriggered, this, &Toolbar::trigger);
}

DevicePixels Toolbar::Height() const
{
    return deviceHeight(this);
}

void Toolbar::setImageList(const QString &name)
{
    m_imageList = name;
    applyImages();
}

void Toolbar::trigger(QAction *action)
{
    if (!action || action->isSeparator())
        return;
    Q_EMIT ButtonClick(Button { action->property("Key").toString(), int(actions().indexOf(action)) + 1 });
}

void Toolbar::click(int index)
{
    const QList<QAction *> list = actions();
    if (index >= 1 && index <= list.size())
        trigger(list.at(index - 1));
}

void Toolbar::applyImages()
{
    const QWidget *top = window();
    const auto *list = top ? top->findChild<vm::ImageList *>(m_imageList) : nullptr;
    for (QAction *a : actions()) {
        if (a->isSeparator())
            continue;
        const QString tip = a->property("ToolTipText").toString();
        if (!tip.isEmpty()) {
            a->setToolTip(tip);
            a->setText(tip);
        }
        if (!list)
            continue;
        const QVariant image = a->property("Image");
        bool isIndex = false;
        const int index = image.toInt(&isIndex);
        a->setIcon(isIndex ? list->image(index) : list->image(image.toString()));
    }
    // Buttons 23 x 22 pixels, as the bar's definition gives them.
    for (QAction *a : actions()) {
        if (auto *b = qobject_cast<QToolButton *>(widgetForAction(a))) {
            b->setFixedSize(23, 22);
            b->setAccessibleName(a->toolTip());
            b->setAccessibleDescription(a->toolTip());
            b->setObjectName(a->objectName() + QStringLiteral("_Button"));
        }
    }
}

void Toolbar::actionEvent(QActionEvent *event)
{
    QToolBar::actionEvent(event);
    if (event->type() == QEvent::ActionAdded)
        applyImages();
}

void Toolbar::showEvent(QShowEvent *event)
{
    applyImages();
    QToolBar::showEvent(event);
}

bool Toolbar::usable(int position) const
{
    const QList<QAction *> list = actions();
    if (position < 0 || position >= list.size())
        return false;
    const QAction *a = list.at(position);
    return !a->isSeparator() && a->isVisible() && a->isEnabled();
}

void Toolbar::moveCurrent(int step, bool fromEnd)
{
    const int count = int(actions().size());
    if (count == 0)
        return;
    int position = fromEnd ? (step > 0 ? -1 : count) : m_current;
    for (int tries = 0; tries < count; ++tries) {
        position = (position + step + count) % count;
        if (usable(position)) {
            m_current = position;
            break;
        }
    }
    showFocusMark();
}

void Toolbar::showFocusMark()
{
    if (!hasFocus() || !usable(m_current)) {
        m_focusMark->hide();
        return;
    }
    QWidget *button = widgetForAction(actions().at(m_current));
    if (!button)
        return;
    m_focusMark->setGeometry(button->geometry());
    m_focusMark->raise();
    m_focusMark->show();
    m_focusMark->update();
    // Screen readers follow the button, not the bar.
    QAccessibleEvent event(button, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
}

void Toolbar::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        moveCurrent(-1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        moveCurrent(1);
        return;
    case Qt::Key_Home:
        moveCurrent(1, true);
        return;
    case Qt::Key_End:
        moveCurrent(-1, true);
        return;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (usable(m_current) && !event->isAutoRepeat()) {
            if (auto *b = qobject_cast<QToolButton *>(widgetForAction(actions().at(m_current))))
                b->click();
        }
        return;
    default:
        QToolBar::keyPressEvent(event);
    }
}

void Toolbar::focusInEvent(QFocusEvent *event)
{
    QToolBar::focusInEvent(event);
    if (!usable(m_current))
        moveCurrent(1, true);
    else
        showFocusMark();
}

void Toolbar::focusOutEvent(QFocusEvent *event)
{
    QToolBar::focusOutEvent(event);
    m_focusMark->hide();
}

void Toolbar::resizeEvent(QResizeEvent *event)
{
    QToolBar::resizeEvent(event);
    showFocusMark();
}

} // namespace vm
