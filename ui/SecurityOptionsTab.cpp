#include "ui/SecurityOptionsTab.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>

#include "config/OptionChecks.h"

namespace {
using V = OptionValues;
}  // namespace

CSecurityOptionsTab::CSecurityOptionsTab(QWidget* parent) : COptionsSection(parent) {
    QFormLayout* form = MakeSectionForm(this);
    m_banAttempts = AddNumberRow(*form, "Ban after:", &V::banAttempts, "Ban after",
                                 "failed logins from one address (0: never)");
    AddNumberRow(*form, "Counted within:", &V::banWindow, "Counted within", "seconds");
    AddNumberRow(*form, "Ban time:", &V::banTime, "Ban time", "seconds, doubled for each repeat");
    AddNumberRow(*form, "Failed login delay:", &V::failDelayMs, "Failed login delay",
                 "milliseconds before the reply");
    AddNumberRow(*form, "Sessions per address:", &V::maxPerAddress, "Sessions per address",
                 "(0: no limit)");
    m_maxPerUser = AddNumberRow(*form, "Sessions per user:", &V::maxPerUser, "Sessions per user",
                                "logged in at once (0: no limit)");
    m_loginTimeout = AddNumberRow(*form, "Login time-out:", &V::loginTimeout, "Login time-out",
                                  "seconds to log in (0: none)");
    AddNumberRow(*form, "Not logged in:", &V::maxNotLoggedIn, "Not logged in",
                 "sessions at most, from all addresses (0: no limit)");
    AddNumberRow(*form, "Checksum limit:", &V::maxHashMiB, "Checksum limit",
                 "MiB one HASH or XCRC may read (0: no limit)");
    m_hashPasswords = new QCheckBox("Hash saved passwords (clear ones at their next login)", this);
    form->addRow(m_hashPasswords);
    connect(m_hashPasswords, &QCheckBox::clicked, this, &COptionsSection::editDone);
}

std::vector<OptionMember> CSecurityOptionsTab::Members() const {
    return {&V::banAttempts,   &V::banWindow,  &V::banTime,      &V::failDelayMs,
            &V::maxPerAddress, &V::maxPerUser, &V::loginTimeout, &V::maxNotLoggedIn,
            &V::hashPasswords, &V::maxHashMiB};
}

void CSecurityOptionsTab::ShowValues(const OptionValues& values) {
    COptionsSection::ShowValues(values);
    m_hashPasswords->setChecked(values.hashPasswords == 1);
}

QString CSecurityOptionsTab::Pull(OptionValues& values) const {
    // Only 1 hashes; another stored number is kept while the box is left unticked.
    const bool hash = m_hashPasswords->isChecked();
    if (hash != (values.hashPasswords == 1)) values.hashPasswords = hash ? 1 : 0;
    return COptionsSection::Pull(values);
}

QString CSecurityOptionsTab::Check(const OptionValues& values) const {
    return QString::fromStdString(SecurityOptionsProblem(values));
}
