#include "app/BusyIndicator.h"

#include <QPainter>

namespace {
constexpr int spokes = 12;
}

BusyIndicator::BusyIndicator(QWidget *parent) : QWidget(parent)
{
    setFixedSize(sizeHint());
    setVisible(false);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % spokes;
        update();
    });
}

void BusyIndicator::start()
{
    m_timer.start();
    show();
}

void BusyIndicator::stop()
{
    m_timer.stop();
    hide();
}

void BusyIndicator::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const QColor base = palette().color(QPalette::WindowText);
    const double radius = std::min(width(), height()) / 2.0;
    for (int i = 0; i < spokes; ++i) {
        QColor color = base;
        // The spoke at the current step is darkest; the others fade behind it.
        color.setAlphaF(0.15 + 0.85 * double((i + spokes - m_step) % spokes) / (spokes - 1));
        painter.setPen(QPen(color, radius / 4.5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
        painter.rotate(360.0 / spokes);
    }
}
