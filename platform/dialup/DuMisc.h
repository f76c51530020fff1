#pragma once
// The common parent of the dial-up components, and the hidden window they
// receive their messages on.
#include <functional>
#include <string>

#include "os/MessageTarget.h"
#include "rtl/Object.h"

class TDialBaseComponent : public TObject {
public:
    // Fixed; writing it changes nothing.
    std::string Version() const { return "v1.00"; }
    void SetVersion(const std::string&) {}
};

// A message target whose handler runs guarded: what it throws ends in the
// error box, never in the message loop.
os::HWND CreateGuardedMessageTarget(std::function<void(os::UINT, os::WPARAM, os::LPARAM)> handler);
