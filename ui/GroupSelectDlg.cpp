#include "ui/GroupSelectDlg.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPointer>
#include <QVBoxLayout>

#include "ui/AccountAccess.h"

namespace {
// NOTE: whole names, not a substring search: "Admin" stays selectable beside "Admins".
bool IsChosen(const QString& chosen, const QString& name) {
    for (const QString& piece : chosen.split(','))
        if (piece.trimmed().compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}
}  // namespace

CGroupSelectDlg::CGroupSelectDlg(CAccountAccess& access, const QString& chosen, QWidget* parent)
    : QDialog(parent), m_list(new QListWidget(this)) {
    setWindowTitle("Group Select");
    m_list->setSelectionMode(QAbstractItemView::MultiSelection);
    QPointer<CGroupSelectDlg> self(this);
    access.ListGroups(  // unreadable: an empty list
        [self, chosen](const AccessStatus&, const std::vector<GroupRecord>& groups) {
            if (self) self->ShowGroups(groups, chosen);
        });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        item->setSelected(true);
        accept();
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(buttons);
}

void CGroupSelectDlg::ShowGroups(const std::vector<GroupRecord>& groups, const QString& chosen) {
    for (const GroupRecord& g : groups) {
        const QString name = QString::fromStdString(g.name);
        if (IsChosen(chosen, name)) continue;
        auto* item = new QListWidgetItem(QIcon(":/group.svg"), name, m_list);
        item->setData(Qt::UserRole, g.id);
    }
}

QString CGroupSelectDlg::Selection() const {
    QString result;
    for (int i = 0; i < m_list->count(); ++i)
        if (m_list->item(i)->isSelected()) result += ',' + m_list->item(i)->text();
    return result;
}

QString AppendGroupSelection(const QString& text, const QString& selection) {
    QString joined = text + selection;
    while (joined.startsWith(',')) joined.remove(0, 1);
    return joined;
}
