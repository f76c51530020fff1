#pragma once
// The words the key-state panels show; a changed word repaints the bar.
#include <functional>
#include <string>

class TskStatusBarText {
public:
    explicit TskStatusBarText(std::function<void()> invalidate) : FInvalidate(std::move(invalidate)) {}

    const std::string& CapsLock() const { return FCapsLock; }
    const std::string& Overwrite() const { return FOverwrite; }
    const std::string& NumLock() const { return FNumLock; }
    const std::string& ScrollLock() const { return FScrollLock; }
    void SetCapsLock(const std::string& v) { Set(FCapsLock, v); }
    void SetOverwrite(const std::string& v) { Set(FOverwrite, v); }
    void SetNumLock(const std::string& v) { Set(FNumLock, v); }
    void SetScrollLock(const std::string& v) { Set(FScrollLock, v); }

private:
    void Set(std::string& field, const std::string& v)
    {
        if (field == v)
            return;
        field = v;
        if (FInvalidate)
            FInvalidate();
    }
    std::function<void()> FInvalidate;
    std::string FCapsLock = "Caps", FOverwrite = "Overwrite", FNumLock = "Num", FScrollLock = "Scroll";
};
