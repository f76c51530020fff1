#include "server/ui/MessagePump.h"

#include <QTimer>

#include "os/MessageLoop.h"
#include "platform/dialogs/ExceptionHandler.h"

#ifdef HAVE_QT_LOOP_BRIDGE
#include "os/qt/QtLoopBridge.h"

TMessagePump::TMessagePump() : driver_(std::make_unique<os::QtLoopBridge>())
{
    auto* bridge = static_cast<os::QtLoopBridge*>(driver_.get());
    // A handler that threw out of a pump left the next deadline unscheduled:
    // a slow guard pumps again, which schedules it anew.
    auto* guard = new QTimer(bridge);
    guard->setInterval(250);
    QObject::connect(guard, &QTimer::timeout, bridge, [bridge] { Guarded([bridge] { bridge->Pump(); }); });
    guard->start();
}
#else
TMessagePump::TMessagePump() : driver_(std::make_unique<QTimer>())
{
    auto* timer = static_cast<QTimer*>(driver_.get());
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, timer, [] {
        Guarded([] { os::MessageLoop::ForThisThread().ProcessMessages(); });
    });
    timer->start();
}
#endif

TMessagePump::~TMessagePump() = default;
