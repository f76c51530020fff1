#pragma once
// A font with its colour, as the library's controls own one; a change of
// either fires OnChange.
#include <QFont>
#include <functional>

#include "widgets/skColor.h"

class TFont {
public:
    TFont() = default;
    explicit TFont(const QFont& font, TColor color = clWindowText) : FFont(font), FColor(color) {}

    const QFont& Font() const { return FFont; }
    TColor Color() const { return FColor; }
    void SetFont(const QFont& font);
    void SetColor(TColor color);
    // Copies face and colour; fires OnChange once when anything differs.
    void Assign(const TFont& other);

    std::function<void()> OnChange;

private:
    void Changed();
    QFont FFont;
    TColor FColor = clWindowText;
};
