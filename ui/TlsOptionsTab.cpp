#include "ui/TlsOptionsTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "config/OptionChecks.h"
#include "config/TlsPolicy.h"
#include "platform/Clock.h"

namespace {
using V = OptionValues;

QLineEdit* ReadOnlyEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);  // selectable and copyable
    return edit;
}
}  // namespace

CTlsOptionsTab::CTlsOptionsTab(QWidget* parent) : COptionsSection(parent) {
    m_policy = new QComboBox(this);
    m_policy->addItem("TLS offered; plain sessions allowed",
                      static_cast<int>(TlsPolicy::PlainAllowed));
    m_policy->addItem("TLS required to log in", static_cast<int>(TlsPolicy::LoginRequired));
    m_policy->addItem("TLS required to log in and for every transfer",
                      static_cast<int>(TlsPolicy::LoginAndDataRequired));
    m_requireReuse =
        new QCheckBox("Data connections must resume their session's TLS session", this);
    auto* risk = new QLabel(
        "Off: anyone who reaches the passive port first may take over a transfer.", this);
    risk->setStyleSheet("QLabel { color: #8a4b00; }");

    auto* settings = new QWidget(this);
    QFormLayout* form = MakeSectionForm(settings);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow("Policy:", m_policy);
    m_certificateFile = AddFileRow(*form, "Certificate file:", &V::tlsCertificateFile);
    m_certificateFile->setPlaceholderText("empty: the self-signed tls-cert.pem");
    m_keyFile = AddFileRow(*form, "Key file:", &V::tlsKeyFile);
    m_keyFile->setPlaceholderText("empty: the key in the certificate file");
    m_implicitPort =
        AddNumberRow(*form, "Implicit TLS port:", &V::tlsImplicitPort, "Implicit TLS port",
                     "0: off (TLS from the first byte, as on port 990)");
    form->addRow(m_requireReuse);
    form->addRow(risk);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateCertificateGroup());
    layout->addWidget(settings);
    layout->addStretch();

    connect(m_policy, &QComboBox::activated, this, &COptionsSection::editDone);
    connect(m_requireReuse, &QCheckBox::clicked, this, &COptionsSection::editDone);
}

QWidget* CTlsOptionsTab::CreateCertificateGroup() {
    auto* group = new QGroupBox("Certificate in use", this);
    m_fingerprint = ReadOnlyEdit(group);
    m_validUntil = ReadOnlyEdit(group);
    QFormLayout* form = MakeSectionForm(group);
    form->addRow("SHA-256:", m_fingerprint);
    form->addRow("Valid until:", m_validUntil);
    ShowCertificate(std::nullopt);
    return group;
}

std::vector<OptionMember> CTlsOptionsTab::Members() const {
    return {&V::tlsPolicy, &V::tlsCertificateFile, &V::tlsKeyFile, &V::tlsImplicitPort,
            &V::tlsRequireReuse};
}

void CTlsOptionsTab::ShowValues(const OptionValues& values) {
    COptionsSection::ShowValues(values);
    m_storedPolicy = values.tlsPolicy;
    m_storedReuse = values.tlsRequireReuse;
    m_policy->setCurrentIndex(static_cast<int>(TlsPolicyOf(values.tlsPolicy)));
    m_requireReuse->setChecked(values.tlsRequireReuse != 0);
}

QString CTlsOptionsTab::Pull(OptionValues& values) const {
    const int chosen = m_policy->currentData().toInt();
    values.tlsPolicy =
        static_cast<int>(TlsPolicyOf(m_storedPolicy)) == chosen ? m_storedPolicy : chosen;
    const bool reuse = m_requireReuse->isChecked();
    values.tlsRequireReuse = reuse == (m_storedReuse != 0) ? m_storedReuse : (reuse ? 1 : 0);
    return COptionsSection::Pull(values);
}

QString CTlsOptionsTab::Check(const OptionValues& values) const {
    return QString::fromStdString(TlsOptionsProblem(values));
}

void CTlsOptionsTab::ShowCertificate(const LinkCertificate& certificate) {
    if (!certificate) {
        m_fingerprint->setText("(none loaded yet: the server loads it when it starts)");
        m_validUntil->clear();
        return;
    }
    m_fingerprint->setText(QString::fromStdString(certificate->fingerprint));
    m_fingerprint->setCursorPosition(0);
    const QString when =
        QString::fromStdString(FormatUtcTime(certificate->notAfter, "%Y-%m-%d %H:%M:%S UTC"));
    const QString left = certificate->daysLeft < 0
                             ? QString("expired")
                             : QString("%1 days left").arg(certificate->daysLeft);
    m_validUntil->setText(QString("%1 (%2)").arg(when, left));
}
