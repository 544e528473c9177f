#include "ui/IpAddressDlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "config/IpFilter.h"
#include "platform/HostAddresses.h"
#include "ui/MessageBoxes.h"

namespace {
constexpr int kPartLength = 3;
}  // namespace

CIpAddressDlg::CIpAddressDlg(const QString& address, QWidget* parent) : QDialog(parent) {
    setWindowTitle("IP Address");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Enter an IP address:", this));
    auto* row = new QHBoxLayout;
    const auto* digits = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), this);
    const auto* wildcard =
        new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}|\\*"), this);
    const bool isIpv6 = address.contains(':');
    const QStringList given = isIpv6 ? QStringList() : address.split('.');
    for (std::size_t i = 0; i < m_parts.size(); ++i) {
        auto* edit = new QLineEdit(this);
        edit->setMaxLength(kPartLength);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("0000") + 12);
        edit->setAlignment(Qt::AlignCenter);
        edit->setValidator(i < 2 ? digits : wildcard);
        const auto part = static_cast<qsizetype>(i);
        if (part < given.size()) edit->setText(given[part].left(kPartLength));
        m_parts[i] = edit;
        if (i > 0) row->addWidget(new QLabel(".", this));
        row->addWidget(edit);
    }
    row->addStretch();
    layout->addLayout(row);
    layout->addWidget(new QLabel("or an IPv6 address:", this));
    m_ipv6 = new QLineEdit(isIpv6 ? address : QString(), this);
    m_ipv6->setMaxLength(45);
    layout->addWidget(m_ipv6);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("&OK", QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton("&Cancel", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CIpAddressDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QString CIpAddressDlg::Address() const {
    if (!m_ipv6->text().trimmed().isEmpty()) return m_ipv6->text().trimmed();
    QStringList parts;
    for (const QLineEdit* edit : m_parts) parts << edit->text();
    return parts.join('.');
}

void CIpAddressDlg::accept() {
    const std::string entry = Address().toStdString();
    const bool usable =
        m_ipv6->text().trimmed().isEmpty() ? CIpFilter::IsValidEntry(entry) : IsIpv6Text(entry);
    if (usable) {
        QDialog::accept();
        return;
    }
    ShowMessageBox(this, {QMessageBox::Warning, "IP Address",
                          "This address can never match a client. Enter four parts, each a "
                          "number from 0 to 255 (\"*\" for any in the last two), or an IPv6 "
                          "address.",
                          QMessageBox::Ok});
}
