// Steps in the account editors that several window tests take as a user would.
#pragma once

#include <QString>

#include "tests/ui/ModalDriver.h"
#include "ui/VirtualFolderDlg.h"
#include "ui/VirtualFoldersTab.h"

// Adds a folder through "Add..." and the "Virtual Folder" dialog.
inline void AddFolder(CVirtualFoldersTab& tab, const QString& name, const QString& path) {
    WhenShown<CVirtualFolderDlg>([=](CVirtualFolderDlg& d) {
        d.NameEdit().setText(name);
        d.PathEdit().setText(path);
        d.accept();
    });
    tab.AddFolder();
}
