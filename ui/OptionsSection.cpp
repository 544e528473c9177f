#include "ui/OptionsSection.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/FormParts.h"

namespace {
constexpr int kNumberWidth = 90;
}  // namespace

QFormLayout* MakeSectionForm(QWidget* parent) {
    auto* form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft);
    return form;
}

void COptionsSection::ShowValues(const OptionValues& values) {
    for (const NumberField& field : m_numbers)
        field.edit->setText(QString::number(values.*field.member));
    for (const TextField& field : m_texts)
        field.edit->setText(QString::fromStdString(values.*field.member));
}

QString COptionsSection::Pull(OptionValues& values) const {
    for (const NumberField& field : m_numbers) {
        bool ok = false;
        const int number = field.edit->text().trimmed().toInt(&ok);
        if (!ok) {
            field.edit->setFocus();
            return QString("%1: please enter a whole number.").arg(field.name);
        }
        values.*field.member = number;
    }
    for (const TextField& field : m_texts)
        values.*field.member = field.edit->text().trimmed().toStdString();
    return Check(values);
}

void COptionsSection::SetOnRemoteMachine(bool remote) {
    for (QPushButton* button : m_browseButtons) button->setVisible(!remote);
}

QLineEdit* COptionsSection::AddNumberRow(QFormLayout& form, const QString& label, IntOption member,
                                         const QString& name, const QString& unit) {
    QLineEdit* edit = MakeDigitsEdit(this, 9);
    edit->setMaximumWidth(kNumberWidth);
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    if (!unit.isEmpty()) row->addWidget(new QLabel(unit, this));
    row->addStretch();
    form.addRow(label, row);
    m_numbers.push_back({edit, member, name});
    connect(edit, &QLineEdit::editingFinished, this, &COptionsSection::editDone);
    return edit;
}

QLineEdit* COptionsSection::AddTextRow(QFormLayout& form, const QString& label, TextOption member) {
    QLineEdit* edit = AddTextField(member);
    form.addRow(label, edit);
    return edit;
}

QLineEdit* COptionsSection::AddTextField(TextOption member) {
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(255);
    m_texts.push_back({edit, member});
    connect(edit, &QLineEdit::editingFinished, this, &COptionsSection::editDone);
    return edit;
}

QLineEdit* COptionsSection::AddFileRow(QFormLayout& form, const QString& label, TextOption member) {
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(255);
    auto* browse = new QPushButton("Browse...", this);
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    row->addWidget(browse);
    form.addRow(label, row);
    m_texts.push_back({edit, member});
    m_browseButtons.push_back(browse);
    connect(edit, &QLineEdit::editingFinished, this, &COptionsSection::editDone);
    connect(browse, &QPushButton::clicked, this, [this, edit, label] {
        const QString chosen = QFileDialog::getOpenFileName(this, label.chopped(1), edit->text());
        if (chosen.isEmpty()) return;
        edit->setText(chosen);
        emit editDone();
    });
    return edit;
}
