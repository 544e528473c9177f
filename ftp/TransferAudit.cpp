// A download's or upload's end as the audit log reports it.
#include "ftp/DataSocket.h"
#include "platform/Clock.h"
#include "server/Observe.h"

namespace {

const char* ResultOf(TransferEvent event) {
    switch (event) {
        case TransferEvent::DownloadDone:
        case TransferEvent::UploadDone:
            return "ok";
        case TransferEvent::DownloadFailed:
        case TransferEvent::TransferFailed:
            return "failed";
        case TransferEvent::None:
            break;
    }
    return "stopped";  // the quota, busy account data, or the client's ABOR
}

}  // namespace

void CDataSocket::ReportTransfer(TransferEvent event) {
    if (!m_record.active) return;
    const TransferRecord record = std::move(m_record);
    m_record = {};
    AuditTransfer transfer;
    transfer.upload = record.upload;
    transfer.path = record.path;
    transfer.bytes = record.upload ? m_fileBytesReceived : m_position - record.startOffset;
    transfer.seconds = static_cast<double>(SteadyMilliseconds() - record.startMs) / 1000.0;
    transfer.result = ResultOf(event);
    transfer.tls = IsTls();
    ObserveTransfer(m_session, transfer);
}
