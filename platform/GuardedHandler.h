#pragma once
// Every handler of the dial-up and drag-and-drop components (Qt connections,
// event filters, message-target handlers, dialer events) runs through
// GuardedHandler: an exception from it is shown in the error box at the
// handler's edge and never unwinds through Qt or the message loop. Kept in
// this one place so that it can follow the dialogs service's own wrapper for
// every handler when that one is there.
#include <type_traits>
#include <utility>

#include "platform/dialogs/ExceptionHandler.h"

template <class F>
auto GuardedHandler(F f)
{
    // Arguments the handler does not take (a signal's private tag) are dropped.
    return [f = std::move(f)](auto&&... args) {
        Guarded([&] {
            if constexpr (std::is_invocable_v<const F&, decltype(args)...>)
                f(std::forward<decltype(args)>(args)...);
            else
                f();
        });
    };
}
