#include "platform/SocketTuning.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>

void BlockBrokenPipeSignal() {
    thread_local bool blocked = false;
    if (blocked) return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    // A SIGPIPE raised for this thread then stays pending and is never delivered.
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    blocked = true;
}

bool DisableSendCoalescing(int fd) {
    int on = 1;
    return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool KeepUrgentDataInline(int fd) {
    int on = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on) == 0;
}
