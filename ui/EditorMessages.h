// The account editors' boxes: errors and Yes/No questions, all with the program's
// caption, through ShowMessageBox so that tests answer them.
#pragma once

#include <QString>
#include <cstdint>

class CAccountEditor;
class QDialog;
class QWidget;

// An error box (error icon, OK).
void ShowEditorError(QWidget* parent, const QString& text);
// A question box with Yes and No; true for Yes.
bool AskEditorQuestion(QWidget* parent, const QString& text);
// Ends a Save of the user or group dialog `dialog` after `editor` stored (`saved`) or
// refused its record: closes it with OK, or says why in a box and leaves it open. The
// stored record's `savedId` becomes the dialog's `recordId`, also when only its folder
// table could not be made: a second Save then updates that record.
void EndEditorSave(QDialog& dialog, const CAccountEditor& editor, bool saved, std::int32_t savedId,
                   std::int32_t& recordId);
