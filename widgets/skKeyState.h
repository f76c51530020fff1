#pragma once
// Lock-key states for the key-state panels. On X11 Caps, Num and Scroll Lock
// come from the display server's named indicators and are toggled through
// its lock modifiers; Insert is the application's own toggle, as the system
// keeps none. Without X11 (offscreen) every lock reads off.

// The virtual key numbers the panels are described with.
constexpr int VK_CAPITAL = 20;
constexpr int VK_INSERT = 45;
constexpr int VK_NUMLOCK = 144;
constexpr int VK_SCROLL = 145;

// True when the key's toggle is on.
bool KeyToggled(int vk);
// Flips the key's toggle; false when it cannot be flipped here.
bool ToggleKey(int vk);
// True when the lock states come from a display server.
bool KeyStatesAvailable();
