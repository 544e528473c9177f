#include "api/TlsHttpStream.h"

#include "platform/Socket.h"
#include "platform/TlsContext.h"
#include "platform/TlsServerConnection.h"

CTlsHttpStream::CTlsHttpStream(std::shared_ptr<CTlsContext> context, UniqueFd fd,
                               TlsStreamLimits limits)
    : m_limits(limits) {
    if (!PeerAddressOf(fd.Get(), m_peerAddress)) m_peerAddress.clear();
    m_connection = std::make_unique<CTlsServerConnection>(std::move(context), std::move(fd));
}

CTlsHttpStream::~CTlsHttpStream() {
    if (m_connection->HandshakeDone()) m_connection->Close(m_limits.closeNotify);
}

bool CTlsHttpStream::EnsureHandshake() const {
    if (m_connection->HandshakeDone()) return true;
    if (!m_handshakeError.empty()) return false;
    return m_connection->Handshake(m_limits.handshake, m_handshakeError);
}

bool CTlsHttpStream::is_readable() const {
    return EnsureHandshake() && m_connection->WaitReadable(m_limits.read);
}

bool CTlsHttpStream::is_writable() const { return EnsureHandshake(); }

ssize_t CTlsHttpStream::read(char* ptr, size_t size) {
    if (!EnsureHandshake()) return -1;
    return m_connection->Read(ptr, size, m_limits.read);
}

ssize_t CTlsHttpStream::write(const char* ptr, size_t size) {
    if (!EnsureHandshake()) return -1;
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

std::unique_ptr<httplib::Stream> NewTlsHttpStream(std::shared_ptr<CTlsContext> context,
                                                  UniqueFd fd, TlsStreamLimits limits) {
    return std::make_unique<CTlsHttpStream>(std::move(context), std::move(fd), limits);
}
