// "Connect to server": the address, port and administrator password of a server's TLS
// listener. "Remember this server" keeps the address and port (never the password) for
// the next time.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;

class CConnectDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultPort = 14148;

    // Filled with the remembered server, if any.
    explicit CConnectDlg(QWidget* parent = nullptr);

    QString Host() const;
    int Port() const;
    QString Password() const;
    QLineEdit& AddressEdit() { return *m_address; }
    QLineEdit& PortEdit() { return *m_port; }
    QLineEdit& PasswordEdit() { return *m_password; }
    QCheckBox& RememberBox() { return *m_remember; }

public slots:
    // Closes only for a usable address and port (else says why), remembering the server
    // when asked to.
    void accept() override;

private:
    QString Problem() const;

    QLineEdit* m_address = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_remember = nullptr;
};
