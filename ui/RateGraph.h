// A small live graph of the transfer rate in and out over the last 60 seconds.
#pragma once

#include <deque>

#include <QWidget>

class CRateGraph : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSeconds = 60;

    explicit CRateGraph(QWidget* parent = nullptr);

    // Rates in bytes per second at `when` (seconds since the epoch); samples older than
    // 60 s before the newest are dropped.
    void AddSample(std::int64_t when, double inRate, double outRate);

    QSize sizeHint() const override { return {120, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Sample {
        std::int64_t when;
        double in;
        double out;
    };
    std::deque<Sample> m_samples;
};
