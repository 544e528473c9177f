// The "Options" tab. Its "General" tab: port and restart, the URLs the server is reached
// under, start-up and log choices, passive-mode settings, and the IP filter and service
// dialogs; then one tab per section of TLS, security and ACME keys (the certificate in use
// shown on the TLS one). Every change of a saving control writes the page's changed keys
// at once, through the settings access (the server in this process or one reached through
// its API), once every tab's values pass their checks; the keys that wait for the next
// start are named below the tabs.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "config/Options.h"
#include "ui/ServerLink.h"

class CAcmeOptionsTab;
class CHooksOptionsTab;
class COptionsSection;
class CSecurityOptionsTab;
class CSettingsAccess;
class CTlsOptionsTab;
struct OptionsSaveResult;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class COptionsPage : public QWidget {
    Q_OBJECT
public:
    // `settings` outlives the page; the page reads the options through it at once.
    // `programDir` is this machine's program directory (the service dialog, the log folder).
    COptionsPage(CSettingsAccess& settings, std::string programDir, QWidget* parent = nullptr);

    // Shows the server behind `settings` (which outlives the page, or the next SetAccess):
    // reads its options again.
    void SetAccess(CSettingsAccess& settings);
    // Attached to a server on another machine: the service dialog, the log folder, the file
    // dialogs and this machine's autostart entry have nothing to do with it and are left alone.
    void SetOnRemoteMachine(bool remote);
    // The certificate the shown server serves, on the TLS tab.
    void ShowCertificate(const LinkCertificate& certificate);

    // Pulls the controls into the page's values. A port edit that holds no number shows
    // its message and keeps its previous value; the result is then false.
    bool PullControls();
    // The page's values as last pulled.
    const OptionValues& Values() const { return m_values; }

    QLineEdit& PortEdit() { return *m_port; }
    QPushButton& RestartButton() { return *m_restart; }
    QComboBox& UrlBox() { return *m_urls; }
    QComboBox& PassiveAddressBox() { return *m_passiveAddress; }
    QLineEdit& MinPortEdit() { return *m_minPort; }
    QLineEdit& MaxPortEdit() { return *m_maxPort; }
    QCheckBox& StartupBox() { return *m_startup; }
    QCheckBox& SaveLogBox() { return *m_saveLog; }
    QPushButton& ServiceButton() { return *m_service; }
    // The keys saved so far that wait for the next start, as the note beside them says.
    QLabel& NextStartNote() { return *m_nextStartNote; }
    QTabWidget& SectionTabs() { return *m_sectionTabs; }
    CTlsOptionsTab& TlsTab() { return *m_tlsTab; }
    CSecurityOptionsTab& SecurityTab() { return *m_securityTab; }
    CAcmeOptionsTab& AcmeTab() { return *m_acmeTab; }
    CHooksOptionsTab& HooksTab() { return *m_hooksTab; }

signals:
    // Stop, then start with the page's port.
    void RestartRequested();
    // The window's own server must stop (the service takes over).
    void StopServerRequested();
    // The page's keys were written; Values() holds what was written.
    void OptionsSaved();

public slots:
    // Reads the options again and shows them; edits not saved are dropped.
    void Reload();
    void FillUrlList();
    void SaveOptions();
    void Restart();
    void OpenUrl();
    void OpenLogFolder();
    void RunIpFilter();
    void RunService();

private:
    void CreateControls();
    QWidget* CreateGeneralTab();
    QWidget* CreatePassiveGroup();
    // Pulls every section tab into m_values; false (their message shown, m_values as it
    // was) when one does not pass its checks.
    bool PullSections();
    void FillPassiveList();
    void ShowValues();
    bool PullPort(QLineEdit& edit, int& value, const char* message);
    // Saves the page's keys that differ from what the server holds, then runs `then`.
    void SaveChanged(std::function<void()> then);
    void SaveKeys(const OptionValues& values, std::vector<OptionMember> members,
                  std::function<void()> then);
    void EndSave(const OptionsSaveResult& result);
    void ShowNextStart(const std::vector<OptionMember>& members);

    CSettingsAccess* m_settings;
    const std::string m_programDir;
    bool m_remote = false;
    OptionValues m_values;
    OptionValues m_stored;  // as the server holds them, from the last read or save
    std::vector<OptionMember> m_nextStart;
    QLineEdit* m_port = nullptr;
    QPushButton* m_restart = nullptr;
    QComboBox* m_urls = nullptr;
    QPushButton* m_go = nullptr;
    QCheckBox* m_startup = nullptr;
    QCheckBox* m_minimize = nullptr;
    QCheckBox* m_autoActive = nullptr;
    QCheckBox* m_saveLog = nullptr;
    QPushButton* m_logFolder = nullptr;
    QPushButton* m_ipFilter = nullptr;
    QPushButton* m_service = nullptr;
    QComboBox* m_passiveAddress = nullptr;
    QLineEdit* m_minPort = nullptr;
    QLineEdit* m_maxPort = nullptr;
    QLabel* m_nextStartNote = nullptr;
    QTabWidget* m_sectionTabs = nullptr;
    CTlsOptionsTab* m_tlsTab = nullptr;
    CSecurityOptionsTab* m_securityTab = nullptr;
    CAcmeOptionsTab* m_acmeTab = nullptr;
    CHooksOptionsTab* m_hooksTab = nullptr;
    std::vector<COptionsSection*> m_sections;  // the four above
};
