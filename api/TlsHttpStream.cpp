#include "api/TlsHttpStream.h"

#include "platform/TlsContext.h"
#include "platform/TlsServerConnection.h"

CTlsHttpStream::CTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd,
                               std::string peerAddress, TlsStreamLimits limits)
    : m_connection(std::make_unique<CTlsServerConnection>(std::move(context), std::move(fd))),
      m_limits(limits),
      m_peerAddress(std::move(peerAddress)) {}

CTlsHttpStream::~CTlsHttpStream() {
    if (m_connection->HandshakeDone()) m_connection->Close(m_limits.closeNotify);
}

bool CTlsHttpStream::Handshake(std::string& error) {
    return m_connection->Handshake(m_limits.handshake, error);
}

bool CTlsHttpStream::is_readable() const {
    return m_connection->WaitReadable(std::chrono::milliseconds(0));
}

bool CTlsHttpStream::is_writable() const { return m_connection->HandshakeDone(); }

ssize_t CTlsHttpStream::read(char* ptr, size_t size) {
    return m_connection->Read(ptr, size, m_limits.read);
}

ssize_t CTlsHttpStream::write(const char* ptr, size_t size) {
    return m_connection->Write(ptr, size, m_limits.write);
}

void CTlsHttpStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = m_peerAddress;
    port = 0;
}

void CTlsHttpStream::get_local_ip_and_port(std::string& ip, int& port) const {
    ip.clear();
    port = 0;
}

socket_t CTlsHttpStream::socket() const { return m_connection->Fd(); }

std::unique_ptr<httplib::Stream> NewTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd,
                                                  const std::string& peerAddress,
                                                  TlsStreamLimits limits) {
    if (!context) return nullptr;
    auto stream =
        std::make_unique<CTlsHttpStream>(std::move(context), std::move(fd), peerAddress, limits);
    std::string error;
    if (!stream->Handshake(error)) return nullptr;
    return stream;
}
