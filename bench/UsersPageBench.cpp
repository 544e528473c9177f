// The users page with 10 000 accounts: the time from creating the page to its first
// painted list, the time the "Sorted by a column" click takes, and the time from each
// keystroke in the search box to the repainted list. Offscreen, Release build.
//   bench_users_page [ACCOUNTS]
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "accounts/AccountEditor.h"
#include "accounts/AccountSchema.h"
#include "accounts/RecordAccess.h"
#include "db/KorvTable.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestAccounts.h"
#include "ui/AccountAccess.h"
#include "ui/UsersModel.h"
#include "ui/UsersPage.h"

namespace {
constexpr int kGroups = 20;

// Accounts "user00000".. with an e-mail address and two groups each, appended in one
// open of user.sdb (the editors' per-save folder tables are not part of the list).
bool MakeAccounts(const std::string& programDir, int count) {
    std::string error;
    if (!EnsureAccountTables(programDir, error)) return false;
    CAccountEditor editor(programDir);
    for (int g = 1; g <= kGroups; ++g) {
        GroupRecord group{0, "group" + std::to_string(g), ""};
        if (!editor.SaveGroup(group, {})) return false;
    }
    CKorvTable table;
    if (!table.Open(UserTablePath(programDir), OpenMode::ReadWrite)) return false;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "user%05d", i);
        UserRecord u =
            FullAccessUser(name, "pw" + std::to_string(i), "/srv/ftp/" + std::string(name));
        u.email = std::string(name) + "@example.org";
        u.groups = std::to_string(i % kGroups + 1) + "," + std::to_string((i * 7) % kGroups + 1);
        if (!WriteRecord(table, u, error) || !table.Append()) return false;
    }
    return true;
}

// Counts the paint events of the list's viewport.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Lets Qt work until the viewport has painted once more than `before`.
void WaitForPaint(const PaintCounter& counter, int before) {
    while (counter.paints <= before) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Types `text` key by key and then erases it; each keystroke timed to its repaint.
std::vector<double> TypeAndErase(CUsersPage& page, const PaintCounter& counter,
                                 const QString& text) {
    std::vector<double> times;
    QLineEdit& edit = page.SearchEdit();
    const auto timed = [&](const std::function<void()>& key) {
        QElapsedTimer t;
        t.start();
        const int before = counter.paints;
        key();
        WaitForPaint(counter, before);
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    };
    for (QChar c : text) timed([&] { QTest::keyClicks(&edit, QString(c)); });
    for (int i = 0; i < text.size(); ++i) timed([&] { QTest::keyClick(&edit, Qt::Key_Backspace); });
    return times;
}

void Report(const char* what, const std::vector<double>& times) {
    std::printf("%-44s median %6.2f ms  max %6.2f ms  (%zu keystrokes)\n", what, Median(times),
                *std::max_element(times.begin(), times.end()), times.size());
}
}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    QApplication app(argc, argv);
    TempDir dir;
    if (!MakeAccounts(dir.ProgramDir(), count)) {
        std::fprintf(stderr, "cannot make the accounts\n");
        return 1;
    }
    std::printf("users page, %d accounts, %d groups\n", count, kGroups);
    {
        QElapsedTimer t;
        t.start();
        const std::clock_t cpu = std::clock();
        std::vector<UserRecord> users;
        (void)ReadAllUsers(dir.ProgramDir(), users);
        std::printf("reading user.sdb alone: %.1f ms (%.1f ms of CPU)\n",
                    static_cast<double>(t.nsecsElapsed()) / 1e6,
                    1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer t;
        t.start();
        const std::clock_t cpu = std::clock();
        CUsersPage page(MakeTableAccountAccess(dir.ProgramDir()),
                        [] { return std::string("/srv/ftp"); });
        PaintCounter counter;
        page.View().viewport()->installEventFilter(&counter);
        page.resize(900, 600);
        page.show();
        WaitForPaint(counter, 0);
        const double firstPaint = static_cast<double>(t.nsecsElapsed()) / 1e6;
        std::printf("round %d: first paint %.1f ms (%.1f ms of CPU), %d rows\n", round, firstPaint,
                    1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC,
                    page.Model().rowCount());
        if (round < 3) continue;

        Report("typing \"user0123\", then erasing it:", TypeAndErase(page, counter, "user0123"));
        Report("typing \"group1\", then erasing it:", TypeAndErase(page, counter, "group1"));
        t.restart();
        int before = counter.paints;
        page.View().sortByColumn(2, Qt::DescendingOrder);  // Email, descending
        WaitForPaint(counter, before);
        std::printf("sorting by Email, descending: %.1f ms\n",
                    static_cast<double>(t.nsecsElapsed()) / 1e6);
        Report("sorted, typing \"example\", then erasing it:",
               TypeAndErase(page, counter, "example"));
    }
    return 0;
}
