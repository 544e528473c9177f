#include "ui/RateGraph.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

CRateGraph::CRateGraph(QWidget* parent) : QWidget(parent) {
    setMinimumSize(sizeHint());
    setToolTip("Transfer rate over the last 60 seconds: received (blue), sent (green)");
}

void CRateGraph::AddSample(double inRate, double outRate) {
    m_samples.push_back({inRate, outRate});
    while (m_samples.size() > kPoints) m_samples.pop_front();
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
    // The newest point at the right edge, one step per report.
    const double step = area.width() / static_cast<double>(kPoints - 1);
    auto point = [&](std::size_t i, double value) {
        const double x = area.right() - step * static_cast<double>(m_samples.size() - 1 - i);
        return QPointF(x, area.bottom() - 1 - (area.height() - 3) * value / top);
    };
    for (const auto& [color, pick] : {std::pair{QColor(40, 100, 220), &Sample::in},
                                      std::pair{QColor(30, 160, 70), &Sample::out}}) {
        QPainterPath path(point(0, m_samples.front().*pick));
        for (std::size_t i = 1; i < m_samples.size(); ++i)
            path.lineTo(point(i, m_samples[i].*pick));
        painter.setPen(QPen(color, 1.5));
        painter.drawPath(path);
    }
}
