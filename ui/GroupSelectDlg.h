// "Group Select": the groups an account does not have yet, several of which may be
// chosen at once.
#pragma once

#include <QDialog>
#include <vector>

#include "accounts/AccountStore.h"

class CAccountAccess;
class QListWidget;

class CGroupSelectDlg : public QDialog {
    Q_OBJECT
public:
    // Lists every group `access` reads whose name is not among the comma-separated
    // names of `chosen` (letter case ignored, as group names are); the list fills when
    // the groups arrive.
    CGroupSelectDlg(CAccountAccess& access, const QString& chosen, QWidget* parent = nullptr);

    QListWidget& List() { return *m_list; }
    // A comma before each selected name, in list order: ",Admins,Guests".
    QString Selection() const;

private:
    void ShowGroups(const std::vector<GroupRecord>& groups, const QString& chosen);

    QListWidget* m_list;
};

// `text` with `selection` appended and its leading commas removed, as the "Group:" edit
// takes the dialog's result.
QString AppendGroupSelection(const QString& text, const QString& selection);
