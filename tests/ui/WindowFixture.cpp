#include "tests/ui/WindowFixture.h"

#include <QTest>
#include <filesystem>

#include "accounts/AccountEditor.h"
#include "accounts/AccountStore.h"
#include "app/StartupSequence.h"
#include "platform/EventLoop.h"
#include "platform/Thread.h"
#include "server/FtpServer.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawFtpClient.h"
#include "tests/support/TestAccounts.h"
#include "ui/ServerDlg.h"

namespace {
void SaveAlice(const std::string& programDir, const std::string& home) {
    UserRecord user = FullAccessUser("alice", "secret", home);
    CAccountEditor editor(programDir);
    QVERIFY2(editor.SaveUser(user, {}), editor.GetLastError().c_str());
}
}  // namespace

WindowFixture::WindowFixture(const std::string& serverOptions,
                             const std::function<void(WindowFixture&)>& beforeOpen) {
    const std::string programDir = m_dir.ProgramDir();
    std::filesystem::create_directories(m_dir.Path("home/sub"));
    const bool portGiven = serverOptions.find("Port=") != std::string::npos;
    WriteFile(m_dir.Path("option.ini"),
              "[Server]\n" + std::string(portGiven ? "" : "Port=0\n") + serverOptions);
    SetMessageBoxHook([this](const MessageBoxRequest& request) {
        m_boxes.push_back(request);
        return m_answer;
    });
    m_loop = std::make_unique<EventLoop>();
    m_startup = std::make_unique<CServerStartup>(programDir);
    m_server = std::make_unique<CFtpServer>(programDir);
    QVERIFY(m_startup->Prepare(*m_server));
    SaveAlice(programDir, m_dir.Path("home"));
    m_window = std::make_unique<CServerDlg>(*m_loop, *m_server, m_startup->LogFile(),
                                            m_startup->Options());
    if (beforeOpen) beforeOpen(*this);
    m_window->Open();
}

WindowFixture::~WindowFixture() {
    m_window.reset();
    SetMessageBoxHook({});
}

std::uint16_t WindowFixture::Port() const {
    return static_cast<std::uint16_t>(m_server->GetBoundPort());
}

bool WindowFixture::WaitFor(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        m_window->ApplyPendingEvents();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(10);
    }
}

std::optional<std::string> WindowFixture::ReadLine(RawFtpClient& client) {
    std::optional<std::string> line;
    // The replies come from session threads, which need the main loop (Qt's) to run.
    WaitFor([&] { return (line = client.ReadLine(std::chrono::milliseconds(5))).has_value(); });
    return line;
}

std::string WindowFixture::Ask(RawFtpClient& client, const std::string& line) {
    if (!client.SendLine(line)) return {};
    return ReadLine(client).value_or("");
}

std::unique_ptr<RawFtpClient> WindowFixture::LogIn(const std::string& user,
                                                   const std::string& password) {
    auto client = std::make_unique<RawFtpClient>();
    const bool ok = client->Connect(Port()) && ReadLine(*client).has_value() &&
                    Ask(*client, "USER " + user) == kNeedPassword &&
                    Ask(*client, "PASS " + password) == kLoggedIn;
    if (!ok) {
        QTest::qFail((user + " could not log in").c_str(), __FILE__, __LINE__);
        return nullptr;
    }
    return client;
}

std::string WindowFixture::Run(const std::vector<std::string>& argv, int& status) {
    ChildProcess child;
    status = -1;
    if (!child.Start(argv)) return {};
    WaitFor([&] { return child.WaitForExit(std::chrono::milliseconds(5), status); },
            std::chrono::seconds(30));
    return child.Output();
}

bool WindowFixture::WaitForNoSessions() {
    return WaitFor(
        [this] { return m_server->CurrentConnections() == 0 && CThread::AliveCount() == 0; });
}
