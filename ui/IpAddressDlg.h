// "IP Address": one entry of an IP filter list, typed as four parts (digits; "*" allowed
// in the last two) or as one IPv6 address.
#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QLineEdit;

class CIpAddressDlg : public QDialog {
    Q_OBJECT
public:
    // `address` is shown split into the edits (empty for a new entry).
    explicit CIpAddressDlg(const QString& address, QWidget* parent = nullptr);

    // The entry: the four parts joined by dots, or the IPv6 address. Valid after OK.
    QString Address() const;
    QLineEdit& Part(int index) { return *m_parts.at(static_cast<std::size_t>(index)); }
    QLineEdit& Ipv6Edit() { return *m_ipv6; }

public slots:
    // Closes the dialog only for an entry that can match a client; otherwise says why.
    void accept() override;

private:
    std::array<QLineEdit*, 4> m_parts{};
    QLineEdit* m_ipv6 = nullptr;
};
