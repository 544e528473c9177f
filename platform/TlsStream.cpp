#include "platform/TlsStream.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/Socket.h"

namespace {

// One read of a file for a TLS download without kernel TLS.
const std::size_t kFileChunk = 256 << 10;
// A data connection's records leave in writes of up to this much instead of one write
// per 16 KiB record: a whole file chunk's records with their headers and tags.
const int kCoalescedWriteBytes = static_cast<int>(kFileChunk + (32 << 10));
// Writes at least this large are coalesced; smaller ones (a small file, a listing) go
// out at once and never cost the buffer.
const std::size_t kCoalesceFromBytes = 32 << 10;
// An upload's records are read many at a time into a buffer of this size, instead of
// a read for each record's header and another for its body.
const std::size_t kDataReadBufferBytes = 128 << 10;
const std::size_t kScopeBytes = 16;

// Where a control connection's SSL keeps its scope, the identity it tags its sessions
// with; a data connection's SSL has none.
int OwnerScopeIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// SECURITY: the tag says which control connection made a session. It is kept inside
// the encrypted ticket and on the server's cache entry, so a client cannot forge it.
void TagSessionWithOwner(SSL* ssl) {
    const auto* scope = static_cast<const std::string*>(SSL_get_ex_data(ssl, OwnerScopeIndex()));
    SSL_SESSION* session = SSL_get0_session(ssl);
    if (scope == nullptr || session == nullptr) return;
    (void)SSL_SESSION_set1_ticket_appdata(session, scope->data(), scope->size());
}

int TagIssuedTicket(SSL* ssl, void* /*arg*/) {
    TagSessionWithOwner(ssl);
    return 1;  // 0 would fail the handshake; an untagged ticket is merely refused later
}

int NeverResumable(SSL* /*ssl*/, int /*isForwardSecure*/) { return 1; }

std::string RandomScope() {
    unsigned char bytes[kScopeBytes];
    if (RAND_bytes(bytes, sizeof bytes) != 1) return {};
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

}  // namespace

void InstallSessionMarking(ssl_ctx_st* context) {
    SSL_CTX_set_session_ticket_cb(context, TagIssuedTicket, nullptr, nullptr);
}

CTlsStream::CTlsStream(ssl_ctx_st* context, int fd, std::string scope, bool forData)
    : m_fd(fd), m_scope(scope.empty() ? RandomScope() : std::move(scope)), m_forData(forData) {
    if (m_scope.empty()) return;
    m_ssl = SSL_new(context);
    if (m_ssl == nullptr) return;
    // SECURITY: a session is resumable only under the scope it was made in, so a data
    // connection can resume no other control connection's session.
    SSL_set_session_id_context(m_ssl, reinterpret_cast<const unsigned char*>(m_scope.data()),
                               static_cast<unsigned int>(m_scope.size()));
    if (forData) {
        // SECURITY: anyone at the client's address can reach a passive port. What a
        // full handshake there makes must not be resumable: a TLS 1.2 session (ticket or
        // cache entry) under this scope would otherwise let that client resume it on the
        // next data connection. No ticket in TLS 1.3 either.
        SSL_set_not_resumable_session_callback(m_ssl, NeverResumable);
        SSL_set_num_tickets(m_ssl, 0);
        SSL_set_default_read_buffer_len(m_ssl, kDataReadBufferBytes);
        SSL_set_read_ahead(m_ssl, 1);
#ifdef SSL_OP_ENABLE_KTLS
        SSL_set_options(m_ssl, SSL_OP_ENABLE_KTLS);
#endif
    } else if (SSL_set_ex_data(m_ssl, OwnerScopeIndex(), &m_scope) != 1) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
        return;
    }
    if (SSL_set_fd(m_ssl, fd) != 1) {
        SSL_free(m_ssl);
        m_ssl = nullptr;
        return;
    }
    SSL_set_accept_state(m_ssl);
}

CTlsStream::~CTlsStream() { SSL_free(m_ssl); }

ssl_ctx_st* CTlsStream::Context() const { return SSL_get_SSL_CTX(m_ssl); }

CTlsStream::Step CTlsStream::Handshake() {
    ERR_clear_error();
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1) {
        m_handshakeDone = true;
        AfterHandshake();
        return Step::Done;
    }
    switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
            return Step::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return Step::WantWrite;
        default:
            m_broken = true;
            ERR_clear_error();
            return Step::Failed;
    }
}

long CTlsStream::Fail(int result, int& error, bool& wantsWrite) {
    const int kind = SSL_get_error(m_ssl, result);
    const int savedErrno = errno;
    wantsWrite = false;
    if (kind == SSL_ERROR_WANT_READ || kind == SSL_ERROR_WANT_WRITE) {
        wantsWrite = kind == SSL_ERROR_WANT_WRITE;
        error = SocketError::kWouldBlock;
        return -1;
    }
    m_broken = true;
    const unsigned long reason = ERR_peek_error();
    ERR_clear_error();
    if (kind == SSL_ERROR_SSL && ERR_GET_REASON(reason) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
        error = SocketError::kTlsTruncated;
    else if (kind == SSL_ERROR_SYSCALL)
        error = savedErrno != 0 ? savedErrno : SocketError::kTlsTruncated;
    else
        error = SocketError::kTlsFailed;
    return -1;
}

long CTlsStream::Read(void* buffer, std::size_t size, int& error, bool& wantsWrite) {
    ERR_clear_error();
    std::size_t got = 0;
    // NOTE: one record per call. Filling the caller's buffer from several records
    // (fewer, larger file writes) measured slower for uploads here, not faster.
    if (SSL_read_ex(m_ssl, buffer, size, &got) == 1) return static_cast<long>(got);
    if (SSL_get_error(m_ssl, 0) == SSL_ERROR_ZERO_RETURN) return 0;
    return Fail(0, error, wantsWrite);
}

long CTlsStream::Write(const void* data, std::size_t size, int& error, bool& wantsWrite) {
    if (m_unflushedBytes > 0) return FinishBufferedWrite(size, error, wantsWrite);
    if (m_forData && !m_writesCoalesced && size >= kCoalesceFromBytes) CoalesceWrites();
    ERR_clear_error();
    std::size_t written = 0;
    if (SSL_write_ex(m_ssl, data, size, &written) != 1) return Fail(0, error, wantsWrite);
    if (!m_writesCoalesced) return static_cast<long>(written);
    m_unflushedBytes = written;
    return FinishBufferedWrite(size, error, wantsWrite);
}

void CTlsStream::CoalesceWrites() {
    // Without kernel TLS only: with it the kernel makes the records.
    if (UsesKernelSend()) return;
    BIO* socket = SSL_get_wbio(m_ssl);
    BIO* buffer = BIO_new(BIO_f_buffer());
    if (socket == nullptr || buffer == nullptr || BIO_up_ref(socket) != 1) {
        BIO_free(buffer);
        return;
    }
    if (BIO_set_write_buffer_size(buffer, kCoalescedWriteBytes) != 1) {
        BIO_free(buffer);
        BIO_free(socket);
        return;
    }
    // The socket BIO stays the read side as well; the chain now holds one more reference.
    SSL_set0_wbio(m_ssl, BIO_push(buffer, socket));
    m_writesCoalesced = true;
}

int CTlsStream::FlushCoalesced(int& error) {
    BIO* out = SSL_get_wbio(m_ssl);
    errno = 0;
    if (BIO_flush(out) == 1) return 1;
    if (BIO_should_retry(out)) return 0;
    m_broken = true;
    error = errno != 0 ? errno : SocketError::kTlsFailed;
    return -1;
}

long CTlsStream::FinishBufferedWrite(std::size_t size, int& error, bool& wantsWrite) {
    wantsWrite = true;
    // NOTE: the caller repeats a write that would block with the same bytes, as TLS
    // requires of every write; the bytes taken before count once they reached the socket.
    if (size < m_unflushedBytes) {
        m_broken = true;
        error = SocketError::kTlsFailed;
        return -1;
    }
    const int flushed = FlushCoalesced(error);
    if (flushed < 0) return -1;
    if (flushed == 0) {
        error = SocketError::kWouldBlock;
        return -1;
    }
    const std::size_t written = m_unflushedBytes;
    m_unflushedBytes = 0;
    return static_cast<long>(written);
}

void CTlsStream::FlushCoalescedWithin(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = 0;
    for (;;) {
        if (FlushCoalesced(error) != 0) return;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return;
    }
}

long CTlsStream::WriteFile(int fileFd, std::int64_t* offset, std::size_t count, int& error,
                           bool& wantsWrite) {
#ifndef OPENSSL_NO_KTLS
    if (UsesKernelSend()) {
        ERR_clear_error();
        const ossl_ssize_t sent =
            SSL_sendfile(m_ssl, fileFd, static_cast<off_t>(*offset), count, 0);
        if (sent >= 0) {
            *offset += sent;
            return static_cast<long>(sent);
        }
        return Fail(static_cast<int>(sent), error, wantsWrite);
    }
#endif
    // A write that would block must be repeated with the same bytes: the chunk read for
    // this offset is kept until it has gone.
    if (m_fileBufferOffset != *offset || m_fileBufferLength == 0) {
        m_fileBuffer.resize(kFileChunk);
        const std::size_t want = std::min(count, kFileChunk);
        const ssize_t got = ::pread(fileFd, m_fileBuffer.data(), want, static_cast<off_t>(*offset));
        if (got <= 0) return got == 0 ? 0 : (error = errno, -1);
        m_fileBufferOffset = *offset;
        m_fileBufferLength = static_cast<std::size_t>(got);
    }
    const long sent = Write(m_fileBuffer.data(), m_fileBufferLength, error, wantsWrite);
    if (sent > 0) {
        *offset += sent;
        m_fileBufferLength = 0;
    }
    return sent;
}

int CTlsStream::Peek(int& error) {
    ERR_clear_error();
    char byte;
    std::size_t got = 0;
    if (SSL_peek_ex(m_ssl, &byte, 1, &got) == 1) return 1;
    if (SSL_get_error(m_ssl, 0) == SSL_ERROR_ZERO_RETURN) return 0;
    bool wantsWrite = false;
    return static_cast<int>(Fail(0, error, wantsWrite));
}

bool CTlsStream::HasPending() const { return m_ssl != nullptr && SSL_has_pending(m_ssl) == 1; }

void CTlsStream::Shutdown(int timeoutMs) {
    if (m_ssl == nullptr || !m_handshakeDone || m_broken) return;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_shutdown(m_ssl);
        if (result >= 0) {
            // The close_notify (and what an abandoned transfer left) may still be in the
            // coalescing buffer: OpenSSL does not report a flush that would block.
            if (m_writesCoalesced) FlushCoalescedWithin(timeoutMs);
            return;  // sent; the peer's own close_notify is not waited for
        }
        const int kind = SSL_get_error(m_ssl, result);
        if (kind != SSL_ERROR_WANT_WRITE && kind != SSL_ERROR_WANT_READ) break;
        pollfd p{m_fd, static_cast<short>(kind == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN), 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
    }
    ERR_clear_error();
}

void CTlsStream::AfterHandshake() {
    SSL_SESSION* session = SSL_get0_session(m_ssl);
    if (!m_forData) {
        // A TLS 1.2 session resumed by its ID is this very object, taken from the cache.
        TagSessionWithOwner(m_ssl);
    } else if (SSL_session_reused(m_ssl) != 1 && session != nullptr) {
        (void)SSL_CTX_remove_session(SSL_get_SSL_CTX(m_ssl), session);
    }
}

bool CTlsStream::ResumesSessionOf(const CTlsStream& control) const {
    if (m_ssl == nullptr || !m_handshakeDone || SSL_session_reused(m_ssl) != 1) return false;
    void* tag = nullptr;
    std::size_t length = 0;
    SSL_SESSION* session = SSL_get0_session(m_ssl);
    return session != nullptr && SSL_SESSION_get0_ticket_appdata(session, &tag, &length) == 1 &&
           tag != nullptr && length == control.m_scope.size() &&
           CRYPTO_memcmp(tag, control.m_scope.data(), length) == 0;
}

bool CTlsStream::UsesKernelSend() const {
#ifndef OPENSSL_NO_KTLS
    return m_ssl != nullptr && BIO_get_ktls_send(SSL_get_wbio(m_ssl));
#else
    return false;
#endif
}

std::string CTlsStream::Description() const {
    if (m_ssl == nullptr) return {};
    return std::string(SSL_get_version(m_ssl)) + ", " + SSL_get_cipher_name(m_ssl);
}
