// Acting inside a modal dialog as a user would: the dialog's own event loop runs the
// step, so the code that opened it (exec) carries on as it would after a click.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>
#include <memory>

struct ModalStep {
    bool ran = false;       // the dialog appeared and the step ran
    bool leftOpen = false;  // the step did not close it (it was then cancelled)
};

// The timers of steps still waiting; a step outliving its test would act on the next.
inline QObject& PendingSteps() {
    static QObject owner;
    return owner;
}
// Drops every step still waiting for its dialog (at the end of each test).
inline void CancelPendingSteps() {
    for (QTimer* timer : PendingSteps().findChildren<QTimer*>()) delete timer;
}

// Runs `step` on the next modal `Dialog` that opens within five seconds. A dialog the
// step leaves open is cancelled afterwards, so that a refused save never hangs a test.
template <typename Dialog>
std::shared_ptr<ModalStep> WhenShown(std::function<void(Dialog&)> step) {
    auto result = std::make_shared<ModalStep>();
    auto* timer = new QTimer(&PendingSteps());
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr && ++*tries < 500) return;
        timer->stop();
        timer->deleteLater();
        if (dialog == nullptr) return;
        result->ran = true;
        step(*dialog);
        if (dialog->isVisible()) {
            result->leftOpen = true;
            dialog->reject();
        }
    });
    timer->start(10);
    return result;
}
