#include "platform/controls/statusbar.h"

#include <QHBoxLayout>
#include <QLabel>

namespace vm {

StatusBar::StatusBar(QWidget *parent)
    : QFrame(parent)
    , m_label(new QLabel(this))
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->addWidget(m_label);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setObjectName(QStringLiteral("SimpleTextLabel"));
}

QString StatusBar::SimpleText() const
{
    return m_label->text();
}

void StatusBar::setSimpleText(const QString &text)
{
    m_label->setText(text);
    setAccessibleDescription(text);
}

} // namespace vm
