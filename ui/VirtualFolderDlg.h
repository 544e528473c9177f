// "Virtual Folder": the name a client sees at the top of its tree and the local
// directory it leads to.
#pragma once

#include <QDialog>

class QLineEdit;

class CVirtualFolderDlg : public QDialog {
    Q_OBJECT
public:
    CVirtualFolderDlg(const QString& name, const QString& path, QWidget* parent = nullptr);

    QString Name() const;
    // The path as stored: without trailing slashes, except the root's own.
    QString Path() const;
    QLineEdit& NameEdit() { return *m_name; }
    QLineEdit& PathEdit() { return *m_path; }

public slots:
    // Checks both edits; closes with OK when both hold something.
    void accept() override;

private:
    QLineEdit* m_name;
    QLineEdit* m_path;
};
