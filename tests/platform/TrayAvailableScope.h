#pragma once
// A notification area stood in (or denied) for one scope: the platform's
// answer is back when the scope ends, also when a failed assertion leaves it.
#include "platform/tray/Trayicon.h"

class TrayAvailableScope {
public:
    explicit TrayAvailableScope(bool available) { TTrayIcon::SetAvailableOverride(available ? 1 : 0); }
    ~TrayAvailableScope() { TTrayIcon::SetAvailableOverride(-1); }
    TrayAvailableScope(const TrayAvailableScope&) = delete;
    TrayAvailableScope& operator=(const TrayAvailableScope&) = delete;
    // Changes the stand-in within the scope.
    void Set(bool available) { TTrayIcon::SetAvailableOverride(available ? 1 : 0); }
};
