#include "widgets/skFont.h"

void TFont::SetFont(const QFont& font)
{
    if (font == FFont)
        return;
    FFont = font;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (color == FColor)
        return;
    FColor = color;
    Changed();
}

void TFont::Assign(const TFont& other)
{
    if (other.FFont == FFont && other.FColor == FColor)
        return;
    FFont = other.FFont;
    FColor = other.FColor;
    Changed();
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}
