#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "generated/Version.h"
#include "ui/Resources.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    EnsureUiResources();
    setWindowTitle("About Tarvona FTP Server");
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/tarvona.svg").pixmap(64, 64));
    auto* text = new QLabel(QString("Tarvona FTP Server Version %1\n\n"
                                    "Copyright (C) 2026 Tarvona developers.\n"
                                    "Licensed under the GNU GPL version 3 or later.\n"
                                    "There is NO WARRANTY, to the extent permitted by law.")
                                .arg(kTarvonaVersion),
                            this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
