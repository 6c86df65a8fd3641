#include "app/ElidedLabel.h"

#include "common/PlainText.h"

#include <QPainter>

ElidedLabel::ElidedLabel(QWidget *parent) : QFrame(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setText(const QString &given)
{
    // One line shows far fewer characters than this; measuring megabytes of a tool's message
    // at every repaint would freeze the window.
    const QString text = PlainText::shortened(given, 2000);
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(PlainText::toolTip(text));
    setAccessibleName(text);
    updateGeometry();
    update();
}

QSize ElidedLabel::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(m_text), fontMetrics().height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QString shown = fontMetrics().elidedText(m_text, Qt::ElideMiddle, contentsRect().width());
    painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shown);
}
