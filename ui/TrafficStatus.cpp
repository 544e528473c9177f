#include "ui/TrafficStatus.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/RateGraph.h"

CTrafficStatus::CTrafficStatus(QWidget* parent)
    : QWidget(parent),
      m_sessions(new QLabel(this)),
      m_totals(new QLabel(this)),
      m_graph(new CRateGraph(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_sessions);
    layout->addSpacing(8);
    layout->addWidget(m_totals);
    layout->addWidget(m_graph);
    SetSessions(0);
    ShowTotals();
}

QString CTrafficStatus::FormatBytes(std::int64_t bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    return unit == 0 ? QString("%1 B").arg(bytes)
                     : QString("%1 %2").arg(value, 0, 'f', 1).arg(kUnits[unit]);
}

void CTrafficStatus::SetSessions(std::int64_t count) {
    m_sessions->setText(QString("Online: %1").arg(count));
}

void CTrafficStatus::Reset() {
    m_received = {};
    m_sent = {};
    SetSessions(0);
    ShowTotals();
}

void CTrafficStatus::Advance(Total& total, std::int64_t bytes, std::int64_t when) {
    const std::int64_t elapsed = when - total.when;
    total.rate = total.when != 0 && elapsed > 0 ? static_cast<double>(bytes - total.bytes) *
                                                      1000.0 / static_cast<double>(elapsed)
                                                : 0;
    total.bytes = bytes;
    total.when = when;
}

void CTrafficStatus::SetSent(std::int64_t total, std::int64_t when) {
    Advance(m_sent, total, when);
    ShowTotals();
}

// The server reports sent, then received: one graph point per report.
void CTrafficStatus::SetReceived(std::int64_t total, std::int64_t when) {
    Advance(m_received, total, when);
    ShowTotals();
    m_graph->AddSample(m_received.rate, m_sent.rate);
}

void CTrafficStatus::ShowTotals() {
    m_totals->setText(QString("Received: %1  Sent: %2")
                          .arg(FormatBytes(m_received.bytes), FormatBytes(m_sent.bytes)));
}
