#pragma once
// Every handler the client's windows connect runs through this one place, so
// no exception unwinds through Qt's frames: it ends in the error box.
#include <QObject>
#include <utility>

#include "platform/dialogs/ExceptionHandler.h"

// Connects signal of sender to handler (which takes no arguments: it reads
// what it needs from the widgets), guarded at the handler's edge.
template <class Sender, class Signal, class Handler>
QMetaObject::Connection ConnectHandler(const Sender* sender, Signal signal, const QObject* context,
                                       Handler handler)
{
    return QObject::connect(sender, signal, context,
                            [handler = std::move(handler)]() mutable { Guarded(handler); });
}
