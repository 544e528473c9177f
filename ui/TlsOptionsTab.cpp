#include "ui/TlsOptionsTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/OptionChecks.h"
#include "config/TlsPolicy.h"
#include "platform/Clock.h"

namespace {
using V = OptionValues;

constexpr int kPairsPerLine = 16;  // "AB:" each

// The fingerprint in two lines, cut after a colon, for reading and comparing.
QString InTwoLines(const QString& fingerprint) {
    const int cut = kPairsPerLine * 3;
    return fingerprint.size() > cut ? fingerprint.left(cut) + "\n" + fingerprint.mid(cut)
                                    : fingerprint;
}
}  // namespace

CTlsOptionsTab::CTlsOptionsTab(QWidget* parent) : COptionsSection(parent) {
    // Widgets are made in the order they are shown: that order is the Tab key's.
    QFormLayout* form = MakeSectionForm(this);
    CreateCertificateRows(*form);
    m_policy = new QComboBox(this);
    m_policy->addItem("TLS offered; plain sessions allowed",
                      static_cast<int>(TlsPolicy::PlainAllowed));
    m_policy->addItem("TLS required to log in", static_cast<int>(TlsPolicy::LoginRequired));
    m_policy->addItem("TLS required to log in and for every transfer",
                      static_cast<int>(TlsPolicy::LoginAndDataRequired));
    form->addRow("Policy:", m_policy);
    m_certificateFile = AddFileRow(*form, "Certificate file:", &V::tlsCertificateFile);
    m_certificateFile->setPlaceholderText("empty: the self-signed tls-cert.pem");
    m_keyFile = AddFileRow(*form, "Key file:", &V::tlsKeyFile);
    m_keyFile->setPlaceholderText("empty: the key in the certificate file");
    m_implicitPort = AddNumberRow(*form, "Implicit TLS port:", &V::tlsImplicitPort,
                                  "Implicit TLS port", "TLS from the first byte (990); 0: off");
    m_requireReuse =
        new QCheckBox("Data connections must resume their session's TLS session", this);
    auto* risk = new QLabel(
        "Off: anyone who reaches the passive port first may take over a transfer.", this);
    risk->setStyleSheet("QLabel { color: #8a4b00; }");
    form->addRow(m_requireReuse);
    form->addRow(risk);

    connect(m_policy, &QComboBox::activated, this, &COptionsSection::editDone);
    connect(m_requireReuse, &QCheckBox::clicked, this, &COptionsSection::editDone);
}

// The certificate the server serves: read-only, selectable, and copied whole by a button.
void CTlsOptionsTab::CreateCertificateRows(QFormLayout& form) {
    m_fingerprint = new QLabel(this);
    m_fingerprint->setTextFormat(Qt::PlainText);
    m_fingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                           Qt::TextSelectableByKeyboard);
    m_fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_copy = new QPushButton("Copy", this);
    m_copy->setToolTip("Copy the fingerprint in one line");
    m_validUntil = new QLineEdit(this);
    m_validUntil->setReadOnly(true);  // selectable and copyable
    auto* row = new QHBoxLayout;
    row->addWidget(m_fingerprint);
    row->addWidget(m_copy, 0, Qt::AlignTop);
    row->addStretch();
    form.addRow("Certificate SHA-256:", row);
    form.addRow("Valid until:", m_validUntil);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    form.addRow(line);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(m_fingerprintText); });
    ShowCertificate(std::nullopt);
}

std::vector<OptionMember> CTlsOptionsTab::Members() const {
    return {&V::tlsPolicy, &V::tlsCertificateFile, &V::tlsKeyFile, &V::tlsImplicitPort,
            &V::tlsRequireReuse};
}

void CTlsOptionsTab::ShowValues(const OptionValues& values) {
    COptionsSection::ShowValues(values);
    m_policy->setCurrentIndex(static_cast<int>(TlsPolicyOf(values.tlsPolicy)));
    m_requireReuse->setChecked(values.tlsRequireReuse != 0);
}

QString CTlsOptionsTab::Pull(OptionValues& values) const {
    // A stored number the box has no entry for (it acts as its nearest one) is kept while
    // the box shows what it means.
    const int chosen = m_policy->currentData().toInt();
    if (static_cast<int>(TlsPolicyOf(values.tlsPolicy)) != chosen) values.tlsPolicy = chosen;
    const bool reuse = m_requireReuse->isChecked();
    if (reuse != (values.tlsRequireReuse != 0)) values.tlsRequireReuse = reuse ? 1 : 0;
    return COptionsSection::Pull(values);
}

QString CTlsOptionsTab::Check(const OptionValues& values) const {
    return QString::fromStdString(TlsOptionsProblem(values));
}

void CTlsOptionsTab::ShowCertificate(const LinkCertificate& certificate) {
    m_fingerprintText = certificate ? QString::fromStdString(certificate->fingerprint) : QString();
    m_copy->setEnabled(certificate.has_value());
    if (!certificate) {
        m_fingerprint->setText("none loaded yet: the server loads it when it starts");
        m_validUntil->clear();
        return;
    }
    m_fingerprint->setText(InTwoLines(m_fingerprintText));
    const QString when =
        QString::fromStdString(FormatUtcTime(certificate->notAfter, "%Y-%m-%d %H:%M:%S UTC"));
    const QString left = certificate->daysLeft < 0
                             ? QString("expired")
                             : QString("%1 days left").arg(certificate->daysLeft);
    m_validUntil->setText(QString("%1 (%2)").arg(when, left));
}
