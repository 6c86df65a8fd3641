#include "app/ElidedLabel.h"

#include "common/PlainText.h"

#include <QPainter>

#include <algorithm>

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

QStringList ElidedLabel::lines() const
{
    QStringList lines = m_text.split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() > 2)
        lines = {lines.first(), lines.sliced(1).join(u' ')};
    return lines.isEmpty() ? QStringList{QString()} : lines;
}

QSize ElidedLabel::sizeHint() const
{
    int width = 0;
    const QStringList shown = lines();
    for (const QString &line : shown)
        width = std::max(width, fontMetrics().horizontalAdvance(line));
    return {width, fontMetrics().height() + (int(shown.size()) - 1) * fontMetrics().lineSpacing()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QStringList shown = lines();
    const QRect area = contentsRect();
    const int height =
        fontMetrics().height() + (int(shown.size()) - 1) * fontMetrics().lineSpacing();
    int top = area.top() + (area.height() - height) / 2;
    for (const QString &line : shown) {
        painter.drawText(QRect(area.left(), top, area.width(), fontMetrics().height()),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(line, Qt::ElideMiddle, area.width()));
        top += fontMetrics().lineSpacing();
    }
}
