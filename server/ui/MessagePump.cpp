#include "server/ui/MessagePump.h"

#include <QTimer>

#include "os/MessageLoop.h"
#include "platform/dialogs/ExceptionHandler.h"

TMessagePump::TMessagePump() : driver_(std::make_unique<QTimer>())
{
    auto* timer = static_cast<QTimer*>(driver_.get());
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, timer, [] {
        Guarded([] { os::MessageLoop::ForThisThread().ProcessMessages(); });
    });
    timer->start();
}

TMessagePump::~TMessagePump() = default;
