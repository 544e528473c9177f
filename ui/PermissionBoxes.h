// The nine permission check boxes of the account and virtual-folder editors: "File
// Permissions" (Read, Write, Delete, Rename, Append) and "Directory Permissions" (List,
// Create, Remove, Rename), in the order of the permission text.
#pragma once

#include <QWidget>
#include <array>

#include "accounts/AccountStore.h"

class QCheckBox;

class CPermissionBoxes : public QWidget {
    Q_OBJECT
public:
    explicit CPermissionBoxes(QWidget* parent = nullptr);

    PermissionSet Permissions() const;
    // Shows `permissions` without emitting Toggled.
    void SetPermissions(const PermissionSet& permissions);
    QCheckBox& Box(Permission p) { return *m_boxes[static_cast<std::size_t>(p)]; }

signals:
    // The administrator clicked one of the boxes.
    void Toggled();

private:
    std::array<QCheckBox*, kPermissionCount> m_boxes{};
};
