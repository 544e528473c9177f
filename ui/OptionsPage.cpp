#include "ui/OptionsPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "config/Autostart.h"
#include "net/PublicAddress.h"
#include "platform/HostAddresses.h"
#include "platform/Text.h"
#include "ui/AcmeOptionsTab.h"
#include "ui/FormParts.h"
#include "ui/FtpUrls.h"
#include "ui/HooksOptionsTab.h"
#include "ui/IpFilterDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/SecurityOptionsTab.h"
#include "ui/ServiceDlg.h"
#include "ui/SettingsAccess.h"
#include "ui/TlsOptionsTab.h"

namespace {

using V = OptionValues;
// The keys a save writes, in their order.
const std::array<OptionMember, 8> kPageKeys{&V::startup, &V::autoActive, &V::minimize,
                                            &V::saveLog, &V::port,       &V::minPort,
                                            &V::maxPort, &V::passiveIp};

struct ShownKey {
    OptionMember member;
    const char* name;
};

// What the note below the tabs calls a key.
const ShownKey kShownNames[] = {
    {&V::port, "Port"},
    {&V::minPort, "Passive port range"},
    {&V::maxPort, "Passive port range"},
    {&V::passiveIp, "Passive IP address"},
    {&V::startup, "Launch at login"},
    {&V::autoActive, "Activate at startup"},
    {&V::minimize, "Start minimized"},
    {&V::saveLog, "Save log to file"},
    {&V::tlsPolicy, "TLS policy"},
    {&V::tlsCertificateFile, "Certificate file"},
    {&V::tlsKeyFile, "Key file"},
    {&V::tlsImplicitPort, "Implicit TLS port"},
    {&V::tlsRequireReuse, "TLS session reuse"},
    {&V::acmeDomains, "ACME domains"},
    {&V::acmeDirectory, "ACME directory"},
    {&V::acmeEmail, "ACME e-mail"},
    {&V::acmeHttpPort, "ACME HTTP port"},
    {&V::acmeDirectoryCaFile, "ACME directory CA file"},
};

const char* ShownName(const OptionMember& member) {
    for (const ShownKey& key : kShownNames)
        if (key.member == member) return key.name;
    return "Other options";
}

// A tab that scrolls when the window is smaller than its controls.
QScrollArea* Scrolling(QWidget* content, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    return area;
}

QLineEdit* NumberEdit(QWidget* parent, int width) {
    QLineEdit* edit = MakeDigitsEdit(parent);
    edit->setMaximumWidth(width);
    return edit;
}

}  // namespace

COptionsPage::COptionsPage(CSettingsAccess& settings, std::string programDir, QWidget* parent)
    : QWidget(parent), m_settings(&settings), m_programDir(std::move(programDir)) {
    CreateControls();
    Reload();
}

void COptionsPage::SetAccess(CSettingsAccess& settings) {
    m_settings = &settings;
    Reload();
}

void COptionsPage::SetOnRemoteMachine(bool remote) {
    m_remote = remote;
    m_service->setVisible(!remote);
    m_logFolder->setVisible(!remote);
    for (COptionsSection* section : m_sections) section->SetOnRemoteMachine(remote);
}

void COptionsPage::ShowCertificate(const LinkCertificate& certificate) {
    m_tlsTab->ShowCertificate(certificate);
}

void COptionsPage::Reload() {
    setEnabled(false);  // until the server's values are shown
    m_settings->ReadOptions([page = QPointer(this)](const OptionsRead& read) {
        if (page == nullptr) return;
        if (!read.ok) {
            page->m_nextStartNote->setText("The options could not be read: " + read.error);
            return;
        }
        page->m_values = page->m_stored = read.values;
        page->m_nextStart.clear();
        page->m_nextStartNote->clear();
        page->ShowValues();
        page->FillPassiveList();
        page->FillUrlList();
        page->m_restart->setEnabled(false);
        page->setEnabled(true);
    });
}

void COptionsPage::CreateControls() {
    m_nextStartNote = new QLabel(this);
    m_nextStartNote->setWordWrap(true);
    m_tlsTab = new CTlsOptionsTab(this);
    m_securityTab = new CSecurityOptionsTab(this);
    m_acmeTab = new CAcmeOptionsTab(this);
    m_hooksTab = new CHooksOptionsTab(this);
    m_sections = {m_tlsTab, m_securityTab, m_acmeTab, m_hooksTab};
    m_sectionTabs = new QTabWidget(this);
    m_sectionTabs->addTab(Scrolling(CreateGeneralTab(), this), "General");
    m_sectionTabs->addTab(Scrolling(m_tlsTab, this), "TLS");
    m_sectionTabs->addTab(Scrolling(m_securityTab, this), "Security");
    m_sectionTabs->addTab(Scrolling(m_acmeTab, this), "ACME");
    m_sectionTabs->addTab(Scrolling(m_hooksTab, this), "Hooks");
    for (COptionsSection* section : m_sections)
        connect(section, &COptionsSection::editDone, this, &COptionsPage::SaveOptions);
    auto* layout = new QVBoxLayout(this);
    // Narrow margins: the General tab fits at the window's default size, with the status
    // line's certificate warning too.
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_sectionTabs, 1);
    layout->addWidget(m_nextStartNote);
}

QWidget* COptionsPage::CreateGeneralTab() {
    auto* general = new QWidget(this);
    m_port = NumberEdit(this, 80);
    m_restart = new QPushButton("Restart", this);
    m_urls = new QComboBox(this);
    m_urls->setEditable(true);
    m_urls->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_go = new QPushButton("Go", this);
    m_startup = new QCheckBox("Launch Server at login", this);
    m_minimize = new QCheckBox("Startup minimized in systemtray", this);
    m_autoActive = new QCheckBox("Automatically activate server at startup", this);
    m_saveLog = new QCheckBox("Save log to file", this);
    m_logFolder = new QPushButton("...", this);
    m_logFolder->setToolTip("Open the log folder");
    m_logFolder->setMaximumWidth(32);
    m_ipFilter = new QPushButton("IP Filter...", this);
    m_service = new QPushButton("Service...", this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Port:", this), 0, 0);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port);
    portRow->addWidget(m_restart);
    portRow->addStretch();
    grid->addLayout(portRow, 0, 1);
    grid->addWidget(new QLabel("URL:", this), 1, 0);
    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(m_urls);
    urlRow->addWidget(m_go);
    grid->addLayout(urlRow, 1, 1);
    auto* logRow = new QHBoxLayout;
    logRow->addWidget(m_saveLog);
    logRow->addWidget(m_logFolder);
    logRow->addStretch();
    auto* dialogs = new QHBoxLayout;
    dialogs->addWidget(m_ipFilter);
    dialogs->addWidget(m_service);
    dialogs->addStretch();

    auto* layout = new QVBoxLayout(general);
    layout->addLayout(grid);
    for (QCheckBox* box : {m_startup, m_minimize, m_autoActive}) layout->addWidget(box);
    layout->addLayout(logRow);
    layout->addLayout(dialogs);
    layout->addWidget(CreatePassiveGroup());
    layout->addStretch();

    connect(m_port, &QLineEdit::textEdited, this, [this] { m_restart->setEnabled(true); });
    connect(m_restart, &QPushButton::clicked, this, &COptionsPage::Restart);
    connect(m_go, &QPushButton::clicked, this, &COptionsPage::OpenUrl);
    for (QCheckBox* box : {m_startup, m_minimize, m_autoActive, m_saveLog})
        connect(box, &QCheckBox::clicked, this, &COptionsPage::SaveOptions);
    // The autostart entry follows this box alone: the window brought it in line with the
    // option when it opened. A failure is not worth a box here.
    connect(m_startup, &QCheckBox::clicked, this, [this](bool on) {
        if (m_remote) return;
        (void)ApplyStartupOption(on ? 1 : 0, QCoreApplication::applicationFilePath().toStdString(),
                                 DefaultAutostartDir(), nullptr);
    });
    connect(m_logFolder, &QPushButton::clicked, this, &COptionsPage::OpenLogFolder);
    connect(m_ipFilter, &QPushButton::clicked, this, &COptionsPage::RunIpFilter);
    connect(m_service, &QPushButton::clicked, this, &COptionsPage::RunService);
    return general;
}

QWidget* COptionsPage::CreatePassiveGroup() {
    auto* group = new QGroupBox("Passive options", this);
    m_passiveAddress = new QComboBox(group);
    m_passiveAddress->setMinimumWidth(160);
    m_minPort = NumberEdit(group, 80);
    m_maxPort = NumberEdit(group, 80);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("IP Address", group), 0, 0);
    grid->addWidget(m_passiveAddress, 0, 1, 1, 3, Qt::AlignLeft);
    grid->addWidget(new QLabel("Port range", group), 1, 0);
    grid->addWidget(m_minPort, 1, 1);
    grid->addWidget(new QLabel("~", group), 1, 2);
    grid->addWidget(m_maxPort, 1, 3, Qt::AlignLeft);
    grid->setColumnStretch(4, 1);
    connect(m_passiveAddress, &QComboBox::activated, this, &COptionsPage::SaveOptions);
    // Saved when the edit is done (Enter, or the focus leaves) and on Restart, never a
    // half-typed number.
    for (QLineEdit* edit : {m_minPort, m_maxPort})
        connect(edit, &QLineEdit::editingFinished, this, &COptionsPage::SaveOptions);
    return group;
}

void COptionsPage::ShowValues() {
    m_port->setText(QString::number(m_values.port));
    m_startup->setChecked(m_values.startup == 1);
    m_minimize->setChecked(m_values.minimize == 1);
    m_autoActive->setChecked(m_values.autoActive == 1);
    m_saveLog->setChecked(m_values.saveLog == 1);
    m_minPort->setText(QString::number(m_values.minPort));
    m_maxPort->setText(QString::number(m_values.maxPort));
    for (COptionsSection* section : m_sections) section->ShowValues(m_values);
}

bool COptionsPage::PullPort(QLineEdit& edit, int& value, const char* message) {
    bool ok = false;
    const int number = edit.text().toInt(&ok);
    if (ok) {
        value = number;
        return true;
    }
    ShowMessageBox(this, {QMessageBox::Warning, "Tarvona FTP Server", message, QMessageBox::Ok});
    edit.setFocus();
    return false;
}

bool COptionsPage::PullControls() {
    bool ok = PullPort(*m_port, m_values.port, "Please enter an integer.");
    ok = ok && PullPort(*m_minPort, m_values.minPort, "Please enter a positive integer.");
    ok = ok && PullPort(*m_maxPort, m_values.maxPort, "Please enter a positive integer.");
    m_values.startup = m_startup->isChecked() ? 1 : 0;
    m_values.minimize = m_minimize->isChecked() ? 1 : 0;
    m_values.autoActive = m_autoActive->isChecked() ? 1 : 0;
    m_values.saveLog = m_saveLog->isChecked() ? 1 : 0;
    m_values.passiveIp = m_passiveAddress->currentText().toStdString();
    return ok;
}

void COptionsPage::FillUrlList() {
    (void)PullControls();
    const OptionValues& stored = m_stored;
    UrlListInput input;
    input.port = m_values.port;
    input.dnsEnable = stored.dnsEnable;
    input.dnsName = stored.dnsName;
    input.dnsHost = UrlHost(stored.dnsUpdateUrl);
    input.user = stored.defaultUser;
    input.password = stored.defaultPass;
    input.addresses = LocalIpv4Addresses();
    m_urls->clear();
    for (const std::string& url : BuildUrlList(input)) m_urls->addItem(QString::fromStdString(url));
    m_urls->setCurrentIndex(0);
}

void COptionsPage::FillPassiveList() {
    const std::string& stored = m_values.passiveIp;
    m_passiveAddress->clear();
    m_passiveAddress->addItem("Auto");
    int selected = 0;
    for (const std::string& address : LocalIpv4Addresses()) {
        m_passiveAddress->addItem(QString::fromStdString(address));
        if (EqualsNoCase(address, stored)) selected = m_passiveAddress->count() - 1;
    }
    m_passiveAddress->setCurrentIndex(selected);
}

void COptionsPage::SaveOptions() {
    SaveChanged([] {});
}

bool COptionsPage::PullSections() {
    OptionValues pulled = m_values;
    for (COptionsSection* section : m_sections) {
        const QString problem = section->Pull(pulled);
        if (problem.isEmpty()) continue;
        for (int i = 0; i < m_sectionTabs->count(); ++i)
            if (m_sectionTabs->widget(i)->isAncestorOf(section)) m_sectionTabs->setCurrentIndex(i);
        ShowMessageBox(this, {QMessageBox::Warning, "Tarvona FTP Server",
                              "The options were not saved: " + problem, QMessageBox::Ok});
        return false;
    }
    m_values = pulled;
    return true;
}

void COptionsPage::SaveChanged(std::function<void()> then) {
    (void)PullControls();         // a refused edit keeps its previous value
    if (!PullSections()) return;  // nothing is saved while a tab holds a value it refuses
    std::vector<OptionMember> keys(kPageKeys.begin(), kPageKeys.end());
    for (const COptionsSection* section : m_sections)
        for (const OptionMember& member : section->Members()) keys.push_back(member);
    std::vector<OptionMember> changed;
    for (const OptionMember& member : keys)
        if (!SameOptionValue(m_values, m_stored, member)) changed.push_back(member);
    if (changed.empty()) {
        then();
        return;
    }
    SaveKeys(m_values, std::move(changed), std::move(then));
}

void COptionsPage::SaveKeys(const OptionValues& values, std::vector<OptionMember> members,
                            std::function<void()> then) {
    m_settings->SaveOptions(
        values, members,
        [page = QPointer(this), values, members, then](const OptionsSaveResult& result) {
            if (page == nullptr) return;
            if (result.ok)
                for (const OptionMember& member : members)
                    CopyOptionValue(values, page->m_stored, member);
            page->EndSave(result);
            then();
        });
}

// A refused save keeps the controls as they are: the edit is not lost, and the next save
// sends it again.
void COptionsPage::EndSave(const OptionsSaveResult& result) {
    if (result.ok) {
        ShowNextStart(result.nextStart);
        emit OptionsSaved();
        return;
    }
    if (result.stale) {
        const QString text = QString("The options were not saved: ") + kChangedBySomeoneElse;
        if (ShowMessageBox(this, {QMessageBox::Question, "Tarvona FTP Server", text,
                                  QMessageBox::Yes | QMessageBox::No}) == QMessageBox::Yes)
            Reload();
        return;
    }
    ShowMessageBox(this, {QMessageBox::Warning, "Tarvona FTP Server",
                          "The options were not saved: " + result.error, QMessageBox::Ok});
}

void COptionsPage::ShowNextStart(const std::vector<OptionMember>& members) {
    for (const OptionMember& member : members)
        if (std::find(m_nextStart.begin(), m_nextStart.end(), member) == m_nextStart.end())
            m_nextStart.push_back(member);
    QStringList names;
    for (const OptionMember& member : m_nextStart)
        if (!names.contains(ShownName(member))) names << ShownName(member);
    m_nextStartNote->setText(
        names.isEmpty() ? QString() : "Saved; in force at the next start: " + names.join(", "));
}

void COptionsPage::Restart() {
    FillUrlList();
    m_restart->setEnabled(false);
    SaveChanged([page = QPointer(this)] {
        if (page != nullptr) emit page->RestartRequested();
    });
}

void COptionsPage::OpenUrl() {
    const QString text = m_urls->currentText();
    if (text.isEmpty()) return;
    if (const std::optional<UrlCredentials> login = CredentialsInUrl(text.toStdString())) {
        OptionValues values = m_stored;
        values.defaultUser = login->user;
        values.defaultPass = login->password;
        SaveKeys(values, {&V::defaultUser, &V::defaultPass}, [] {});
    }
    QDesktopServices::openUrl(QUrl(text));  // a failure is not reported
}

void COptionsPage::OpenLogFolder() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(m_programDir + "log")));
}

void COptionsPage::RunIpFilter() {
    CIpFilterDlg dialog(*m_settings, this);
    dialog.exec();
}

void COptionsPage::RunService() {
    CServiceDlg dialog(
        m_programDir, [this] { emit StopServerRequested(); }, this);
    dialog.exec();
}
