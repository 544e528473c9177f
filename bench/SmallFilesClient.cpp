// One FTP session that downloads COUNT small files in turn (PASV, connect, RETR, read to
// the end, 226), as a client that syncs a folder of small files does, and prints the
// rate. A compiled client, so that the server rather than the client sets the pace.
//   bench_small_files PORT USER PASSWORD PATH_FORMAT COUNT SIZE
// PATH_FORMAT holds one %d (the file's number, 0 to COUNT-1), e.g. "small/s%04d.bin".
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "tests/support/RawFtpClient.h"

namespace {

// The final line of the next reply (a multi-line reply's lines before it are skipped).
std::string FinalReplyLine(RawFtpClient& control) {
    for (;;) {
        std::optional<std::string> line = control.ReadLine(std::chrono::seconds(30));
        if (!line) {
            return kNoReply;
        }
        if (line->size() >= 4 && (*line)[3] == ' ' &&
            std::isdigit(static_cast<unsigned char>((*line)[0]))) {
            return *line;
        }
    }
}

bool Expect(RawFtpClient& control, const std::string& command, char firstDigit) {
    if (!command.empty() && !control.SendLine(command)) {
        return false;
    }
    std::string reply = FinalReplyLine(control);
    if (reply[0] != firstDigit) {
        std::fprintf(stderr, "%s -> %s\n", command.empty() ? "(greeting)" : command.c_str(),
                     reply.c_str());
        return false;
    }
    return true;
}

// Port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply; 0 when it does not parse.
int PassivePort(const std::string& reply) {
    std::size_t open = reply.find('(');
    unsigned h[4];
    unsigned p[2];
    if (open == std::string::npos || std::sscanf(reply.c_str() + open, "(%u,%u,%u,%u,%u,%u)", &h[0],
                                                 &h[1], &h[2], &h[3], &p[0], &p[1]) != 6) {
        return 0;
    }
    return static_cast<int>(p[0] * 256 + p[1]);
}

int ConnectData(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return -1;
}

long ReadToEnd(int fd) {
    char buffer[65536];
    long total = 0;
    for (;;) {
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return got == 0 ? total : -1;
        }
        total += got;
    }
}

bool FetchOne(RawFtpClient& control, const std::string& path, long size) {
    if (!control.SendLine("PASV")) {
        return false;
    }
    std::string pasv = FinalReplyLine(control);
    int port = PassivePort(pasv);
    int data = port > 0 ? ConnectData(port) : -1;
    if (data < 0) {
        std::fprintf(stderr, "PASV -> %s (no data connection)\n", pasv.c_str());
        return false;
    }
    bool ok = Expect(control, "RETR " + path, '1');
    long got = ok ? ReadToEnd(data) : -1;
    ::close(data);
    ok = ok && Expect(control, "", '2');
    if (ok && got != size) {
        std::fprintf(stderr, "RETR %s: %ld bytes, expected %ld\n", path.c_str(), got, size);
        return false;
    }
    return ok;
}

// USER, then PASS unless USER alone logged in (an anonymous account may need none).
bool LogIn(RawFtpClient& control, const std::string& user, const std::string& password) {
    if (!control.SendLine("USER " + user)) {
        return false;
    }
    std::string reply = FinalReplyLine(control);
    if (reply[0] == '2') {
        return true;
    }
    if (reply[0] != '3') {
        std::fprintf(stderr, "USER %s -> %s\n", user.c_str(), reply.c_str());
        return false;
    }
    return Expect(control, "PASS " + password, '2');
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD PATH_FORMAT COUNT SIZE\n", argv[0]);
        return 2;
    }
    int port = std::atoi(argv[1]);
    int count = std::atoi(argv[5]);
    long size = std::atol(argv[6]);
    RawFtpClient control;
    if (!control.Connect(static_cast<std::uint16_t>(port))) {
        std::fprintf(stderr, "cannot connect to port %d: %s\n", port, std::strerror(errno));
        return 1;
    }
    if (!Expect(control, "", '2') || !LogIn(control, argv[2], argv[3]) ||
        !Expect(control, "TYPE I", '2')) {
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        char path[512];
        std::snprintf(path, sizeof path, argv[4], i);
        if (!FetchOne(control, path, size)) {
            return 1;
        }
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    control.SendLine("QUIT");
    std::printf("%.1f\n", count / elapsed.count());
    return 0;
}
