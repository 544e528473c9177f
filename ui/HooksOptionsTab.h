// The options page's "Hooks" tab: the [Hooks] keys, a program line and a URL per event,
// the signing secret and the dispatcher's bounds.
#pragma once

#include <vector>

#include "ui/OptionsSection.h"

class CHooksOptionsTab : public COptionsSection {
    Q_OBJECT
public:
    explicit CHooksOptionsTab(QWidget* parent = nullptr);

    std::vector<OptionMember> Members() const override;

    // By event, in the order of HookKeyRows (config/HookKeys.h).
    QLineEdit& ProgramEdit(std::size_t event) { return *m_programs.at(event); }
    QLineEdit& UrlEdit(std::size_t event) { return *m_urls.at(event); }
    QLineEdit& SecretEdit() { return *m_secret; }

protected:
    QString Check(const OptionValues& values) const override;

private:
    std::vector<QLineEdit*> m_programs;
    std::vector<QLineEdit*> m_urls;
    QLineEdit* m_secret = nullptr;
};
