// A small live graph of the transfer rate in and out over the last 60 seconds.
#pragma once

#include <QWidget>
#include <deque>

class CRateGraph : public QWidget {
    Q_OBJECT
public:
    // The server reports every 5 s: twelve points cover the last minute.
    static constexpr std::size_t kPoints = 12;

    explicit CRateGraph(QWidget* parent = nullptr);

    // Rates in bytes per second; the oldest point goes when there are more than kPoints.
    void AddSample(double inRate, double outRate);

    QSize sizeHint() const override { return {120, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Sample {
        double in;
        double out;
    };
    std::deque<Sample> m_samples;
};
