#pragma once
// The caption text renderer: draws one or more lines into a rectangle of a
// canvas, rotated by whole degrees, with a drop shadow, a 3-D extrusion, an
// outline, an embossed look or the disabled look. Owners hand it their font,
// canvas, text and rectangle and call Draw from their own painting.
#include <QFont>
#include <QPainter>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "widgets/skColor.h"
#include "widgets/skCommon.h"
#include "widgets/skFont.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TskVAlignment { vaTop, vaVCenter, vaBottom };
enum TskTextStyle { sklsDefault, sklsLowered, sklsRaised, sklsOutline };
enum TskOrientation { skTopLeft, skTopRight, skBottomLeft, skBottomRight, skTop, skRight, skLeft, skBottom };
enum TskTextOption : unsigned { toShowAccel = 1, toShowEllipsis = 2 };
using TskTextOptions = unsigned;

// One extrusion step toward the text per orientation; the outline draws once at each.
struct TskDirection {
    int dx, dy;
};
extern const TskDirection skDirections[8];

class TskText;

class TskShadowEffects {
public:
    explicit TskShadowEffects(TskText* text) : FText(text) {}
    TColor Color() const { return FColor; }
    bool Enabled() const { return FEnabled; }
    int XOffset() const { return FXOffset; }
    int YOffset() const { return FYOffset; }
    void SetColor(TColor v);
    void SetEnabled(bool v);
    void SetXOffset(int v);
    void SetYOffset(int v);
    void Assign(const TskShadowEffects& o);

private:
    TskText* FText;
    TColor FColor = clBtnShadow;
    bool FEnabled = false;
    int FXOffset = 10, FYOffset = 10;
};

class TskExtrudeEffects {
public:
    explicit TskExtrudeEffects(TskText* text) : FText(text) {}
    int Depth() const { return FDepth; }
    bool Enabled() const { return FEnabled; }
    TColor FarColor() const { return FFarColor; }
    TColor NearColor() const { return FNearColor; }
    TskOrientation Orientation() const { return FOrientation; }
    bool Striated() const { return FStriated; }
    void SetDepth(int v);
    void SetEnabled(bool v);
    void SetFarColor(TColor v);
    void SetNearColor(TColor v);
    void SetOrientation(TskOrientation v);
    void SetStriated(bool v);
    void Assign(const TskExtrudeEffects& o);

private:
    TskText* FText;
    int FDepth = 10;
    bool FEnabled = false;
    TColor FFarColor = clBlack, FNearColor = clBlack;
    TskOrientation FOrientation = skBottomRight;
    bool FStriated = false;
};

class TskDisabledColors {
public:
    explicit TskDisabledColors(TskText* text) : FText(text) {}
    TColor HighlightColor() const { return FHighlightColor; }
    TColor ShadeColor() const { return FShadeColor; }
    void SetHighlightColor(TColor v);
    void SetShadeColor(TColor v);
    void Assign(const TskDisabledColors& o);

private:
    TskText* FText;
    TColor FHighlightColor = clBtnHighlight, FShadeColor = clBtnShadow;
};

class TskText {
public:
    using TProc = std::function<void()>;
    using TEnabledProc = std::function<bool()>;

    TskText(TProc invalidateProc, TProc adjustBoundsProc, TEnabledProc getEnabledProc, const TFont* font,
            QPainter* canvas);
    virtual ~TskText();
    TskText(const TskText&) = delete;
    TskText& operator=(const TskText&) = delete;

    // Owner protocol: set Canvas, Text and TextRect, then Draw.
    QPainter* Canvas = nullptr;
    TRect TextRect;
    TRect DrawRect;
    TProc InvalidateProc;
    TProc AdjustBoundsProc;
    TEnabledProc GetEnabledProc;
    bool ScaleByPixelsPerInch = false;

    const std::string& Text() const { return FText; }
    void SetText(const std::string& text) { FText = text; }
    const TFont* Font() const { return FFont; }
    void SetFont(const TFont* font) { FFont = font; }

    TAlignment Alignment() const { return FAlignment; }
    TskVAlignment VAlignment() const { return FVAlignment; }
    TColor HighlightColor() const { return FHighlightColor; }
    TColor ShadeColor() const { return FShadeColor; }
    TColor OutlineColor() const { return FOutlineColor; }
    int LineSpacing() const { return FLineSpacing; }
    TskTextOptions Options() const { return FOptions; }
    int Rotation() const { return FRotation; }
    TskTextStyle Style() const { return FStyle; }
    bool WordWrap() const { return FWordWrap; }
    unsigned DrawFlags() const { return FFlags; }
    TskShadowEffects& Shadow() { return FShadow; }
    TskExtrudeEffects& ExtrudeEffects() { return FExtrude; }
    TskDisabledColors& DisabledColors() { return FDisabled; }
    const TskShadowEffects& Shadow() const { return FShadow; }
    const TskExtrudeEffects& ExtrudeEffects() const { return FExtrude; }

    void SetAlignment(TAlignment v);
    void SetVAlignment(TskVAlignment v);
    void SetHighlightColor(TColor v);
    void SetShadeColor(TColor v);
    void SetOutlineColor(TColor v);
    void SetLineSpacing(int v);
    void SetOptions(TskTextOptions v);
    void SetRotation(int v);
    void SetStyle(TskTextStyle v);
    void SetWordWrap(bool v);

    // Copies the effects and the text (not the alignments, wrap or disabled colours).
    void AssignTo(TskText& other) const;

    virtual QFont FillLogFont() const;
    virtual QSize MeasureText() const;
    virtual QSize GetTextSize(bool unclipped) const;
    virtual TRect CalcDrawRect(bool unclipped) const;
    virtual TRect CalcRect(bool unclipped) const;
    virtual void Invalidate();
    virtual void Draw();

    // Called by the option groups.
    void EffectChanged(bool adjustBounds);

protected:
    virtual void DrawHighlightEdge();
    virtual void DrawOutline();
    virtual void DrawShadow(TRect r);
    virtual void DrawLines(TRect r);
    virtual void DrawDefault();
    virtual void DrawOutlineStyle();
    virtual void DrawEmbossedStyle(bool raised);
    virtual void PrepareFont();
    void DrawExtrusion();
    void DrawEmbossed(bool raised);

private:
    // Each line of the text as DrawLines places it in r: the line, where it
    // starts and its height.
    using TLineProc = std::function<void(const std::string& line, std::int64_t x, std::int64_t y, int height)>;
    void ForEachLine(const TRect& r, const TLineProc& proc) const;
    // The shadow's offsets and the extrusion's depth as far as they can reach.
    QPoint ShadowOffset() const;
    int Depth() const;
    QPoint EffectiveShadowOffset() const;
    // The extrusion steps, from the first to the last of each range, whose
    // text can reach the canvas when the first step starts at start.
    std::vector<std::pair<int, int>> ShownSteps(const TRect& start, TskDirection d, int depth) const;
    QSize DirectionalExtent() const;
    QSize PlainExtent() const;
    bool Enabled() const { return GetEnabledProc ? GetEnabledProc() : true; }
    void AdjustBounds();

    std::string FText;
    const TFont* FFont;
    TAlignment FAlignment = taLeftJustify;
    TskVAlignment FVAlignment = vaTop;
    TColor FHighlightColor = clBtnHighlight;
    TColor FShadeColor = clBtnShadow;
    TColor FOutlineColor = clBlack;
    unsigned FFlags = DT_NOCLIP;
    int FLineSpacing = 5;
    TskTextOptions FOptions = toShowAccel;
    int FRotation = 0;
    TskTextStyle FStyle = sklsDefault;
    bool FWordWrap = false;
    TskShadowEffects FShadow{this};
    TskExtrudeEffects FExtrude{this};
    TskDisabledColors FDisabled{this};
    // The font and colour of the running drawing pass.
    QFont FPassFont;
    TColor FPassColor = clBlack;
};

// The form owners create: the same engine, its properties published.
class TskCaptionText : public TskText {
public:
    using TskText::TskText;
};
