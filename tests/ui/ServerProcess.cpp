#include "tests/ui/ServerProcess.h"

#include <QTest>
#include <optional>

#include "tests/support/RawFtpClient.h"

using namespace std::chrono_literals;

bool ServerProcess::Start(const std::string& binary, const std::string& programDir) {
    ftpPort = FindFreePort();
    return process.Start({binary, "--dir", programDir, "--listen", "127.0.0.1", "--port",
                          std::to_string(ftpPort)}) &&
           process.WaitForOutput("Server is running on port", 20s);
}

std::unique_ptr<CAdminConnection> ServerProcess::Connect(const std::string& programDir) {
    return CAdminConnection::Local(QString::fromStdString(programDir));
}

AdminReply WaitForAnswer(CAdminConnection& connection, const QString& method, const QString& path,
                         const QByteArray& body) {
    std::optional<AdminReply> answer;
    connection.Request(method, path, body, {}, [&](const AdminReply& reply) { answer = reply; });
    (void)QTest::qWaitFor([&] { return answer.has_value(); }, 15000);
    return answer.value_or(AdminReply{});
}
