#include "ui/IpFilterDlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "config/FilterMode.h"
#include "config/IpFilter.h"
#include "ui/IpAddressDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/SettingsAccess.h"

namespace {

std::optional<std::string> AskWithDialog(QWidget* parent, const std::string& entry) {
    CIpAddressDlg dialog(QString::fromStdString(entry), parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Address().toStdString();
}

}  // namespace

CIpFilterDlg::CIpFilterDlg(CSettingsAccess& settings, QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_askAddress([this](const std::string& entry) { return AskWithDialog(this, entry); }) {
    setWindowTitle("IP Filter");
    m_entries = new QStringListModel(this);
    m_list = new QListView(this);
    m_list->setModel(m_entries);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_add = new QPushButton("Add", this);
    m_edit = new QPushButton("Edit", this);
    m_remove = new QPushButton("Remove", this);
    connect(m_add, &QPushButton::clicked, this, &CIpFilterDlg::AddEntry);
    connect(m_edit, &QPushButton::clicked, this, &CIpFilterDlg::EditEntry);
    connect(m_remove, &QPushButton::clicked, this, &CIpFilterDlg::RemoveEntry);

    auto* modeBox = m_modeBox = new QGroupBox("Filter mode:", this);
    auto* modeLayout = new QVBoxLayout(modeBox);
    m_modeButtons = new QButtonGroup(this);
    const char* const names[] = {"None", "Deny Access from these IPs",
                                 "Allow Access from these IPs"};
    for (int mode = 0; mode < 3; ++mode) {
        auto* radio = new QRadioButton(names[mode], modeBox);
        m_modeButtons->addButton(radio, mode);
        modeLayout->addWidget(radio);
    }
    connect(m_modeButtons, &QButtonGroup::idClicked, this, &CIpFilterDlg::SetMode);

    auto* editButtons = new QHBoxLayout;
    editButtons->addWidget(m_add);
    editButtons->addWidget(m_edit);
    editButtons->addWidget(m_remove);
    editButtons->addStretch();
    auto* closeButtons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = closeButtons->button(QDialogButtonBox::Ok);
    connect(closeButtons, &QDialogButtonBox::accepted, this, &CIpFilterDlg::accept);
    connect(closeButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("IP Filter:", this));
    layout->addWidget(m_list);
    layout->addLayout(editButtons);
    layout->addWidget(modeBox);
    layout->addWidget(closeButtons);
    SetMode(m_mode);
    // Saving lists never read would wipe them; nothing is edited before they are shown.
    m_ok->setEnabled(false);
    m_modeBox->setEnabled(false);
    m_settings.ReadIpFilter([dialog = QPointer(this)](const IpFilterRead& read) {
        if (dialog != nullptr) dialog->ShowRead(read);
    });
}

void CIpFilterDlg::ShowRead(const IpFilterRead& read) {
    if (!read.ok) {
        ShowMessageBox(this, {QMessageBox::Warning, "IP Filter",
                              "The IP filter could not be read: " + read.error, QMessageBox::Ok});
        return;
    }
    m_allowText = read.state.allowText;
    m_denyText = read.state.denyText;
    SetMode(read.state.mode);
    m_modeBox->setEnabled(true);
    m_ok->setEnabled(true);
}

std::string* CIpFilterDlg::CurrentList() {
    if (m_mode == static_cast<int>(FilterMode::RefuseDenied)) return &m_denyText;
    if (m_mode == static_cast<int>(FilterMode::AllowedOnly)) return &m_allowText;
    return nullptr;
}

std::string CIpFilterDlg::ListText() const {
    if (m_mode == static_cast<int>(FilterMode::RefuseDenied)) return m_denyText;
    if (m_mode == static_cast<int>(FilterMode::AllowedOnly)) return m_allowText;
    return {};
}

void CIpFilterDlg::SetMode(int mode) {
    m_mode = mode;
    if (QAbstractButton* chosen = m_modeButtons->button(mode)) chosen->setChecked(true);
    ShowList();
}

void CIpFilterDlg::ShowList() {
    const std::string* text = CurrentList();
    QStringList rows;
    if (text != nullptr)
        for (const std::string& entry : CIpFilter::SplitEntries(*text))
            rows << QString::fromStdString(entry);
    m_entries->setStringList(rows);
    for (QPushButton* button : {m_add, m_edit, m_remove}) button->setEnabled(text != nullptr);
}

// The list text of the current mode, rebuilt from the rows.
void CIpFilterDlg::StoreList() {
    std::vector<std::string> entries;
    for (const QString& row : m_entries->stringList()) entries.push_back(row.toStdString());
    if (std::string* text = CurrentList()) *text = CIpFilter::JoinEntries(entries);
}

int CIpFilterDlg::SelectedRow() const {
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.front().row();
}

bool CIpFilterDlg::RequireSelection() {
    if (SelectedRow() >= 0) return true;
    ShowMessageBox(this, {QMessageBox::NoIcon, "Tarvona FTP Server", "Please select a IP Address!",
                          QMessageBox::Ok});
    return false;
}

void CIpFilterDlg::AddEntry() {
    const std::string* text = CurrentList();
    if (text == nullptr) return;
    const std::optional<std::string> entry = m_askAddress({});
    if (!entry || entry->empty()) return;
    // Whole entries: 10.0.0.1 is added beside 10.0.0.12.
    if (CIpFilter::ContainsEntry(*text, *entry)) return;
    const int row = m_entries->rowCount();
    m_entries->insertRows(row, 1);
    m_entries->setData(m_entries->index(row), QString::fromStdString(*entry));
    StoreList();
}

void CIpFilterDlg::EditEntry() {
    if (!RequireSelection()) return;
    const QModelIndex index = m_entries->index(SelectedRow());
    const std::optional<std::string> entry = m_askAddress(index.data().toString().toStdString());
    if (!entry || entry->empty()) return;
    m_entries->setData(index, QString::fromStdString(*entry));
    m_list->setCurrentIndex(index);
    StoreList();
}

void CIpFilterDlg::RemoveEntry() {
    if (!RequireSelection()) return;
    m_entries->removeRows(SelectedRow(), 1);
    if (m_entries->rowCount() > 0) m_list->setCurrentIndex(m_entries->index(0));
    StoreList();
}

void CIpFilterDlg::accept() {
    if (!m_ok->isEnabled()) return;  // not read yet, or a save under way
    m_ok->setEnabled(false);
    m_settings.SaveIpFilter({m_mode, m_allowText, m_denyText},
                            [dialog = QPointer(this)](const IpFilterSaveResult& result) {
                                if (dialog != nullptr) dialog->EndSave(result);
                            });
}

void CIpFilterDlg::EndSave(const IpFilterSaveResult& result) {
    m_ok->setEnabled(true);
    if (!result.inForce) {
        ShowMessageBox(this, {QMessageBox::Warning, "IP Filter",
                              "The IP filter was not changed: " + result.error, QMessageBox::Ok});
        return;
    }
    // The filter already works with the new lists; say so when the next start would not.
    if (!result.error.isEmpty())
        ShowMessageBox(
            this,
            {QMessageBox::Warning, "IP Filter",
             "The filter is in force, but could not be saved for the next start: " + result.error,
             QMessageBox::Ok});
    QDialog::accept();
}
