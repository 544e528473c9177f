// A tarvona-server process serving a test's program directory on loopback, for the
// window's pages to administer through its control socket, and the steps such tests share.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "tests/support/ChildProcess.h"
#include "ui/AdminConnection.h"

struct ServerProcess {
    ChildProcess process;
    std::uint16_t ftpPort = 0;

    // Starts `binary` on `programDir` (option.ini and the tables written already), plain FTP
    // on a free port of 127.0.0.1; false when it never says it runs (see process.Output()).
    bool Start(const std::string& binary, const std::string& programDir);
    // A connection to its control socket.
    static std::unique_ptr<CAdminConnection> Connect(const std::string& programDir);
};

// The answer to one request, waited for on the GUI thread; status 0 when none came in 15 s.
AdminReply WaitForAnswer(CAdminConnection& connection, const QString& method, const QString& path,
                         const QByteArray& body = {});
