#include "ui/VirtualFolderDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include "ui/DirectoryBrowser.h"
#include "ui/EditorMessages.h"

CVirtualFolderDlg::CVirtualFolderDlg(const QString& name, const QString& path, QWidget* parent)
    : QDialog(parent), m_name(new QLineEdit(name, this)), m_path(new QLineEdit(path, this)) {
    setWindowTitle("Virtual Folder");
    auto* browse = new QPushButton("...", this);
    browse->setFixedWidth(32);
    connect(browse, &QPushButton::clicked, this, [this] { BrowseForDirectory(this, *m_path); });
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path);
    pathRow->addWidget(browse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CVirtualFolderDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CVirtualFolderDlg::reject);
    auto* form = new QFormLayout(this);
    form->addRow("Name:", m_name);
    form->addRow("Path:", pathRow);
    form->addRow(buttons);
    setMinimumWidth(420);
    m_name->setFocus();
}

QString CVirtualFolderDlg::Name() const { return m_name->text(); }

QString CVirtualFolderDlg::Path() const {
    QString path = m_path->text();
    while (path.size() > 1 && path.endsWith('/')) path.chop(1);
    return path;
}

void CVirtualFolderDlg::accept() {
    if (m_name->text().isEmpty()) {
        ShowEditorError(this, "Please input a name for this virtual folder!");
        m_name->setFocus();
        return;
    }
    if (m_path->text().isEmpty()) {
        ShowEditorError(this, "Please select a path for this virtual folder!");
        m_path->setFocus();
        return;
    }
    QDialog::accept();
}
