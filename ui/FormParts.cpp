#include "ui/FormParts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

QLineEdit* MakeDigitsEdit(QWidget* parent, int maxDigits) {
    auto* edit = new QLineEdit(parent);
    const QString pattern =
        maxDigits < 0 ? QString("[0-9]*") : QString("[0-9]{0,%1}").arg(maxDigits);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pattern), edit));
    return edit;
}

QDialogButtonBox* MakeSaveCancelBox(QDialog* dialog, std::function<void()> save) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton("Save", QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, std::move(save));
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QAbstractButton* SaveButtonOf(const QDialogButtonBox& buttons) {
    for (QAbstractButton* button : buttons.buttons())
        if (buttons.buttonRole(button) == QDialogButtonBox::AcceptRole) return button;
    return nullptr;
}
