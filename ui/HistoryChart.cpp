#include "ui/HistoryChart.h"

#include <QPainter>
#include <algorithm>

#include "ui/TrafficStatus.h"

namespace {

const QColor kUpColor(40, 100, 220);
const QColor kDownColor(30, 160, 70);
constexpr int kMaxLabels = 6;  // more would overlap on a narrow window

}  // namespace

CHistoryChart::CHistoryChart(QWidget* parent) : QWidget(parent) {
    setToolTip("Bytes uploaded (blue) and downloaded (green) per period");
}

void CHistoryChart::SetBuckets(std::vector<HistoryBucket> buckets) {
    m_buckets = std::move(buckets);
    update();
}

void CHistoryChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.fillRect(area, palette().base());
    painter.setPen(palette().mid().color());
    painter.drawRect(area);
    const int line = fontMetrics().height();
    const QRectF plot = area.adjusted(8, line + 10, -8, -(line + 8));
    std::int64_t top = 0;
    for (const HistoryBucket& b : m_buckets)
        top = std::max({top, b.counts.bytesUp, b.counts.bytesDown});
    painter.setPen(palette().text().color());
    if (top == 0) {
        painter.drawText(area, Qt::AlignCenter, "No transfers in this period.");
        return;
    }
    painter.drawText(area.adjusted(8, 4, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                     "Largest: " + CTrafficStatus::FormatBytes(top));
    PaintLegend(painter, area);
    painter.setPen(palette().mid().color());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    const double slot = plot.width() / static_cast<double>(m_buckets.size());
    const double bar = std::max(1.0, slot * 0.4);
    for (std::size_t i = 0; i < m_buckets.size(); ++i) {
        const double x = plot.left() + slot * static_cast<double>(i) + slot * 0.1;
        const auto height = [&](std::int64_t value) {
            return plot.height() * static_cast<double>(value) / static_cast<double>(top);
        };
        const double up = height(m_buckets[i].counts.bytesUp);
        const double down = height(m_buckets[i].counts.bytesDown);
        painter.fillRect(QRectF(x, plot.bottom() - up, bar, up), kUpColor);
        painter.fillRect(QRectF(x + bar, plot.bottom() - down, bar, down), kDownColor);
    }
    PaintLabels(painter, plot);
}

void CHistoryChart::PaintLegend(QPainter& painter, const QRectF& area) const {
    const QFontMetrics metrics = fontMetrics();
    const int box = metrics.ascent() - 2;
    double x = area.right() - 8;
    for (const auto& [color, text] :
         {std::pair{kDownColor, QString("downloaded")}, std::pair{kUpColor, QString("uploaded")}}) {
        x -= metrics.horizontalAdvance(text);
        painter.setPen(palette().text().color());
        painter.drawText(QPointF(x, area.top() + 4 + metrics.ascent()), text);
        x -= box + 4;
        painter.fillRect(QRectF(x, area.top() + 6, box, box), color);
        x -= 12;
    }
}

void CHistoryChart::PaintLabels(QPainter& painter, const QRectF& plot) const {
    const std::size_t count = m_buckets.size();
    const std::size_t every = std::max<std::size_t>(1, (count + kMaxLabels - 1) / kMaxLabels);
    const double slot = plot.width() / static_cast<double>(count);
    painter.setPen(palette().text().color());
    const QFontMetrics metrics = fontMetrics();
    // Counted from the newest bucket, so the last one is always named.
    for (std::size_t back = 0; back < count; back += every) {
        const std::size_t i = count - 1 - back;
        const QString text = QString::fromStdString(m_buckets[i].label);
        const double width = metrics.horizontalAdvance(text);
        double x = plot.left() + slot * (static_cast<double>(i) + 0.5) - width / 2;
        x = std::clamp(x, plot.left(), plot.right() - width);
        painter.drawText(QPointF(x, plot.bottom() + 4 + metrics.ascent()), text);
    }
}
