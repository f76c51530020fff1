#include "platform/dialup/DuMisc.h"

#include "platform/dialogs/EventHandler.h"

os::HWND CreateGuardedMessageTarget(std::function<void(os::UINT, os::WPARAM, os::LPARAM)> handler)
{
    auto guarded = EventHandler(std::move(handler));
    return os::CreateMessageTarget([guarded](os::UINT message, os::WPARAM wParam, os::LPARAM lParam) {
        guarded(message, wParam, lParam);
        return os::LRESULT(0);
    });
}
