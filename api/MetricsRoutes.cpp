// GET /metrics: the server's counters in the Prometheus text format, read at the request
// from atomics (server/ServerMetrics.h) and the controller's totals; no session waits.
#include "api/MetricsRoutes.h"

#include <array>

#include "api/MetricsText.h"
#include "ftp/CommandTable.h"
#include "generated/Version.h"
#include "server/CertificateExpiry.h"
#include "server/FtpServer.h"

namespace {

double Value(std::uint64_t count) { return static_cast<double>(count); }

void SessionFamilies(CMetricsText& out, CFtpServer& server) {
    out.Family("tarvona_sessions", "gauge", "Open FTP sessions.");
    out.Sample("tarvona_sessions", {}, server.CurrentConnections());
    out.Family("tarvona_sessions_by_state", "gauge", "Open FTP sessions by state.");
    const CServerMetrics& metrics = server.Metrics();
    for (int state = 0; state < kSessionStateCount; ++state)
        out.Sample("tarvona_sessions_by_state",
                   {{"state", kSessionStateNames[static_cast<std::size_t>(state)]}},
                   static_cast<double>(metrics.SessionsIn(state)));
}

void LoginFamilies(CMetricsText& out, CFtpServer& server) {
    const CServerMetrics& metrics = server.Metrics();
    out.Family("tarvona_logins_total", "counter", "FTP logins by result.");
    out.Sample("tarvona_logins_total", {{"result", "ok"}}, Value(metrics.LoginsAccepted()));
    out.Sample("tarvona_logins_total", {{"result", "failed"}}, Value(metrics.LoginsRefused()));
    out.Family("tarvona_bans_total", "counter",
               "Addresses banned, after failed logins or by the administrator.");
    out.Sample("tarvona_bans_total", {}, Value(server.LoginGuard().BansSoFar()));
}

void TrafficFamilies(CMetricsText& out, CFtpServer& server) {
    out.Family("tarvona_sent_bytes_total", "counter",
               "Bytes sent to clients, control and data connections.");
    out.Sample("tarvona_sent_bytes_total", {}, static_cast<double>(server.BytesSent()));
    out.Family("tarvona_received_bytes_total", "counter",
               "Bytes received from clients, control and data connections.");
    out.Sample("tarvona_received_bytes_total", {}, static_cast<double>(server.BytesReceived()));
    out.Family("tarvona_files_sent_total", "counter", "Downloads completed.");
    out.Sample("tarvona_files_sent_total", {}, server.EventCount(TransferEvent::DownloadDone));
    out.Family("tarvona_files_received_total", "counter", "Uploads completed.");
    out.Sample("tarvona_files_received_total", {}, server.EventCount(TransferEvent::UploadDone));
    out.Family("tarvona_transfers_total", "counter", "Downloads and uploads by result.");
    const std::array<std::pair<std::string_view, TransferEvent>, 4> results = {{
        {"download_done", TransferEvent::DownloadDone},
        {"upload_done", TransferEvent::UploadDone},
        {"download_failed", TransferEvent::DownloadFailed},
        {"transfer_failed", TransferEvent::TransferFailed},
    }};
    for (const auto& [name, event] : results)
        out.Sample("tarvona_transfers_total", {{"result", name}}, server.EventCount(event));
    out.Family("tarvona_data_connection_failures_total", "counter",
               "Data connections that could not be made or were refused.");
    out.Sample("tarvona_data_connection_failures_total", {},
               Value(server.Metrics().DataConnectionFailures()));
}

void TlsFamilies(CMetricsText& out, CFtpServer& server) {
    const CServerMetrics& metrics = server.Metrics();
    out.Family("tarvona_tls_sessions_total", "counter",
               "Control connections that completed a TLS handshake (explicit or implicit).");
    out.Sample("tarvona_tls_sessions_total", {}, Value(metrics.TlsSessions()));
    out.Family("tarvona_tls_handshake_failures_total", "counter", "Failed TLS handshakes.");
    out.Sample("tarvona_tls_handshake_failures_total", {{"connection", "control"}},
               Value(metrics.TlsHandshakeFailures(TlsLeg::Control)));
    out.Sample("tarvona_tls_handshake_failures_total", {{"connection", "data"}},
               Value(metrics.TlsHandshakeFailures(TlsLeg::Data)));
    const std::optional<CertificateFacts> facts = server.Tls().Certificate();
    if (!facts) return;
    out.Family("tarvona_certificate_expiry_timestamp_seconds", "gauge",
               "End of validity of the FTPS certificate in use, seconds since the epoch.");
    out.Sample("tarvona_certificate_expiry_timestamp_seconds", {},
               static_cast<double>(facts->notAfter));
}

// SECURITY: the label is the command table's keyword or "other", never the client's text,
// so the number of series is fixed whatever verbs clients send.
std::string_view CommandLabel(int slot) {
    const std::string_view keyword = CommandRowKeyword(slot);
    return keyword.empty() ? std::string_view("other") : keyword;
}

void CommandFamilies(CMetricsText& out, CFtpServer& server) {
    const int slots = std::min(CommandRowCount() + 1, kMetricCommandSlots);
    std::vector<CommandLatencySnapshot> seen(static_cast<std::size_t>(slots));
    for (int slot = 0; slot < slots; ++slot)
        seen[static_cast<std::size_t>(slot)] = server.Metrics().CommandSlot(slot);
    out.Family("tarvona_commands_total", "counter", "FTP commands run, by command.");
    for (int slot = 0; slot < slots; ++slot)
        if (seen[static_cast<std::size_t>(slot)].count > 0)
            out.Sample("tarvona_commands_total", {{"command", CommandLabel(slot)}},
                       Value(seen[static_cast<std::size_t>(slot)].count));
    std::array<double, kLatencyBucketMicros.size()> bounds{};
    for (std::size_t i = 0; i < bounds.size(); ++i)
        bounds[i] = static_cast<double>(kLatencyBucketMicros[i]) / 1e6;
    out.Family("tarvona_command_duration_seconds", "histogram",
               "Time from a command line's start to its end, by command.");
    for (int slot = 0; slot < slots; ++slot) {
        const CommandLatencySnapshot& s = seen[static_cast<std::size_t>(slot)];
        if (s.count == 0) continue;
        out.Histogram("tarvona_command_duration_seconds", {{"command", CommandLabel(slot)}}, bounds,
                      s.buckets, static_cast<double>(s.sumMicros) / 1e6);
    }
}

void ProcessFamilies(CMetricsText& out) {
    out.Family("tarvona_build_info", "gauge", "The server's version, as a label; always 1.");
    out.Sample("tarvona_build_info", {{"version", kTarvonaVersion}}, 1);
    out.Family("process_start_time_seconds", "gauge",
               "Start time of the process since the epoch, in seconds.");
    out.Sample("process_start_time_seconds", {}, ProcessStartSeconds());
}

ApiResponse GetMetrics(ApiContext& context, const ApiRequest&) {
    ApiResponse response;
    response.rawBody = RenderMetrics(context.server);
    response.contentType = kPrometheusContentType;
    return response;
}

}  // namespace

std::string RenderMetrics(CFtpServer& server) {
    CMetricsText out;
    SessionFamilies(out, server);
    LoginFamilies(out, server);
    TrafficFamilies(out, server);
    TlsFamilies(out, server);
    CommandFamilies(out, server);
    ProcessFamilies(out);
    return out.Text();
}

std::vector<ApiRoute> MetricsRoutes() { return {{"GET", kMetricsPath, GetMetrics}}; }
