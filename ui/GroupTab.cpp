#include "ui/GroupTab.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

CGroupTab::CGroupTab(QWidget* parent)
    : QWidget(parent), m_name(new QLineEdit(this)), m_notes(new QPlainTextEdit(this)) {
    auto* form = new QFormLayout(this);
    form->addRow("Name:", m_name);
    form->addRow("Notes:", m_notes);
}
