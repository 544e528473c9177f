// "Service": installs, removes, starts and stops the systemd user service that runs
// tarvona-server without the window, through the sibling program tarvona-service. Each
// command runs without blocking the window; its answer is shown when it ends.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QLabel;
class QProcess;
class QPushButton;

class CServiceDlg : public QDialog {
    Q_OBJECT
public:
    // `programDir` is handed to the service (as TARVONA_HOME); `stopServer` stops the
    // window's own server before the service starts. `serviceProgram` is tarvona-service
    // beside the running program unless given.
    CServiceDlg(std::string programDir, std::function<void()> stopServer, QWidget* parent = nullptr,
                QString serviceProgram = {});

    QPushButton& Button(const QString& argument);  // "-i", "-u", "-s" or "-e"
    QString ResultText() const;
    bool CommandRunning() const { return m_process != nullptr; }

signals:
    void CommandFinished();

private:
    void RunCommand(const QString& argument);
    void ShowResult(const QString& text);
    void EnableButtons(bool enabled);

    const std::string m_programDir;
    std::function<void()> m_stopServer;
    QString m_serviceProgram;
    QProcess* m_process = nullptr;  // the command running now
    QLabel* m_result = nullptr;
    QPushButton* m_buttons[4] = {};
};
