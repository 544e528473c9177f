// The options page's "ACME" tab: the [ACME] keys of a certificate a CA issues and the
// server renews.
#pragma once

#include "ui/OptionsSection.h"

class CAcmeOptionsTab : public COptionsSection {
    Q_OBJECT
public:
    explicit CAcmeOptionsTab(QWidget* parent = nullptr);

    std::vector<OptionMember> Members() const override;

    QLineEdit& DomainsEdit() { return *m_domains; }
    QLineEdit& DirectoryEdit() { return *m_directory; }
    QLineEdit& EmailEdit() { return *m_email; }
    QLineEdit& HttpPortEdit() { return *m_httpPort; }
    QLineEdit& DirectoryCaFileEdit() { return *m_caFile; }

protected:
    QString Check(const OptionValues& values) const override;

private:
    QLineEdit* m_domains = nullptr;
    QLineEdit* m_directory = nullptr;
    QLineEdit* m_email = nullptr;
    QLineEdit* m_httpPort = nullptr;
    QLineEdit* m_caFile = nullptr;
};
