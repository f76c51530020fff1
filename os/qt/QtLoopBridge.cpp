#include "os/qt/QtLoopBridge.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QtGlobal>
#include <exception>

namespace os {

QtLoopBridge::QtLoopBridge(QObject* parent) : QtLoopBridge(MessageLoop::ForThisThread(), parent) {}

QtLoopBridge::QtLoopBridge(MessageLoop& loop, QObject* parent) : QObject(parent), loop_(loop)
{
    notifier_ = new QSocketNotifier(loop_.PollFd(), QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { Pump(); });
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { Pump(); });
    // Whatever was posted before the bridge existed.
    QTimer::singleShot(0, this, [this] { Pump(); });
}

QtLoopBridge::~QtLoopBridge() = default;

void QtLoopBridge::Pump()
{
    try {
        loop_.ProcessMessages();
    } catch (...) {
        if (OnHandlerException) {
            OnHandlerException();
        } else {
            try {
                throw;
            } catch (const std::exception& e) {
                qWarning("message handler failed: %s", e.what());
            } catch (...) {
                qWarning("message handler failed");
            }
        }
    }
    if (loop_.QuitReceived()) {
        int code = loop_.ExitCode();
        loop_.ClearQuit();
        if (OnQuit)
            OnQuit(code);
        else
            QCoreApplication::exit(code);
    }
    Reschedule();
}

void QtLoopBridge::Reschedule()
{
    int ms = loop_.MillisecondsToNextTimer();
    if (ms < 0) {
        timer_->stop();
        return;
    }
    // Never 0: a due timer is taken by the pump itself, and a 0 ms timer
    // would keep firing.
    timer_->start(ms < 1 ? 1 : ms);
}

} // namespace os
