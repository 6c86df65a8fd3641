#include "features/StorageBar.h"

#include <QPainter>
#include <QPainterPath>

StorageBar::StorageBar(qint64 capacity, qint64 used, qint64 apps, const QString &description,
                       QWidget *parent)
    : QWidget(parent),
      m_capacity(capacity),
      m_used(std::clamp<qint64>(used, 0, capacity)),
      m_apps(apps < 0 ? -1 : std::min(apps, m_used))
{
    setObjectName(QStringLiteral("storageBar"));
    setAccessibleName(QStringLiteral("Storage"));
    setAccessibleDescription(description);
    setToolTip(description);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StorageBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(bar, 4, 4);
    painter.setClipPath(outline);
    // Free space in the base colour; the used parts in the palette's accents, so that dark and
    // light themes keep their contrast.
    painter.fillRect(bar, palette().color(QPalette::Base));
    if (m_capacity > 0) {
        const auto width = [&](qint64 bytes) { return bar.width() * double(bytes) / m_capacity; };
        const qint64 apps = std::max<qint64>(m_apps, 0);
        painter.fillRect(QRectF(bar.left(), bar.top(), width(apps), bar.height()),
                         palette().color(QPalette::Highlight));
        QColor other = palette().color(QPalette::Highlight);
        other.setAlphaF(m_apps < 0 ? 1.0f : 0.45f);
        painter.fillRect(
            QRectF(bar.left() + width(apps), bar.top(), width(m_used - apps), bar.height()), other);
    }
    painter.setClipping(false);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawPath(outline);
}
