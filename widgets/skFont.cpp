#include "widgets/skFont.h"

#include "widgets/skCommon.h"

void TFont::SetFont(const QFont& font)
{
    if (!Change(FFont, font))
        return;
    Changed();
}

void TFont::SetColor(TColor color)
{
    if (!Change(FColor, color))
        return;
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
