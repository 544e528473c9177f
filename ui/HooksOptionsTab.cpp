#include "ui/HooksOptionsTab.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <iterator>

#include "config/HookKeys.h"
#include "config/OptionChecks.h"
#include "server/HookEvent.h"

namespace {

using V = OptionValues;

// By event, in the order of HookKeyRows.
constexpr const char* kEventLabels[] = {
    "Upload complete:", "Upload failed:",     "Download complete:", "File deleted:",
    "Renamed:",         "Directory created:", "Directory removed:", "Login:",
    "Failed login:",    "Address banned:",    "Quota exceeded:",    "Server started:",
    "Server stopped:"};
static_assert(std::size(kEventLabels) == kHookEventKinds, "a hook event lacks its label");

}  // namespace

CHooksOptionsTab::CHooksOptionsTab(QWidget* parent) : COptionsSection(parent) {
    auto* layout = new QVBoxLayout(this);
    auto* about = new QLabel(
        "Run a program or POST to an https URL when something happens. The program line "
        "has no shell: an absolute path, then arguments separated by spaces; \"double "
        "quotes\" keep spaces, a backslash takes the next character as it is. The event is "
        "in TARVONA_EVENT, TARVONA_USER, TARVONA_PATH, TARVONA_VPATH, TARVONA_SIZE, "
        "TARVONA_ADDRESS.",
        this);
    about->setWordWrap(true);
    layout->addWidget(about);

    auto* events = new QGridLayout;
    events->addWidget(new QLabel("<b>Event</b>", this), 0, 0);
    events->addWidget(new QLabel("<b>Program and arguments</b>", this), 0, 1);
    events->addWidget(new QLabel("<b>URL</b>", this), 0, 2);
    int row = 1;
    for (const HookKeyRow& key : HookKeyRows()) {
        events->addWidget(new QLabel(kEventLabels[row - 1], this), row, 0);
        QLineEdit* program = AddTextField(key.program);
        QLineEdit* url = AddTextField(key.url);
        // One example is enough; on every row it would hide which rows are set.
        if (row == 1) {
            program->setPlaceholderText("/usr/local/bin/pick-up \"--to\" /srv/in");
            url->setPlaceholderText("https://hooks.example.org/ftp");
        }
        events->addWidget(program, row, 1);
        events->addWidget(url, row, 2);
        m_programs.push_back(program);
        m_urls.push_back(url);
        ++row;
    }
    events->setColumnStretch(1, 3);
    events->setColumnStretch(2, 2);
    layout->addLayout(events);

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setLabelAlignment(Qt::AlignLeft);
    m_secret = AddTextRow(*form, "Signing secret:", &V::hookSecret);
    m_secret->setEchoMode(QLineEdit::Password);
    m_secret->setPlaceholderText("HMAC-SHA256 key of X-Tarvona-Signature (empty: unsigned)");
    AddFileRow(*form, "URL CA file:", &V::hookCaFile)
        ->setPlaceholderText("empty: the system's CAs");
    AddNumberRow(*form, "At once:", &V::hookConcurrency, "At once", "actions (1 to 16)");
    AddNumberRow(*form, "Time-out:", &V::hookTimeout, "Time-out",
                 "seconds per action, then it is stopped");
    AddNumberRow(*form, "Queue:", &V::hookQueueSize, "Queue",
                 "events waiting at most; more are dropped and logged");
    layout->addLayout(form);
    layout->addStretch();
}

std::vector<OptionMember> CHooksOptionsTab::Members() const {
    std::vector<OptionMember> members;
    for (const HookKeyRow& key : HookKeyRows()) {
        members.emplace_back(key.program);
        members.emplace_back(key.url);
    }
    for (const OptionMember member :
         {OptionMember{&V::hookSecret}, OptionMember{&V::hookCaFile},
          OptionMember{&V::hookConcurrency}, OptionMember{&V::hookTimeout},
          OptionMember{&V::hookQueueSize}})
        members.push_back(member);
    return members;
}

QString CHooksOptionsTab::Check(const OptionValues& values) const {
    return QString::fromStdString(HooksOptionsProblem(values));
}
