#pragma once
// One owner-drawn part of the status bar: plain text, a glyph, a hosted
// control, a key state, the date or time, the application hint, the user or
// computer name, or the caret position of a rich edit.
#include <QDateTime>
#include <QMetaObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "widgets/skCollection.h"
#include "widgets/skCommon.h"
#include "widgets/skFont.h"
#include "widgets/skText.h"

#include <QMenu>
class QObject;
class QPainter;
class TskStatusPanels;
class TskCustomStatusBar;

enum TskStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum TskStatusPanelStyle {
    psTextOnly,
    psControl,
    psOverWrite,
    psCapsLock,
    psNumLock,
    psDateTime,
    psDate,
    psTime,
    psGlyph,
    psRichEditStatus,
    psHint,
    psUserName,
    psComputerName,
    psScrollLock
};

class TskStatusPanel : public TskCollectionItem {
public:
    using TNotifyEvent = std::function<void(TskStatusPanel*)>;
    using TMouseEvent = std::function<void(TskStatusPanel*, Qt::MouseButton, Qt::KeyboardModifiers, int, int)>;
    using TMouseMoveEvent = std::function<void(TskStatusPanel*, Qt::KeyboardModifiers, int, int)>;
    using TskDrawTextEvent = std::function<void(TskStatusPanel*, std::string& text, bool& enabled)>;
    using TskPanelTextChangedEvent = std::function<void(TskStatusPanel*, const std::string& text)>;

    explicit TskStatusPanel(TskStatusPanels* panels);
    ~TskStatusPanel() override;

    TskStatusPanelBevel Bevel() const { return FBevel; }
    TColor Color() const { return FColor; }
    QObject* Component() const { return FComponent; }
    bool Enabled() const { return FEnabled; }
    TFont& Font() { return FFont; }
    const std::string& Hint() const { return FHint; }
    int ImageIndex() const { return FImageIndex; }
    int Indent() const { return FIndent; }
    int Margin() const { return FMargin; }
    const std::string& Name() const { return FName; }
    QMenu* PopupMenu() const { return FPopupMenu; }
    TskStatusPanelStyle Style() const { return FStyle; }
    const std::string& Text() const { return FText; }
    TskCaptionText& TextOptions() { return *FTextOptions; }
    const std::string& Width() const { return FWidth; }

    void SetBevel(TskStatusPanelBevel v);
    void SetColor(TColor v);
    void SetComponent(QObject* v);
    void SetEnabled(bool v);
    void SetHint(const std::string& v);
    void SetImageIndex(int v);
    void SetIndent(int v);
    void SetMargin(int v);
    void SetName(const std::string& v);
    void SetPopupMenu(QMenu* v);
    void SetStyle(TskStatusPanelStyle v);
    void SetText(const std::string& v);
    void SetWidth(const std::string& v);

    TNotifyEvent OnClick, OnDblClick;
    TskDrawTextEvent OnDrawText;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TskPanelTextChangedEvent OnTextChanged;

    // The width from Width: pixels, or a share of what the fixed panels leave.
    std::optional<int> Percent() const { return FPercent; }
    int PixelWidth() const { return FPixelWidth; }
    void SetPixelWidth(int v) { FPixelWidth = v; }

    std::string DisplayName() const { return FName.empty() ? "TskStatusPanel" : FName; }
    TskStatusPanels* Panels() const;
    TskCustomStatusBar* StatusBar() const;
    TRect PanelRect() const;
    // Paints the panel into r of the canvas (the bar's paint event calls it).
    void Paint(QPainter& canvas, const TRect& r);
    // Asks for the panel to be repainted.
    void Redraw();
    void Assign(const TskStatusPanel& source);

    // The bar's mouse handling of the panel under the cursor.
    void Click();
    void DblClick();
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void ComponentRemoved(QObject* component);

    // The caret of a rich-edit panel last shown.
    int CaretLine = 0, CaretColumn = 0;

    // Releases a hosted control without handing it back (another panel takes it).
    void ReleaseComponent();

private:
    void MarkChanged() { Changed(false); }
    void RefreshDateTime();
    bool DateTimeUnchanged() const;
    void PositionControl();
    void DrawGlyph();
    void DrawKeyState();
    void DrawTextIn(std::string text, TRect r, bool enabled);
    void WatchComponent();

    TskStatusPanelBevel FBevel = pbLowered;
    TColor FColor = clBtnFace;
    QObject* FComponent = nullptr;
    QMetaObject::Connection FComponentWatch;
    bool FEnabled = true;
    TFont FFont;
    std::string FHint;
    int FImageIndex = 0;
    int FIndent = 0;
    int FMargin = 0;
    std::string FName;
    QPointer<QMenu> FPopupMenu;
    TskStatusPanelStyle FStyle = psTextOnly;
    std::string FText;
    std::unique_ptr<TskCaptionText> FTextOptions;
    std::string FWidth = "50";
    std::optional<int> FPercent;
    int FPixelWidth = 50;
    bool FDrawEnabled = true;
    bool FDrawing = false;
    QDateTime FShown;
    QPainter* FCanvas = nullptr;
    TRect FRect;
};
