// The options page's "Security" tab: the [Security] abuse limits, each with its unit.
#pragma once

#include "ui/OptionsSection.h"

class QCheckBox;

class CSecurityOptionsTab : public COptionsSection {
    Q_OBJECT
public:
    explicit CSecurityOptionsTab(QWidget* parent = nullptr);

    std::vector<OptionMember> Members() const override;
    void ShowValues(const OptionValues& values) override;
    QString Pull(OptionValues& values) const override;

    QLineEdit& BanAttemptsEdit() { return *m_banAttempts; }
    QLineEdit& LoginTimeoutEdit() { return *m_loginTimeout; }
    QLineEdit& MaxPerUserEdit() { return *m_maxPerUser; }
    QCheckBox& HashPasswordsBox() { return *m_hashPasswords; }

protected:
    QString Check(const OptionValues& values) const override;

private:
    QLineEdit* m_banAttempts = nullptr;
    QLineEdit* m_loginTimeout = nullptr;
    QLineEdit* m_maxPerUser = nullptr;
    QCheckBox* m_hashPasswords = nullptr;
};
