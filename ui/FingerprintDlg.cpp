#include "ui/FingerprintDlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel* WrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

CFingerprintDlg::CFingerprintDlg(const QString& server, const QString& fingerprint, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Server certificate");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        WrappedLabel(QString("This is the first connection to %1. Its certificate has this SHA-256 "
                             "fingerprint:")
                         .arg(server),
                     this));
    AddFingerprint({}, fingerprint);
    layout->addWidget(WrappedLabel(
        "Compare it with the fingerprint in that server's log (\"Administration API ... "
        "SHA-256 fingerprint\"). Trust it only if they are the same; it is remembered for "
        "this address from now on.",
        this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("&Trust", QDialogButtonBox::AcceptRole);
    buttons->addButton("&Cancel", QDialogButtonBox::RejectRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

CFingerprintDlg::CFingerprintDlg(const QString& server, const QString& remembered,
                                 const QString& shown, const QString& knownServersFile,
                                 QWidget* parent)
    : QDialog(parent), m_changed(true) {
    setWindowTitle("Server certificate CHANGED");
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size, size));
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(
        WrappedLabel(
            QString("The certificate of %1 has CHANGED. The connection is refused: someone may "
                    "be in the middle.")
                .arg(server),
            this),
        1);
    layout->addLayout(top);
    AddFingerprint("Remembered fingerprint:", remembered);
    AddFingerprint("The server now shows:", shown);
    layout->addWidget(WrappedLabel(
        QString("If the server's certificate was replaced on purpose, remove its line from "
                "%1 and connect again.")
            .arg(knownServersFile),
        this));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("&Cancel", QDialogButtonBox::RejectRole)->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QLineEdit* CFingerprintDlg::AddFingerprint(const QString& label, const QString& fingerprint) {
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    if (!label.isEmpty()) layout->addWidget(new QLabel(label, this));
    auto* field = new QLineEdit(fingerprint, this);
    field->setReadOnly(true);
    field->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(fingerprint) + 16);
    field->setCursorPosition(0);
    layout->addWidget(field);
    return field;
}
