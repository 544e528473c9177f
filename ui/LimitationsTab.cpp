#include "ui/LimitationsTab.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "accounts/AccountFields.h"
#include "ui/FormParts.h"

namespace {
// Few enough digits that a speed fits 32 bits and a quota stays an exact whole number
// of KB in a double.
constexpr int kSpeedDigits = 9;
constexpr int kQuotaDigits = 15;

QLineEdit* RightAlignedDigits(int maxDigits, QWidget* parent) {
    QLineEdit* edit = MakeDigitsEdit(parent, maxDigits);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

// The leading decimal integer of `text`; 0 when empty.
std::int32_t SpeedOf(const QLineEdit& edit) { return edit.text().toInt(); }
double QuotaOf(const QLineEdit& edit) { return edit.text().toDouble(); }
QString QuotaText(double kb) { return QString::number(kb, 'f', 0); }
}  // namespace

CLimitationsTab::CLimitationsTab(QWidget* parent)
    : QWidget(parent),
      m_downloadLimit(new QCheckBox("Limit download", this)),
      m_downloadSpeed(RightAlignedDigits(kSpeedDigits, this)),
      m_uploadLimit(new QCheckBox("Limit upload", this)),
      m_uploadSpeed(RightAlignedDigits(kSpeedDigits, this)),
      m_quotaMax(RightAlignedDigits(kQuotaDigits, this)),
      m_quotaCurrent(RightAlignedDigits(kQuotaDigits, this)),
      m_reset(new QPushButton("Reset", this)) {
    connect(m_downloadLimit, &QCheckBox::toggled, m_downloadSpeed, &QWidget::setEnabled);
    connect(m_uploadLimit, &QCheckBox::toggled, m_uploadSpeed, &QWidget::setEnabled);
    connect(m_reset, &QPushButton::clicked, this, [this] { m_quotaCurrent->setText("0"); });
    m_reset->setToolTip("Count the space in use from 0 again");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MakeSpeedGroup());
    layout->addWidget(MakeQuotaGroup());
    layout->addStretch();
    Fill(UserRecord{});
}

QWidget* CLimitationsTab::MakeSpeedGroup() {
    auto* group = new QGroupBox("Speed limitation", this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(m_downloadLimit, 0, 0, 1, 3);
    grid->addWidget(new QLabel("Max. download speed", group), 1, 0);
    grid->addWidget(m_downloadSpeed, 1, 1);
    grid->addWidget(new QLabel("KB/sec", group), 1, 2);
    grid->addWidget(m_uploadLimit, 2, 0, 1, 3);
    grid->addWidget(new QLabel("Max. upload speed", group), 3, 0);
    grid->addWidget(m_uploadSpeed, 3, 1);
    grid->addWidget(new QLabel("KB/sec", group), 3, 2);
    grid->setColumnStretch(3, 1);
    return group;
}

QWidget* CLimitationsTab::MakeQuotaGroup() {
    auto* group = new QGroupBox("Disk Quota", this);
    auto* grid = new QGridLayout(group);
    grid->addWidget(new QLabel("Max Quota", group), 0, 0);
    grid->addWidget(m_quotaMax, 0, 1);
    grid->addWidget(new QLabel("KB", group), 0, 2);
    grid->addWidget(new QLabel("Current Quota", group), 1, 0);
    grid->addWidget(m_quotaCurrent, 1, 1);
    grid->addWidget(new QLabel("KB", group), 1, 2);
    grid->addWidget(m_reset, 1, 3);
    grid->setColumnStretch(4, 1);
    return group;
}

void CLimitationsTab::Fill(const UserRecord& user) {
    m_downloadLimit->setChecked(user.downloadLimit == 1);
    m_downloadSpeed->setText(QString::number(user.downloadSpeed));
    m_downloadSpeed->setEnabled(m_downloadLimit->isChecked());
    m_uploadLimit->setChecked(user.uploadLimit == 1);
    m_uploadSpeed->setText(QString::number(user.uploadSpeed));
    m_uploadSpeed->setEnabled(m_uploadLimit->isChecked());
    m_quotaMax->setText(QuotaText(user.quotaMax));
    m_quotaCurrent->setText(QuotaText(user.quotaCurrent));
    m_filledQuotaInUse = m_quotaCurrent->text();
}

bool CLimitationsTab::QuotaInUseEdited() const {
    return m_quotaCurrent->text() != m_filledQuotaInUse;
}

void CLimitationsTab::Store(UserRecord& user) const {
    user.downloadLimit = m_downloadLimit->isChecked() ? 1 : 0;
    user.downloadSpeed = SpeedOf(*m_downloadSpeed);
    user.uploadLimit = m_uploadLimit->isChecked() ? 1 : 0;
    user.uploadSpeed = SpeedOf(*m_uploadSpeed);
    user.quotaMax = QuotaOf(*m_quotaMax);
    user.quotaCurrent = QuotaOf(*m_quotaCurrent);
}

std::vector<std::string_view> CLimitationsTab::OwnedFields() {
    using U = UserRecord;
    return {FieldName(&U::downloadLimit), FieldName(&U::downloadSpeed),
            FieldName(&U::uploadLimit),   FieldName(&U::uploadSpeed),
            FieldName(&U::quotaMax),      FieldName(&U::quotaCurrent)};
}
