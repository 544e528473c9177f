// The right side of the status bar: sessions online, totals received and sent, and the
// rate graph, fed by the statistics the server sends every few seconds.
#pragma once

#include <QWidget>
#include <cstdint>

class CRateGraph;
class QLabel;

class CTrafficStatus : public QWidget {
    Q_OBJECT
public:
    explicit CTrafficStatus(QWidget* parent = nullptr);

    void SetSessions(std::int64_t count);
    // Forgets the totals: the figures of another server follow.
    void Reset();
    // Totals since the server controller was made; `when` in steady-clock milliseconds.
    void SetReceived(std::int64_t total, std::int64_t when);
    void SetSent(std::int64_t total, std::int64_t when);

    static QString FormatBytes(std::int64_t bytes);

private:
    struct Total {
        std::int64_t bytes = 0;
        std::int64_t when = 0;
        double rate = 0;
    };
    static void Advance(Total& total, std::int64_t bytes, std::int64_t when);
    void ShowTotals();

    QLabel* m_sessions;
    QLabel* m_totals;
    CRateGraph* m_graph;
    Total m_received;
    Total m_sent;
};
