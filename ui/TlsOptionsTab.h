// The options page's "TLS" tab: the certificate the server serves (fingerprint and end of
// validity, read-only and copyable) and the [TLS] keys.
#pragma once

#include "ui/OptionsSection.h"
#include "ui/ServerLink.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFormLayout;

class CTlsOptionsTab : public COptionsSection {
    Q_OBJECT
public:
    explicit CTlsOptionsTab(QWidget* parent = nullptr);

    std::vector<OptionMember> Members() const override;
    void ShowValues(const OptionValues& values) override;
    QString Pull(OptionValues& values) const override;
    // The certificate the shown server serves; none: not loaded yet.
    void ShowCertificate(const LinkCertificate& certificate);

    // The fingerprint shown (and copied by its button) in one line; empty for none.
    const QString& Fingerprint() const { return m_fingerprintText; }
    QLineEdit& ValidUntilEdit() { return *m_validUntil; }
    QComboBox& PolicyBox() { return *m_policy; }
    QLineEdit& CertificateFileEdit() { return *m_certificateFile; }
    QLineEdit& KeyFileEdit() { return *m_keyFile; }
    QLineEdit& ImplicitPortEdit() { return *m_implicitPort; }
    QCheckBox& RequireReuseBox() { return *m_requireReuse; }

protected:
    QString Check(const OptionValues& values) const override;

private:
    void CreateCertificateRows(QFormLayout& form);

    QString m_fingerprintText;
    QLabel* m_fingerprint = nullptr;  // in two lines of 16 pairs: the whole of it fits
    QPushButton* m_copy = nullptr;
    QLineEdit* m_validUntil = nullptr;
    QComboBox* m_policy = nullptr;
    QLineEdit* m_certificateFile = nullptr;
    QLineEdit* m_keyFile = nullptr;
    QLineEdit* m_implicitPort = nullptr;
    QCheckBox* m_requireReuse = nullptr;
};
