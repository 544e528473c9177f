#include "ui/ServiceDlg.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/Options.h"

namespace {

struct ServiceCommand {
    const char* label;
    const char* argument;
};
constexpr ServiceCommand kCommands[] = {{"Install Service", "-i"},
                                        {"Uninstall Service", "-u"},
                                        {"Start Service", "-s"},
                                        {"Stop Service", "-e"}};

const char* const kIntroduction =
    "You can run Tarvona FTP Server as a systemd user service. A user service is started "
    "by the service manager of your login (systemd --user), not by this window: it keeps "
    "the FTP server running when the window is closed, and starts it again should it "
    "fail. It serves the same program directory, accounts and options as this window. "
    "To keep it running after you log out as well, enable lingering for your account "
    "(loginctl enable-linger).";

}  // namespace

CServiceDlg::CServiceDlg(std::string programDir, std::function<void()> stopServer, QWidget* parent,
                         QString serviceProgram)
    : QDialog(parent),
      m_programDir(std::move(programDir)),
      m_stopServer(std::move(stopServer)),
      m_serviceProgram(serviceProgram.isEmpty()
                           ? QCoreApplication::applicationDirPath() + "/tarvona-service"
                           : std::move(serviceProgram)) {
    setWindowTitle("Service");
    auto* text = new QLabel(kIntroduction, this);
    text->setWordWrap(true);
    auto* group = new QGroupBox("Tarvona FTP Service", this);
    auto* grid = new QGridLayout(group);
    for (int i = 0; i < 4; ++i) {
        const ServiceCommand& command = kCommands[i];
        m_buttons[i] = new QPushButton(command.label, group);
        grid->addWidget(m_buttons[i], i / 2, i % 2);
        const QString argument = command.argument;
        connect(m_buttons[i], &QPushButton::clicked, this,
                [this, argument] { RunCommand(argument); });
    }
    m_result = new QLabel(group);
    m_result->setWordWrap(true);
    m_result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(m_result, 2, 0, 1, 2);
    auto* exit = new QPushButton("Exit", this);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(group);
    layout->addWidget(exit, 0, Qt::AlignRight);
    setMinimumWidth(460);
}

QPushButton& CServiceDlg::Button(const QString& argument) {
    for (int i = 0; i < 4; ++i)
        if (argument == kCommands[i].argument) return *m_buttons[i];
    return *m_buttons[0];
}

QString CServiceDlg::ResultText() const { return m_result->text(); }

void CServiceDlg::EnableButtons(bool enabled) {
    for (QPushButton* button : m_buttons) button->setEnabled(enabled);
}

void CServiceDlg::ShowResult(const QString& text) {
    m_result->setText(text);
    EnableButtons(true);
    if (m_process != nullptr) m_process->deleteLater();
    m_process = nullptr;
    emit CommandFinished();
}

// One command at a time: the buttons wait until the running one has answered.
void CServiceDlg::RunCommand(const QString& argument) {
    if (m_process != nullptr) return;
    const bool starting = argument == "-s";
    if (starting && m_stopServer) m_stopServer();
    m_process = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TARVONA_HOME", QString::fromStdString(m_programDir));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        const QString output = QString::fromLocal8Bit(m_process->readAll()).trimmed();
        const bool ok = status == QProcess::NormalExit && code == 0;
        ShowResult((ok ? "Done. " : "Failed. ") + output);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ShowResult("Failed. " + m_serviceProgram +
                       " cannot be run: " + m_process->errorString());
    });
    EnableButtons(false);
    m_result->setText("Running tarvona-service " + argument + " ...");
    m_process->start(m_serviceProgram, {argument});
    // The window's own server must not start again over the service at the next start.
    if (starting) (void)COptions(m_programDir).WriteInt(&OptionValues::autoActive, 0);
}
