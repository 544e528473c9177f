// The "Options" tab: port and restart, the URLs the server is reached under, start-up
// and log choices, passive-mode settings, and the IP filter and service dialogs. Every
// change of a saving control writes the page's keys of option.ini at once.
#pragma once

#include <QWidget>
#include <string>

#include "config/Options.h"

class CFtpServer;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class COptionsPage : public QWidget {
    Q_OBJECT
public:
    // `options` are the values read when the window opened; `server` outlives the page.
    COptionsPage(CFtpServer& server, const OptionValues& options, QWidget* parent = nullptr);

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

signals:
    // Stop, then start with the page's port.
    void RestartRequested();
    // The window's own server must stop (the service takes over).
    void StopServerRequested();
    // The page's keys were written; Values() holds what was written.
    void OptionsSaved();

public slots:
    void FillUrlList();
    void SaveOptions();
    void Restart();
    void OpenUrl();
    void OpenLogFolder();
    void RunIpFilter();
    void RunService();

private:
    void CreateControls();
    QWidget* CreatePassiveGroup();
    void FillPassiveList();
    void ShowValues();
    bool PullPort(QLineEdit& edit, int& value, const char* message);

    CFtpServer& m_server;
    const std::string m_programDir;
    OptionValues m_values;
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
};
