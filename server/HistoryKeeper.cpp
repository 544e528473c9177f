#include "server/HistoryKeeper.h"

#include <vector>

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "server/HistoryFile.h"

CHistoryKeeper::CHistoryKeeper(std::string programDir) : m_path(HistoryTablePath(programDir)) {}

CHistoryKeeper::~CHistoryKeeper() {
    if (m_loop != nullptr && m_timer != 0) m_loop->CancelTimer(m_timer);
}

void CHistoryKeeper::Start(EventLoop& loop, LogFn log) {
    m_log = std::move(log);
    m_loop = &loop;
    if (m_timer == 0) m_timer = loop.AddTimer(kHistoryWritePeriod, [this] { Tick(); });
    Tick();
}

void CHistoryKeeper::Stop() {
    if (m_loop != nullptr && m_timer != 0) m_loop->CancelTimer(m_timer);
    m_timer = 0;
    Tick();
    if (!m_loaded)
        Log("The transfer history was not saved: " + m_path + " stayed locked by another program.",
            true);
}

void CHistoryKeeper::Tick() {
    if (!m_loaded) Load();
    const std::int32_t today = m_history.Today();
    if (today != m_day) {
        m_day = today;
        m_history.RollUp();
    }
    if (m_loaded && m_writable && m_history.HasUnsavedChanges()) Write();
}

void CHistoryKeeper::Load() {
    std::vector<HistoryRow> rows;
    bool busy = false;
    std::string error;
    if (ReadHistoryFile(m_path, rows, busy, error)) {
        m_history.AddRows(rows);
        m_loaded = true;
        return;
    }
    // Another program reads it just now: try again at the next tick, and write nothing
    // before, or what the file holds would be lost.
    if (busy) return;
    SetAside(error);
    m_loaded = true;
}

void CHistoryKeeper::SetAside(const std::string& why) {
    const std::string aside = m_path + ".damaged-" + FormatLocalTime(NowSeconds(), "%Y%m%d-%H%M%S");
    if (MovePath(m_path, aside)) {
        m_setAsidePath = aside;
        Log("The transfer history cannot be read (" + why + "); it was kept as " + aside +
                " and a new one begins.",
            true);
        return;
    }
    // Writing now would replace the only copy of what may still be saved by hand.
    m_writable = false;
    Log("The transfer history cannot be read (" + why + ") nor moved aside to " + aside +
            "; the history is counted but not saved until the server starts again.",
        true);
}

void CHistoryKeeper::Write() {
    std::uint64_t generation = 0;
    const std::vector<HistoryRow> rows = m_history.Rows(generation);
    std::string error;
    if (WriteHistoryFile(m_path, rows, error)) {
        m_history.MarkSaved(generation);
        m_writeFailed = false;
        return;
    }
    if (!m_writeFailed) Log("The transfer history cannot be saved: " + error, true);
    m_writeFailed = true;
}

void CHistoryKeeper::Log(const std::string& text, bool warning) const {
    if (m_log) m_log(text, warning);
}
