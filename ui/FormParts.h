// Small pieces several pages and dialogs build alike, so they look and act the same.
#pragma once

#include <functional>

class QAbstractButton;
class QDialog;
class QDialogButtonBox;
class QLineEdit;
class QWidget;

// A line edit that takes decimal digits only, at most `maxDigits` of them (-1: any
// number).
QLineEdit* MakeDigitsEdit(QWidget* parent, int maxDigits = -1);

// "Save" and "Cancel" under an editor dialog: Save runs `save` (which closes the dialog
// itself once the record is stored), Cancel rejects it.
QDialogButtonBox* MakeSaveCancelBox(QDialog* dialog, std::function<void()> save);
// The "Save" button of such a box.
QAbstractButton* SaveButtonOf(const QDialogButtonBox& buttons);
