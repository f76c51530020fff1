#pragma once
// The owner-drawn push button the image and shape buttons are built on: its
// state (down, default, cancel, group), mouse and keyboard handling, the
// standard kinds with their glyphs, the window shape of non-rectangular
// buttons and its storage, and the listeners (a button group). Derived
// classes draw the face into an off-screen bitmap.
#include <QByteArray>
#include <QImage>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "widgets/skBitmap.h"
#include "widgets/skChangeLink.h"
#include "widgets/skFont.h"
#include "widgets/skText.h"

class QShortcut;
class TskCustomBitBtn;

enum TskShadeStyle { fbsNormal, fbsRaised, fbsHighlight, fbsFlat };
enum TskButtonOption : unsigned {
    boFocusable = 1,
    boOverrideActionGlyph = 2,
    boToggleOnUp = 4,
    boFocusRect = 8,
    boAutoBold = 16,
};
using TskButtonOptions = unsigned;
enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry, bkIgnore, bkAll };
enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonStyle { bsAutoDetect, bsWin31, bsNew };

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
                       mrNo = 7, mrAll = 8;

class TskOffsets {
public:
    explicit TskOffsets(TskCustomBitBtn* owner) : FOwner(owner) {}
    virtual ~TskOffsets() = default;
    int GlyphX() const { return FGlyphX; }
    int GlyphY() const { return FGlyphY; }
    int TextX() const { return FTextX; }
    int TextY() const { return FTextY; }
    void SetGlyphX(int v) { Set(FGlyphX, v); }
    void SetGlyphY(int v) { Set(FGlyphY, v); }
    void SetTextX(int v) { Set(FTextX, v); }
    void SetTextY(int v) { Set(FTextY, v); }
    // Plain fields: no repaint.
    int TextDownX = 1, TextDownY = 1;
    virtual void Assign(const TskOffsets& source);

protected:
    void Set(int& field, int v);
    TskCustomBitBtn* FOwner;

private:
    int FGlyphX = 0, FGlyphY = 0, FTextX = 0, FTextY = 0;
};

class TskShadeColors {
public:
    explicit TskShadeColors(TskCustomBitBtn* owner) : FOwner(owner) {}
    TColor BtnHighlight() const { return FColors[0]; }
    TColor Btn3DLight() const { return FColors[1]; }
    TColor BtnShadow() const { return FColors[2]; }
    TColor BtnBlack() const { return FColors[3]; }
    TColor BtnFocus() const { return FColors[4]; }
    TColor Shadow() const { return FColors[5]; }
    void SetBtnHighlight(TColor v) { Set(0, v); }
    void SetBtn3DLight(TColor v) { Set(1, v); }
    void SetBtnShadow(TColor v) { Set(2, v); }
    void SetBtnBlack(TColor v) { Set(3, v); }
    void SetBtnFocus(TColor v) { Set(4, v); }
    void SetShadow(TColor v) { Set(5, v); }
    void Assign(const TskShadeColors& source);

private:
    void Set(int index, TColor v);
    TskCustomBitBtn* FOwner;
    TColor FColors[6] = {clBtnHighlight, clBtn3DLight, clBtnShadow, clBlack, clBlack, clBlack};
};

class TskCustomBitBtn : public QWidget {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TskCustomBitBtn*)>;

    Q_INVOKABLE explicit TskCustomBitBtn(QWidget* parent = nullptr);
    ~TskCustomBitBtn() override;

    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool v);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool v);
    bool Default() const { return FDefault; }
    void SetDefault(bool v);
    bool Down() const { return FDown; }
    void SetDown(bool v);
    const QImage& Glyph() const { return FGlyph; }
    void SetGlyph(const QImage& v);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int v);
    TBitBtnKind Kind() const;
    void SetKind(TBitBtnKind v);
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout v);
    int Margin() const { return FMargin; }
    void SetMargin(int v);
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult v) { FModalResult = v; }
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int v);
    TskOffsets& Offsets() { return *FOffsets; }
    TskButtonOptions Options() const { return FOptions; }
    void SetOptions(TskButtonOptions v);
    TskShadeColors& ShadeColors() { return FShadeColors; }
    TskShadeStyle ShadeStyle() const { return FShadeStyle; }
    void SetShadeStyle(TskShadeStyle v);
    bool SmoothFont() const { return FSmoothFont; }
    void SetSmoothFont(bool v);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int v);
    TButtonStyle Style() const { return FStyle; }
    void SetStyle(TButtonStyle v);
    TskCaptionText& TextOptions() { return *FTextOptions; }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    TFont& Font() { return FFont; }
    // The caption's weight as the bold rule of a group sets it; it outlasts
    // font changes that reach the button from its parent.
    void SetBoldCaption(bool bold);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool v);

    TNotifyEvent OnClick, OnMouseEnter, OnMouseLeave, OnSelChange;
    // A bad face (a shape that cannot be drawn) is reported here after the
    // painting fell back; without a handler it goes to the Qt log.
    std::function<void(TskCustomBitBtn*, const std::string&)> OnPaintError;

    // The selected flag: Down as last announced to listeners.
    bool Selected() const { return FSelected; }
    // While set, mouse, keys and clicks are ignored (a sliding outlook bar).
    bool SuppressClicks = false;
    // Called after the component name changes (a button group renames items).
    std::function<void()> RenameHook;
    bool MouseInControl() const { return FMouseInControl; }
    // True while a mouse or key action of the user on this button runs.
    bool InUserAction() const { return FUserAction > 0; }
    bool ActiveDefault() const { return FActiveDefault; }

    virtual void Assign(const TskCustomBitBtn& source);
    virtual void Click();
    virtual void AddChangeLink(TskChangeLink* link) { FLinks.Register(link); }
    virtual void RemoveChangeLink(TskChangeLink* link) { FLinks.UnRegister(link); }
    virtual void SetShadeColorsFrom(TColor color);
    virtual void SizeToContent() {}
    // The button-pressed broadcast of a group member.
    void ButtonPressed(int groupIndex, TskCustomBitBtn* sender);

    // Region data as stored in form files: a 32-bit little-endian count and
    // that many bytes (header and rectangles); count 0 is no region.
    QByteArray WriteRegionData(bool down) const;
    // A short, damaged or implausible block reads as no region; false then.
    bool ReadRegionData(bool down, const QByteArray& data);
    virtual bool HasRegionData() const { return false; }
    const std::optional<QRegion>& StoredRegion(bool down) const { return FStored[down]; }
    virtual void StoreRegionData(const std::optional<QRegion>& region, bool down) { FStored[down] = region; }
    virtual void ClearRegionData(bool down) { FStored[down].reset(); }
    // The shape last given to the window (the whole button without one).
    QRegion AppliedRegion() const;
    virtual bool UsesRegion() const { return false; }
    virtual bool RegionChangesWithState() const { return false; }
    virtual void ApplyRegion();
    // The whole button, drawn as it is now, into a bitmap of its size.
    virtual void PaintButton(TskBitmap& bitmap);
    // Whether a point in button coordinates lies on the button's shape.
    virtual bool PointInButton(const QPoint& p) const;
    // Picture of glyph rectangle and text rectangle (after the last paint).
    TRect GlyphRect() const { return FGlyphRect; }
    TRect TextRect() const { return FTextRect; }

signals:
    // The help of a Help button: the first non-zero "HelpContext" property
    // from the button up through its parents.
    void HelpRequested(int context);

protected:
    virtual std::optional<QRegion> CreateRegion(bool create, bool down);
    virtual void CalcLayout(const QSize& textSize, TRect& glyphRect, TRect& textRect);
    virtual int GlyphWidth() const;
    virtual void UpdateRegionOnStateChange();
    virtual void FreeRegions();
    virtual void DrawGlyph(QPainter& canvas, const TRect& r);
    virtual void DrawText(QPainter& canvas, const TRect& r);
    virtual void DrawFace(TskBitmap& bitmap, bool regionPass, bool down, TskShadeStyle style) {}
    virtual void DrawContent(QPainter& canvas, const TRect& client);
    virtual void GlyphChanged() { update(); }
    virtual void NotifyChanged() { FLinks.Notify(this, 1); }
    virtual void NotifyChanging() { FLinks.Notify(this, 2); }
    virtual void NotifyLoaded() { FLinks.Notify(this, 3); }
    virtual void PaintNow() { repaint(); }
    virtual void SelChange();
    virtual void NotifyGroup();
    virtual void InvalidateParentUnder(bool erase);
    virtual bool GetEnabledForText() const { return isEnabled(); }
    virtual void TextChangedHook() {}
    virtual void ReportPaintError(const std::string& message);
    // The window is made anew: regions are rebuilt and applied.
    void RecreateWnd();
    void SetDownState(bool down, bool invalidate, bool notifyGroup);
    void SetOffsetsObject(std::unique_ptr<TskOffsets> offsets) { FOffsets = std::move(offsets); }
    bool Clicking() const { return FClicking; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Press();
    void Release(bool inside);
    void MouseEntered();
    void ApplyBold();
    void UpdateAccelerator();
    void UpdateFocusPolicy();
    void FocusChanged(QWidget* now);
    void WatchWindow();

    bool FAllowAllUp = false, FCancel = false, FDefault = false, FDown = false;
    QImage FGlyph;
    int FGroupIndex = 0;
    TBitBtnKind FKind = bkCustom;
    TButtonLayout FLayout = blGlyphLeft;
    int FMargin = -1;
    TModalResult FModalResult = mrNone;
    int FNumGlyphs = 1;
    std::unique_ptr<TskOffsets> FOffsets;
    TskButtonOptions FOptions = 0;
    TskShadeColors FShadeColors{this};
    TskShadeStyle FShadeStyle = fbsNormal;
    bool FSmoothFont = false;
    int FSpacing = 4;
    TButtonStyle FStyle = bsAutoDetect;
    std::string FCaption;
    TColor FColor = clBtnFace;
    TFont FFont;
    std::optional<bool> FBoldCaption;
    std::unique_ptr<TskCaptionText> FTextOptions;
    bool FTabStop = true;

    TskChangeLinks FLinks;
    std::optional<QRegion> FStored[2];
    std::optional<QRegion> FApplied;
    std::optional<QRegion> FLastApplied;
    bool FPressed = false, FDownAtPress = false, FSelected = false, FClicking = false;
    bool FActiveDefault = false, FMouseInControl = false;
    int FUserAction = 0;
    TRect FGlyphRect, FTextRect;
    QShortcut* FShortcut = nullptr;
    QWidget* FWatchedWindow = nullptr;
    QMetaObject::Connection FFocusWatch;
};
