#include "server/ui/MessagePump.h"

#include "os/qt/QtLoopBridge.h"
#include "platform/dialogs/ExceptionHandler.h"

TMessagePump::TMessagePump() : driver_(std::make_unique<os::QtLoopBridge>())
{
    auto* bridge = static_cast<os::QtLoopBridge*>(driver_.get());
    bridge->OnHandlerException = [] { HandleException(); };
}

TMessagePump::~TMessagePump() = default;
