// "Group Select": the groups an account does not have yet, several of which may be
// chosen at once.
#pragma once

#include <QDialog>
#include <string>

class QListWidget;

class CGroupSelectDlg : public QDialog {
    Q_OBJECT
public:
    // Lists every group of `programDir` whose name is not among the comma-separated
    // names of `chosen` (letter case ignored, as group names are).
    CGroupSelectDlg(const std::string& programDir, const QString& chosen,
                    QWidget* parent = nullptr);

    QListWidget& List() { return *m_list; }
    // A comma before each selected name, in list order: ",Admins,Guests".
    QString Selection() const;

private:
    QListWidget* m_list;
};

// `text` with `selection` appended and its leading commas removed, as the "Group:" edit
// takes the dialog's result.
QString AppendGroupSelection(const QString& text, const QString& selection);
