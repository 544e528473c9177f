// One TLS connection over a connected non-blocking socket, server side. Used by
// CAsyncSocket only: it maps OpenSSL's results onto the socket's (bytes, 0 at the end,
// -1 with an errno-style error) and never waits unless told how long.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

class CTlsStream {
public:
    // A handshake as a server on `fd`. Sessions made here are resumable only by
    // connections given the same `scope` (16 random bytes when empty). A data
    // connection sets `forData`: its own handshake never yields a resumable session
    // (no ticket, no cache entry), and it uses kernel TLS where offered; otherwise it
    // reads records ahead and sends the records of a large write in few writes.
    CTlsStream(ssl_ctx_st* context, int fd, std::string scope, bool forData);
    ~CTlsStream();
    CTlsStream(const CTlsStream&) = delete;
    CTlsStream& operator=(const CTlsStream&) = delete;

    bool IsValid() const { return m_ssl != nullptr; }
    enum class Step { Done, WantRead, WantWrite, Failed };
    // Runs the handshake as far as the socket allows.
    Step Handshake();
    bool HandshakeDone() const { return m_handshakeDone; }

    // As recv/send: >0 bytes, 0 the peer's close_notify (Read only), -1 with `error`
    // (would-block; kTlsTruncated when the peer closed without close_notify; another
    // errno). `wantsWrite` says which readiness a would-block waits for.
    long Read(void* buffer, std::size_t size, int& error, bool& wantsWrite);
    long Write(const void* data, std::size_t size, int& error, bool& wantsWrite);
    // Up to `count` bytes of `fileFd` from `*offset`: with kernel TLS without copying,
    // otherwise through a buffer that a retry at the same offset reuses.
    long WriteFile(int fileFd, std::int64_t* offset, std::size_t count, int& error,
                   bool& wantsWrite);
    // 1 a byte can be read, 0 close_notify, -1 with `error` as Read.
    int Peek(int& error);
    // Decrypted or received bytes are waiting inside the TLS layer (poll cannot see them).
    bool HasPending() const;
    // Sends close_notify, waiting up to `timeoutMs` for the socket to take it.
    void Shutdown(int timeoutMs);

    // The handshake resumed a session that `control` itself negotiated (or a ticket it
    // issued), not merely one of its scope.
    bool ResumesSessionOf(const CTlsStream& control) const;
    bool UsesKernelSend() const;
    // Protocol version and cipher, as "TLSv1.3, TLS_AES_256_GCM_SHA384".
    std::string Description() const;
    const std::string& Scope() const { return m_scope; }
    ssl_ctx_st* Context() const;

private:
    void AfterHandshake();
    long Fail(int result, int& error, bool& wantsWrite);
    // Puts a write buffer in front of the socket, so that several records leave in one
    // write (data connections only).
    void CoalesceWrites();
    // 1 the buffer is on the socket, 0 the socket would block, -1 failed (`error` set).
    int FlushCoalesced(int& error);
    // Ends a Write whose records are in the buffer: the byte count once they are all on
    // the socket, a would-block until then.
    long FinishBufferedWrite(std::size_t size, int& error, bool& wantsWrite);
    void FlushCoalescedWithin(int timeoutMs);

    ssl_st* m_ssl = nullptr;
    int m_fd;
    std::string m_scope;
    bool m_forData;
    bool m_handshakeDone = false;
    bool m_broken = false;  // a fatal error: no close_notify may follow
    bool m_writesCoalesced = false;
    std::size_t m_unflushedBytes = 0;  // taken by a Write, not all on the socket yet
    std::vector<char> m_fileBuffer;
    std::int64_t m_fileBufferOffset = -1;
    std::size_t m_fileBufferLength = 0;
};

// Lets a context tag every ticket it issues to a control connection with that
// connection's identity (CTlsStream::ResumesSessionOf); every server context calls it.
void InstallSessionMarking(ssl_ctx_st* context);
