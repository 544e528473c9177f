// The real window with the real server inside, on a private program directory that
// holds the account "alice" (password "secret"), for the window tests and the
// screenshot program. Needs a QApplication (offscreen is enough).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "ui/MessageBoxes.h"

class CFtpServer;
class CServerDlg;
class CServerStartup;
class EventLoop;
class RawFtpClient;

class WindowFixture {
public:
    // `serverOptions` are extra lines of option.ini's [Server] section; the port is 0
    // (any free port) unless they set one. Runs the shared opening steps and opens the
    // window; every message box is recorded and answered with Answer(). `beforeOpen`
    // runs between the opening steps and the window's Open.
    explicit WindowFixture(const std::string& serverOptions = "",
                           const std::function<void(WindowFixture&)>& beforeOpen = {});
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    CServerDlg& Window() { return *m_window; }
    CFtpServer& Server() { return *m_server; }
    const TempDir& Dir() const { return m_dir; }
    // The listening port while the server runs.
    std::uint16_t Port() const;

    const std::vector<MessageBoxRequest>& Boxes() const { return m_boxes; }
    void SetAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

    // Lets Qt and the window work (queued sink events included) until `done` or the
    // deadline.
    bool WaitFor(const std::function<bool()>& done,
                 std::chrono::milliseconds deadline = std::chrono::seconds(10));
    // A client that has logged in (as alice unless told); null (and a failed check)
    // otherwise.
    std::unique_ptr<RawFtpClient> LogIn(const std::string& user = "alice",
                                        const std::string& password = "secret");
    // The next line `client` receives, letting the window work meanwhile; nullopt when
    // none came.
    std::optional<std::string> ReadLine(RawFtpClient& client);
    // Sends `line` and gives the reply line, letting the window work meanwhile; empty
    // when none came.
    std::string Ask(RawFtpClient& client, const std::string& line);
    // Runs `argv` to its end while the window works (a client of the server inside
    // needs the window's loop); its standard output, and -1 as `status` on time-out.
    std::string Run(const std::vector<std::string>& argv, int& status);
    // Waits until every session thread has ended.
    bool WaitForNoSessions();

private:
    TempDir m_dir;
    std::vector<MessageBoxRequest> m_boxes;
    QMessageBox::StandardButton m_answer = QMessageBox::Ok;
    std::unique_ptr<EventLoop> m_loop;
    std::unique_ptr<CServerStartup> m_startup;
    std::unique_ptr<CFtpServer> m_server;
    std::unique_ptr<CServerDlg> m_window;
};
