#pragma once
#include <cstdint>
#include <functional>

namespace os {

// A message target stands in for a hidden window: an id that is never reused
// (0 means none), a handler, and the thread whose loop dispatches to it.
using HWND = std::uint64_t;
using UINT = std::uint32_t;
using WPARAM = std::uint64_t;
using LPARAM = std::int64_t;
using LRESULT = std::int64_t;

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

inline std::uint16_t LOWORD(LPARAM l) { return static_cast<std::uint16_t>(l & 0xFFFF); }
inline std::uint16_t HIWORD(LPARAM l) { return static_cast<std::uint16_t>((l >> 16) & 0xFFFF); }
inline LPARAM MAKELONG(std::uint16_t lo, std::uint16_t hi)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 16));
}

using MessageHandler = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

// Creates a target owned by the calling thread (its loop is created on demand).
HWND CreateMessageTarget(MessageHandler handler);
// Destroys a target; messages still queued for it are dropped. Safe to call
// from inside the target's own handler. Only the owning thread may destroy.
bool DestroyMessageTarget(HWND target);
bool IsMessageTarget(HWND target);

// Queues a message for the target's thread, FIFO, from any thread. Never
// dispatches inside the call. False when the target does not exist.
bool PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the target's handler at once; only from the owning thread. 0 when the
// target does not exist.
LRESULT SendMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam);

// Queues WM_QUIT on the calling thread's loop.
void PostQuitMessage(int exitCode);

// Window timers: WM_TIMER (wParam = id) to the target every elapse ms; at most
// one WM_TIMER per timer is queued at a time. Setting an existing id restarts it.
bool SetTimer(HWND target, std::uintptr_t id, UINT elapseMs);
bool KillTimer(HWND target, std::uintptr_t id);

} // namespace os
