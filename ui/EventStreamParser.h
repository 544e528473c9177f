// Splits a Server-Sent Events body, fed in pieces as they arrive, into its events: the
// log stream of the administration API ("data: LINE", "event: missed").
#pragma once

#include <QByteArray>
#include <functional>

struct StreamEvent {
    QByteArray type;  // "message" unless the event named another
    QByteArray data;  // the data lines joined with "\n"
};

class CEventStreamParser {
public:
    // Calls `onEvent` for each event completed by `bytes`.
    void Feed(const QByteArray& bytes, const std::function<void(const StreamEvent&)>& onEvent);
    // Forgets a half-received event (the stream was opened again).
    void Reset();

private:
    void TakeLine(const QByteArray& line, const std::function<void(const StreamEvent&)>& onEvent);

    QByteArray m_partial;
    StreamEvent m_event;
    bool m_hasData = false;
};
