#include "ui/ConnectDlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "api/KnownServers.h"
#include "ui/FormParts.h"
#include "ui/MessageBoxes.h"

namespace {

constexpr int kLongestPassword = 1024;
constexpr int kLongestHost = 253;

}  // namespace

CConnectDlg::CConnectDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Connect to server");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Administer the server at this address over TLS:", this));
    auto* form = new QFormLayout;
    m_address = new QLineEdit(this);
    m_address->setMaxLength(kLongestHost);
    m_address->setMinimumWidth(m_address->fontMetrics().horizontalAdvance('x') * 32);
    m_port = MakeDigitsEdit(this, 5);
    m_port->setText(QString::number(kDefaultPort));
    m_port->setFixedWidth(m_port->fontMetrics().horizontalAdvance("000000") + 12);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(kLongestPassword);
    form->addRow("&Address:", m_address);
    form->addRow("&Port:", m_port);
    form->addRow("Pass&word:", m_password);
    layout->addLayout(form);
    m_remember = new QCheckBox("&Remember this server (not the password)", this);
    layout->addWidget(m_remember);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("&OK", QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CConnectDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    ServerUrl remembered;
    if (RememberedServer(remembered)) {
        m_address->setText(QString::fromStdString(remembered.host));
        m_port->setText(QString::number(remembered.port));
        m_remember->setChecked(true);
        m_password->setFocus();
    }
}

QString CConnectDlg::Host() const {
    QString host = m_address->text().trimmed();
    if (host.startsWith('[') && host.endsWith(']')) host = host.mid(1, host.size() - 2);
    return host;
}

int CConnectDlg::Port() const { return m_port->text().toInt(); }

QString CConnectDlg::Password() const { return m_password->text(); }

QString CConnectDlg::Problem() const {
    if (Host().isEmpty()) return "Enter the server's address: a name or an IP address.";
    std::string error;
    ServerUrl parsed;
    if (!ParseServerUrl("https://" + ServerKey(ServerUrl{Host().toStdString(), Port()}), parsed,
                        error)) {
        return Port() < 1 || Port() > 65535
                   ? "The port must be a number from 1 to 65535."
                   : "\"" + m_address->text() + "\" is not a name or an IP address.";
    }
    if (m_password->text().isEmpty()) return "Enter the administrator password of the server.";
    return {};
}

void CConnectDlg::accept() {
    const QString problem = Problem();
    if (!problem.isEmpty()) {
        ShowMessageBox(this, {QMessageBox::Warning, "Connect to server", problem, QMessageBox::Ok});
        return;
    }
    if (m_remember->isChecked()) {
        std::string error;
        if (!RememberServer({Host().toStdString(), Port()}, error))
            ShowMessageBox(this,
                           {QMessageBox::Warning, "Connect to server",
                            "The server cannot be remembered: " + QString::fromStdString(error),
                            QMessageBox::Ok});
    }
    QDialog::accept();
}
