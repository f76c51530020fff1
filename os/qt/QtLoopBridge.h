#pragma once
// Lets a Qt event loop drive a thread's message loop: a notifier on the
// loop's descriptor and a single-shot timer for its next deadline both call
// ProcessMessages. Create it on the thread whose loop it drives.
#include <functional>
#include <memory>

#include <QObject>

#include "os/MessageLoop.h"

class QSocketNotifier;
class QTimer;

namespace os {

class QtLoopBridge : public QObject {
public:
    explicit QtLoopBridge(QObject* parent = nullptr);
    QtLoopBridge(MessageLoop& loop, QObject* parent);
    ~QtLoopBridge() override;

    // Called when the loop met a WM_QUIT (with its exit code); unassigned,
    // the Qt application exits with that code.
    std::function<void(int exitCode)> OnQuit;
    // Called inside the catch block when a message handler threw: an exception
    // must never unwind through Qt's frames. Unassigned, it is written to the
    // log and the loop goes on.
    std::function<void()> OnHandlerException;

    // Dispatches what is ready and sets the timer for the next deadline.
    void Pump();

private:
    void Reschedule();

    MessageLoop& loop_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
};

} // namespace os
