// The certificate of a server met over the network. First contact: its SHA-256
// fingerprint, to compare with the one the server's log shows, and Trust or Cancel.
// Changed certificate: a warning with both fingerprints and only Cancel; the pin is
// never replaced from here.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class CFingerprintDlg : public QDialog {
    Q_OBJECT
public:
    // First contact with `server` ("HOST:PORT"), which shows `fingerprint`.
    CFingerprintDlg(const QString& server, const QString& fingerprint, QWidget* parent = nullptr);
    // `server` now shows `shown`, not the `remembered` fingerprint of `knownServersFile`.
    CFingerprintDlg(const QString& server, const QString& remembered, const QString& shown,
                    const QString& knownServersFile, QWidget* parent = nullptr);

    bool IsChangeWarning() const { return m_changed; }

private:
    QLineEdit* AddFingerprint(const QString& label, const QString& fingerprint);

    bool m_changed = false;
};
