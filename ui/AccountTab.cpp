#include "ui/AccountTab.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "accounts/AccountFields.h"
#include "accounts/PermissionText.h"
#include "accounts/RecordText.h"
#include "ui/DirectoryBrowser.h"
#include "ui/GroupSelectDlg.h"
#include "ui/PermissionBoxes.h"

namespace {
constexpr char kDateFormat[] = "yyyy-MM-dd";

// The date of "reserved" (ParseExpiry); a text without a valid date leaves the picker on
// today.
QDate DateOf(const std::string& dateText) {
    const QString text = QString::fromStdString(dateText);
    const QDate date(text.left(4).toInt(), text.mid(5, 2).toInt(), text.mid(8, 2).toInt());
    return date.isValid() ? date : QDate::currentDate();
}

QHBoxLayout* WithButton(QWidget* edit, QPushButton* button) {
    button->setFixedWidth(32);
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(button);
    return row;
}
}  // namespace

CAccountTab::CAccountTab(CAccountAccess& access, QWidget* parent)
    : QWidget(parent),
      m_access(access),
      m_enable(new QCheckBox("Enable this account", this)),
      m_autoDisable(new QCheckBox("Automatically disable account on date", this)),
      m_date(new QDateEdit(this)),
      m_name(new QLineEdit(this)),
      m_password(new QLineEdit(this)),
      m_showPassword(new QCheckBox("Show", this)),
      m_groups(new QLineEdit(this)),
      m_groupButton(new QPushButton("...", this)),
      m_email(new QLineEdit(this)),
      m_home(new QLineEdit(this)),
      m_homeButton(new QPushButton("...", this)),
      m_permissions(new CPermissionBoxes(this)) {
    m_date->setDisplayFormat(kDateFormat);
    m_date->setCalendarPopup(true);
    m_password->setEchoMode(QLineEdit::Password);
    connect(m_showPassword, &QCheckBox::toggled, this, [this](bool show) {
        m_password->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(m_enable, &QCheckBox::toggled, this, &CAccountTab::ApplyEnabling);
    connect(m_autoDisable, &QCheckBox::toggled, this, &CAccountTab::ApplyEnabling);
    connect(m_groupButton, &QPushButton::clicked, this, &CAccountTab::SelectGroups);
    connect(m_homeButton, &QPushButton::clicked, this,
            [this] { BrowseForDirectory(this, *m_home); });
    auto* dateRow = new QHBoxLayout;
    dateRow->addWidget(m_autoDisable);
    dateRow->addWidget(m_date);
    dateRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enable);
    layout->addLayout(dateRow);
    layout->addWidget(MakeFields());
    layout->addWidget(m_permissions);
    layout->addStretch();
    FillNew({});
}

QWidget* CAccountTab::MakeFields() {
    auto* fields = new QWidget(this);
    auto* form = new QFormLayout(fields);
    form->setContentsMargins(0, 0, 0, 0);
    form->addRow("Username:", m_name);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(m_password);
    passwordRow->addWidget(m_showPassword);
    form->addRow("Password:", passwordRow);
    form->addRow("Group:", WithButton(m_groups, m_groupButton));
    form->addRow("Email:", m_email);
    form->addRow("Home Dir:", WithButton(m_home, m_homeButton));
    return fields;
}

void CAccountTab::ApplyEnabling() {
    const bool on = m_enable->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_name, m_password, m_showPassword, m_groups,
                                                      m_groupButton, m_email, m_home, m_homeButton,
                                                      m_permissions})
        w->setEnabled(on);
    m_date->setEnabled(m_autoDisable->isChecked());
}

void CAccountTab::FillNew(const QString& homeDir) {
    UserRecord user;
    user.status = "1";
    user.homeDir = homeDir.toStdString();
    user.permissions = PermissionsFromText(kDefaultPermissionText);
    Fill(user, {});
}

void CAccountTab::Fill(const UserRecord& user, const QString& groupNames, bool passwordShown) {
    const ExpiryText expiry = ParseExpiry(user.reserved);
    m_passwordShown = passwordShown;
    m_password->setPlaceholderText(passwordShown ? QString() : "(unchanged)");
    m_enable->setChecked(IsStatusEnabled(user.status));
    m_autoDisable->setChecked(expiry.on);
    m_date->setDate(DateOf(expiry.date));
    m_name->setText(QString::fromStdString(user.name));
    m_password->setText(QString::fromStdString(user.password));
    m_groups->setText(groupNames);
    m_email->setText(QString::fromStdString(user.email));
    m_home->setText(QString::fromStdString(user.homeDir));
    m_permissions->SetPermissions(user.permissions);
    ApplyEnabling();
}

void CAccountTab::Store(UserRecord& user) const {
    user.status = m_enable->isChecked() ? "1" : "0";
    user.reserved = (m_autoDisable->isChecked() ? "1," : "0,") +
                    m_date->date().toString(kDateFormat).toStdString();
    user.name = m_name->text().toStdString();
    user.password = m_password->text().toStdString();
    user.email = m_email->text().toStdString();
    user.homeDir = m_home->text().toStdString();
    user.permissions = m_permissions->Permissions();
}

QString CAccountTab::GroupNames() const { return m_groups->text(); }

bool CAccountTab::PasswordGiven() const { return m_passwordShown || !m_password->text().isEmpty(); }

std::vector<std::string_view> CAccountTab::OwnedFields() {
    using U = UserRecord;
    std::vector<std::string_view> names{FieldName(&U::status), FieldName(&U::reserved),
                                        FieldName(&U::name),   FieldName(&U::password),
                                        FieldName(&U::groups), FieldName(&U::email),
                                        FieldName(&U::homeDir)};
    for (const PermissionRow& row : kPermissionRows) names.push_back(row.field);
    return names;
}

void CAccountTab::SelectGroups() {
    CGroupSelectDlg dialog(m_access, m_groups->text(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    m_groups->setText(AppendGroupSelection(m_groups->text(), dialog.Selection()));
}
