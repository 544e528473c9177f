#include "ui/RateGraph.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPath>

CRateGraph::CRateGraph(QWidget* parent) : QWidget(parent) {
    setMinimumSize(sizeHint());
    setToolTip("Transfer rate over the last 60 seconds: received (blue), sent (green)");
}

void CRateGraph::AddSample(std::int64_t when, double inRate, double outRate) {
    m_samples.push_back({when, inRate, outRate});
    while (m_samples.size() > 1 && m_samples.front().when < when - kSeconds) m_samples.pop_front();
    update();
}

void CRateGraph::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillRect(area, palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(area);
    if (m_samples.empty()) return;
    double top = 1.0;
    for (const Sample& s : m_samples) top = std::max({top, s.in, s.out});
    const std::int64_t newest = m_samples.back().when;
    auto point = [&](const Sample& s, double value) {
        const double x =
            area.right() - area.width() * static_cast<double>(newest - s.when) / kSeconds;
        return QPointF(x, area.bottom() - (area.height() - 2) * value / top);
    };
    for (const auto& [color, pick] : {std::pair{QColor(40, 100, 220), &Sample::in},
                                      std::pair{QColor(30, 160, 70), &Sample::out}}) {
        QPainterPath path(point(m_samples.front(), m_samples.front().*pick));
        for (const Sample& s : m_samples) path.lineTo(point(s, s.*pick));
        painter.setPen(QPen(color, 1.5));
        painter.drawPath(path);
    }
}
