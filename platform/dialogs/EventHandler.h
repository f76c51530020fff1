#pragma once
// The one way a window hands a handler to Qt: every connected signal handler,
// queued call and timer goes through EventHandler, which catches at the
// handler's edge and shows the error box. An exception must never unwind
// through Qt's own frames (it skips their clean-ups and leaks what they hold).
//
//   ConnectHandler(ui->btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
//   QTimer::singleShot(0, this, EventHandler([this] { WMStartUp(); }));
//
// The handler takes the signal's leading arguments it names, as with connect().
#include <QObject>
#include <utility>

#include "platform/dialogs/ExceptionHandler.h"

namespace eventhandler_detail {

template <class F, class R, class C, class... Args>
auto Wrap(F f, R (C::*)(Args...) const)
{
    return [f = std::move(f)](Args... args) { Guarded([&] { f(std::forward<Args>(args)...); }); };
}

template <class F, class R, class C, class... Args>
auto Wrap(F f, R (C::*)(Args...))
{
    return [f = std::move(f)](Args... args) mutable { Guarded([&] { f(std::forward<Args>(args)...); }); };
}

} // namespace eventhandler_detail

// f with the same parameters, whose exceptions end in the error box.
template <class F>
auto EventHandler(F f)
{
    return eventhandler_detail::Wrap(std::move(f), &F::operator());
}

// connect() through EventHandler; the handler goes with context.
template <class Sender, class Signal, class F>
QMetaObject::Connection ConnectHandler(const Sender* sender, Signal signal, const QObject* context, F handler)
{
    return QObject::connect(sender, signal, context, EventHandler(std::move(handler)));
}
