#include "ui/PermissionBoxes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
// The boxes' texts in permission order; the first five are the file permissions.
constexpr std::array<const char*, kPermissionCount> kLabels{
    "Read", "Write", "Delete", "Rename", "Append", "List", "Create", "Remove", "Rename"};
constexpr std::size_t kFilePermissionCount = 5;
}  // namespace

CPermissionBoxes::CPermissionBoxes(QWidget* parent) : QWidget(parent) {
    auto* files = new QGroupBox("File Permissions", this);
    auto* dirs = new QGroupBox("Directory Permissions", this);
    auto* fileLayout = new QVBoxLayout(files);
    auto* dirLayout = new QVBoxLayout(dirs);
    for (std::size_t i = 0; i < kPermissionCount; ++i) {
        m_boxes[i] = new QCheckBox(kLabels[i], i < kFilePermissionCount ? files : dirs);
        (i < kFilePermissionCount ? fileLayout : dirLayout)->addWidget(m_boxes[i]);
        connect(m_boxes[i], &QCheckBox::clicked, this, &CPermissionBoxes::Toggled);
    }
    dirLayout->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(files);
    layout->addWidget(dirs);
}

PermissionSet CPermissionBoxes::Permissions() const {
    PermissionSet set;
    for (std::size_t i = 0; i < kPermissionCount; ++i) set.granted[i] = m_boxes[i]->isChecked();
    return set;
}

void CPermissionBoxes::SetPermissions(const PermissionSet& permissions) {
    for (std::size_t i = 0; i < kPermissionCount; ++i)
        m_boxes[i]->setChecked(permissions.granted[i]);
}
