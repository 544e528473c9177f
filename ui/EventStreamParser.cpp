#include "ui/EventStreamParser.h"

namespace {

// SECURITY: a peer that never ends a line must not make the window buffer without end;
// the server's lines are far shorter.
constexpr qsizetype kLongestLine = 1 << 20;

}  // namespace

void CEventStreamParser::Feed(const QByteArray& bytes,
                              const std::function<void(const StreamEvent&)>& onEvent) {
    m_partial += bytes;
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_partial.indexOf('\n', start);
        if (end < 0) break;
        QByteArray line = m_partial.mid(start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        TakeLine(line, onEvent);
        start = end + 1;
    }
    m_partial.remove(0, start);
    if (m_partial.size() > kLongestLine) m_partial.clear();
}

void CEventStreamParser::Reset() {
    m_partial.clear();
    m_event = {};
    m_hasData = false;
}

void CEventStreamParser::TakeLine(const QByteArray& line,
                                  const std::function<void(const StreamEvent&)>& onEvent) {
    if (line.isEmpty()) {
        if (m_hasData) {
            if (m_event.type.isEmpty()) m_event.type = "message";
            onEvent(m_event);
        }
        m_event = {};
        m_hasData = false;
        return;
    }
    if (line.startsWith(':')) return;  // a comment keeps a quiet stream alive
    const qsizetype colon = line.indexOf(':');
    const QByteArray field = colon < 0 ? line : line.left(colon);
    QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1);
    if (value.startsWith(' ')) value.remove(0, 1);
    if (field == "event") {
        m_event.type = value;
    } else if (field == "data") {
        if (m_hasData) m_event.data += '\n';
        m_event.data += value;
        m_hasData = true;
        if (m_event.data.size() > kLongestLine) Reset();
    }
}
