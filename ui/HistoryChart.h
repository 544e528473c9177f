// The Statistics page's bar chart: per day, week or month, the bytes uploaded (blue) and
// downloaded (green) side by side, with the largest value and a few period labels.
#pragma once

#include <QWidget>
#include <vector>

#include "server/TransferHistory.h"

class CHistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit CHistoryChart(QWidget* parent = nullptr);

    void SetBuckets(std::vector<HistoryBucket> buckets);
    const std::vector<HistoryBucket>& Buckets() const { return m_buckets; }

    QSize sizeHint() const override { return {600, 220}; }
    QSize minimumSizeHint() const override { return {240, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintLegend(class QPainter& painter, const QRectF& area) const;
    void PaintLabels(class QPainter& painter, const QRectF& plot) const;

    std::vector<HistoryBucket> m_buckets;
};
