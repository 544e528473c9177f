// The folder browser behind the "..." buttons next to directory edits.
#pragma once

class QLineEdit;
class QWidget;

// Opens a directory chooser titled "Select a Directory:" that offers local folders only.
// A chosen folder replaces the text of `edit`; a cancelled browser changes nothing; a
// choice without a local path shows "Failed to get directory" and changes nothing.
// True when the text was replaced. Main thread.
bool BrowseForDirectory(QWidget* parent, QLineEdit& edit);
