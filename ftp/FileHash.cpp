#include "ftp/FileHash.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "ftp/DataWaitScope.h"
#include "ftp/TransferLimits.h"
#include "platform/DataFile.h"
#include "platform/EventLoop.h"
#include "server/ConnectThread.h"
#include "server/ControlSocket.h"

namespace {

using Clock = std::chrono::steady_clock;

// The bytes a speed limit still allows in the current slot of kPaceSlot.
class CHashPace {
public:
    explicit CHashPace(std::int64_t rate) : m_rate(rate), m_slotStart(Clock::now()) {}

    std::size_t Allowed(std::size_t wanted) {
        if (m_rate <= 0) return wanted;
        if (Clock::now() - m_slotStart >= kPaceSlot) {
            m_slotStart = Clock::now();
            m_slotBytes = 0;
        }
        return static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(wanted), m_rate - m_slotBytes));
    }
    void Took(std::int64_t bytes) { m_slotBytes += bytes; }
    std::chrono::milliseconds UntilNextSlot() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_slotStart + kPaceSlot - Clock::now());
        return std::max(left, std::chrono::milliseconds{1});
    }

private:
    std::int64_t m_rate;
    Clock::time_point m_slotStart;
    std::int64_t m_slotBytes = 0;
};

bool SessionEnding(CControlSocket& session) {
    return session.Owner().OwnLoop().QuitTaken() || !session.IsOpen();
}

}  // namespace

HashOutcome ComputeFileHash(CControlSocket& session, CDataFile& file, const HashJob& job,
                            std::string& hex) {
    CDigest digest(job.kind);
    if (!digest.IsUsable()) return HashOutcome::ReadFailed;
    std::vector<char> buffer(kHashChunk);
    EventLoop& loop = session.Owner().OwnLoop();
    CHashPace pace(job.rate);
    const auto interrupted = [&session] { return session.IsWaitInterrupted(); };
    DataWaitScope wait(session);
    std::int64_t position = job.begin;
    bool readFailed = false;
    while (position < job.end && !interrupted() && !SessionEnding(session)) {
        const std::size_t size = pace.Allowed(static_cast<std::size_t>(
            std::min<std::int64_t>(job.end - position, static_cast<std::int64_t>(kHashChunk))));
        if (size == 0) {
            (void)loop.RunUntil(interrupted, pace.UntilNextSlot());
            continue;
        }
        // NOTE: a hole of a sparse file reads as zeros, as a download sends it.
        const long count = file.ReadAt(position, buffer.data(), size);
        if (count <= 0) {
            readFailed = true;
            break;
        }
        digest.Update(buffer.data(), static_cast<std::size_t>(count));
        position += count;
        pace.Took(count);
        session.Owner().NoteActivity();
        loop.RunOnce(std::chrono::milliseconds{0});
    }
    const bool cut = wait.End();
    if (SessionEnding(session)) return HashOutcome::SessionEnding;
    if (cut) return HashOutcome::Interrupted;
    if (readFailed) return HashOutcome::ReadFailed;
    hex = digest.FinishHex();
    return hex.empty() ? HashOutcome::ReadFailed : HashOutcome::Done;
}
