#pragma once
// Internal to os/: the process-wide table of message targets.
#include <memory>

#include "os/MessageLoop.h"

namespace os::detail {

// Calls the target's handler (held alive for the call); 0 when it is gone.
LRESULT DispatchToTarget(const MSG& msg);
// True when the target exists and belongs to the calling thread.
bool TargetOwnedByThisThread(HWND target);
// Forgets every target of a loop that is going away.
void DropTargetsOfLoop(const MessageLoop::Impl* loop);

} // namespace os::detail
