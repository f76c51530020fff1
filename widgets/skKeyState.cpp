#include "widgets/skKeyState.h"

#include <QGuiApplication>
#include <memory>

#ifdef SK_HAVE_X11
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#endif

namespace {

bool InsertToggle = false;

#ifdef SK_HAVE_X11
struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

// A connection of our own to the display the application shows on, opened
// at first use; null when the application does not run on X11.
Display* XkbDisplay()
{
    static std::unique_ptr<Display, DisplayCloser> display;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) &&
            QGuiApplication::platformName() == QLatin1String("xcb")) {
            int major = XkbMajorVersion, minor = XkbMinorVersion, error = 0;
            Display* d = XkbOpenDisplay(nullptr, nullptr, nullptr, &major, &minor, &error);
            if (d)
                display.reset(d);
        }
    }
    return display.get();
}

const char* IndicatorName(int vk)
{
    switch (vk) {
    case VK_CAPITAL: return "Caps Lock";
    case VK_NUMLOCK: return "Num Lock";
    case VK_SCROLL: return "Scroll Lock";
    default: return nullptr;
    }
}

unsigned ModifierOf(Display* d, int vk)
{
    switch (vk) {
    case VK_CAPITAL: return LockMask;
    case VK_NUMLOCK: return XkbKeysymToModifiers(d, XK_Num_Lock);
    case VK_SCROLL: return XkbKeysymToModifiers(d, XK_Scroll_Lock);
    default: return 0;
    }
}
#endif

} // namespace

bool KeyStatesAvailable()
{
#ifdef SK_HAVE_X11
    return XkbDisplay() != nullptr;
#else
    return false;
#endif
}

bool KeyToggled(int vk)
{
    if (vk == VK_INSERT)
        return InsertToggle;
#ifdef SK_HAVE_X11
    Display* d = XkbDisplay();
    const char* name = IndicatorName(vk);
    if (!d || !name)
        return false;
    Bool on = False;
    if (!XkbGetNamedIndicator(d, XInternAtom(d, name, False), nullptr, &on, nullptr, nullptr))
        return false;
    return on;
#else
    return false;
#endif
}

bool ToggleKey(int vk)
{
    if (vk == VK_INSERT) {
        InsertToggle = !InsertToggle;
        return true;
    }
#ifdef SK_HAVE_X11
    Display* d = XkbDisplay();
    if (!d)
        return false;
    unsigned mask = ModifierOf(d, vk);
    if (mask == 0) {
        // No modifier locks this key (Scroll Lock in most keymaps): flip the
        // named indicator itself, where the keymap lets it be set.
        Atom name = XInternAtom(d, IndicatorName(vk), False);
        Bool on = False;
        if (!XkbGetNamedIndicator(d, name, nullptr, &on, nullptr, nullptr) ||
            !XkbSetNamedIndicator(d, name, True, !on, False, nullptr))
            return false;
        XSync(d, False);
        Bool now = on;
        return XkbGetNamedIndicator(d, name, nullptr, &now, nullptr, nullptr) && now != on;
    }
    XkbStateRec state;
    if (XkbGetState(d, XkbUseCoreKbd, &state) != Success)
        return false;
    XkbLockModifiers(d, XkbUseCoreKbd, mask, (state.locked_mods & mask) ? 0 : mask);
    XSync(d, False);
    return true;
#else
    return false;
#endif
}
