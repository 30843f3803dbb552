#include "platform/controls/coolbar.h"

#include "platform/controls/devicepixels.h"

#include <QPainter>
#include <QStyle>

namespace vm {

DevicePixels CoolBar::Height() const
{
    return deviceHeight(this);
}

namespace {
constexpr int kGripper = 8;
constexpr int kBandGap = 2;
} // namespace

CoolBand::CoolBand(QWidget *parent)
    : QWidget(parent)
{
}

void CoolBand::setCaption(const QString &c)
{
    m_caption = c;
    update();
}

QWidget *CoolBand::child() const
{
    for (QObject *o : children())
        if (auto *w = qobject_cast<QWidget *>(o))
            return w;
    return nullptr;
}

int CoolBand::headerWidth() const
{
    int w = kGripper;
    if (!m_caption.isEmpty())
        w += fontMetrics().horizontalAdvance(m_caption) + 6;
    return w;
}

void CoolBand::resizeEvent(QResizeEvent *)
{
    if (QWidget *c = child()) {
        const int x = headerWidth();
        const int h = std::max(1, std::min(height() - 2, std::max(m_minHeight, c->sizeHint().height())));
        c->setGeometry(x, (height() - h) / 2, std::max(1, width() - x - 2), h);
    }
}

void CoolBand::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Gripper: two raised lines, then the label vertically centred.
    const QPalette &pal = palette();
    for (int i = 0; i < 2; ++i) {
        const int x = 2 + i * 3;
        p.setPen(pal.color(QPalette::Light));
        p.drawLine(x, 2, x, height() - 3);
        p.setPen(pal.color(QPalette::Dark));
        p.drawLine(x + 1, 2, x + 1, height() - 3);
    }
    if (!m_caption.isEmpty()) {
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(QRect(kGripper + 2, 0, headerWidth() - kGripper, height()),
            Qt::AlignVCenter | Qt::AlignLeft, m_caption);
    }
}

CoolBar::CoolBar(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
}

QList<CoolBand *> CoolBar::bands() const
{
    QList<CoolBand *> list;
    for (QObject *o : children())
        if (auto *b = qobject_cast<CoolBand *>(o))
            list.append(b);
    return list;
}

void CoolBar::layoutBands()
{
    // Split the bands into rows, then share the height: each row gets its
    // tallest band's minimum, and the last row takes what is left.
    QList<QList<CoolBand *>> rows;
    for (CoolBand *b : bands()) {
        if (rows.isEmpty() || b->NewRow())
            rows.append(QList<CoolBand *>());
        rows.last().append(b);
    }
    const QRect area = contentsRect();
    int y = area.top();
    for (qsizetype r = 0; r < rows.size(); ++r) {
        int rowHeight = 0;
        for (CoolBand *b : rows[r])
            rowHeight = std::max(rowHeight, b->MinHeight() + 4);
        if (r == rows.size() - 1)
            rowHeight = std::max(rowHeight, area.bottom() + 1 - y);
        int x = area.left();
        for (qsizetype i = 0; i < rows[r].size(); ++i) {
            CoolBand *b = rows[r][i];
            const bool last = i == rows[r].size() - 1;
            const int w = last ? area.right() + 1 - x : std::max(b->BandWidth(), b->headerWidth() + 20);
            b->setGeometry(x, y, w, rowHeight);
            x += w + kBandGap;
        }
        y += rowHeight;
    }
}

void CoolBar::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    layoutBands();
}

void CoolBar::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    layoutBands();
    keepBandsTogetherInTabOrder();
}

void CoolBar::keepBandsTogetherInTabOrder()
{
    // The controls of the bands take consecutive places in the tab order, in
    // band order, wherever the first of them stands.
    QWidget *previous = nullptr;
    for (CoolBand *b : bands()) {
        QWidget *c = b->child();
        if (!c || !(c->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, c);
        previous = c;
    }
}

} // namespace vm
