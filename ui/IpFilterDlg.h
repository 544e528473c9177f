// "IP Filter": the filter mode and the list of the chosen mode (deny or allow), edited
// on the dialog's own copies of what the server holds; OK hands mode and both lists to
// the server (in this process or through its API), which puts them in force and saves
// "FilterMode", "rejectip.txt" and "acceptip.txt". A refused OK leaves the dialog open
// and says why.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

class CSettingsAccess;
struct IpFilterRead;
struct IpFilterSaveResult;
class QButtonGroup;
class QGroupBox;
class QListView;
class QPushButton;
class QStringListModel;

class CIpFilterDlg : public QDialog {
    Q_OBJECT
public:
    // Asked for one entry, given the entry to change (empty for a new one); nullopt on
    // Cancel. By default the "IP Address" dialog.
    using AddressAsker = std::function<std::optional<std::string>(const std::string& entry)>;

    // Reads the filter through `settings` (which outlives the dialog); OK waits for it.
    CIpFilterDlg(CSettingsAccess& settings, QWidget* parent = nullptr);

    void SetAddressAsker(AddressAsker asker) { m_askAddress = std::move(asker); }
    int Mode() const { return m_mode; }
    // The text of the list of the current mode (entries joined by commas).
    std::string ListText() const;
    QButtonGroup& ModeButtons() { return *m_modeButtons; }
    QListView& List() { return *m_list; }
    QPushButton& OkButton() { return *m_ok; }

public slots:
    void SetMode(int mode);
    void AddEntry();
    void EditEntry();
    void RemoveEntry();
    void accept() override;

private:
    std::string* CurrentList();
    void ShowList();
    void StoreList();
    int SelectedRow() const;
    bool RequireSelection();
    void ShowRead(const IpFilterRead& read);
    void EndSave(const IpFilterSaveResult& result);

    CSettingsAccess& m_settings;
    int m_mode = 0;
    std::string m_allowText;
    std::string m_denyText;
    AddressAsker m_askAddress;
    QButtonGroup* m_modeButtons = nullptr;
    QStringListModel* m_entries = nullptr;
    QListView* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_edit = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_ok = nullptr;
    QGroupBox* m_modeBox = nullptr;
};
