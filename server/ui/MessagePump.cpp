#include "server/ui/MessagePump.h"

#include <QTimer>

#include "os/qt/QtLoopBridge.h"
#include "platform/dialogs/EventHandler.h"

TMessagePump::TMessagePump() : driver_(std::make_unique<os::QtLoopBridge>())
{
    auto* bridge = static_cast<os::QtLoopBridge*>(driver_.get());
    // A handler that threw out of a pump left the next deadline unscheduled:
    // a slow guard pumps again, which schedules it anew.
    auto* guard = new QTimer(bridge);
    guard->setInterval(250);
    ConnectHandler(guard, &QTimer::timeout, bridge, [bridge] { bridge->Pump(); });
    guard->start();
}

TMessagePump::~TMessagePump() = default;
