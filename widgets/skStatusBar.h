#pragma once
// The status bar: a widget that paints its own parts, each drawn by its
// TskStatusPanel, lays out pixel and percentage widths, keeps a size grip at
// the right, drives the date/time, hint and caret panels by timers, and
// repaints key-state panels when a lock key is pressed anywhere in the program.
#include <QList>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "widgets/skStatusBarText.h"
#include "widgets/skStatusPanels.h"

class QSizeGrip;

class TskCustomStatusBar : public QWidget {
    Q_OBJECT
public:
    using TDrawKeyboardStateEvent =
        std::function<void(TskCustomStatusBar*, TskStatusPanel*, bool keyIsOn, const TRect&, std::string& text)>;
    using TDrawPanelEvent = std::function<void(TskCustomStatusBar*, TskStatusPanel*, const TRect&)>;
    using TNotifyEvent = std::function<void(TskCustomStatusBar*)>;
    using TMouseEvent = std::function<void(TskCustomStatusBar*, Qt::MouseButton, Qt::KeyboardModifiers, int, int)>;
    using TMouseMoveEvent = std::function<void(TskCustomStatusBar*, Qt::KeyboardModifiers, int, int)>;

    explicit TskCustomStatusBar(QWidget* parent = nullptr);
    ~TskCustomStatusBar() override;

    TskStatusPanels& Panels() { return *FPanels; }
    void SetPanels(const TskStatusPanels& panels) { FPanels->Assign(panels); }
    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool v);
    const std::string& SimpleText() const { return FSimpleText; }
    void SetSimpleText(const std::string& v);
    // True only when wished and the window around the bar can be resized.
    bool SizeGrip() const;
    void SetSizeGrip(bool v);
    TskStatusBarText& StatusBarText() { return FStatusBarText; }
    const QList<QPixmap>* Images() const { return FImages; }
    void SetImages(const QList<QPixmap>* v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);

    TDrawKeyboardStateEvent OnDrawKeyboardState;
    TDrawPanelEvent OnDrawPanel;
    TNotifyEvent OnClick, OnDblClick, OnResize;
    TMouseEvent OnMouseDown, OnMouseUp;
    TMouseMoveEvent OnMouseMove;

    // Parts: right edges of the parts, the last one -1 (to the right edge).
    void UpdatePanels();
    void UpdatePanelText(int index, bool redraw);
    const std::vector<int>& PartEdges() const { return FParts; }
    // The inside of part index, where its panel draws; empty when there is none.
    TRect PartRect(int index) const;
    // (-1, -1): where the cursor is.
    TskStatusPanel* PanelAtPoint(int x, int y) const;
    void DrawPanel(QPainter& canvas, TskStatusPanel* panel, TRect r);
    // The layout of the widths (runs on resize and when a Width changes).
    void Resize();

    // The bar has a window while it is shown; timers run only then.
    bool HasWindow() const { return FHasWindow; }
    bool InsideSize() const { return FInsideSize; }
    // Timers 200 (date/time), 300 (hint), 400 (rich-edit caret).
    bool TimerActive(int id) const;
    void TimerTick(int id);
    void StartTimerFor(TskStatusPanelStyle style);
    void StopTimerFor(TskStatusPanelStyle style);

    // Where the date and time panels read the clock.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

    // Every live bar of the program.
    static const std::vector<TskCustomStatusBar*>& StatusBarList();
    // The hint of the control under the mouse (its status tip), as hint panels show it.
    static std::string ApplicationHint();
    static void SetApplicationHint(const std::string& hint);
    // What a lock key does to every bar (the program-wide keyboard hook).
    static void KeyboardHook(int vk);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    QTimer* TimerById(int id) const;
    TRect PartFrame(int index) const;
    int ExpectedParts() const;
    void PlaceSizeGrip();
    int GripAllowance() const;

    std::unique_ptr<TskStatusPanels> FPanels;
    TskStatusBarText FStatusBarText;
    bool FSimplePanel = false;
    std::string FSimpleText;
    bool FSizeGrip = true;
    const QList<QPixmap>* FImages = nullptr;
    TColor FColor = clBtnFace;
    std::vector<int> FParts;
    std::vector<TskStatusPanelBevel> FPartBevels;
    QSize FLastSize{0, 0};
    bool FInsideSize = false;
    bool FHasWindow = false;
    bool FRebuildScheduled = false;
    QTimer* FTimer200;
    QTimer* FTimer300;
    QTimer* FTimer400;
    QSizeGrip* FGrip;
    TskStatusPanel* FPressed = nullptr;
};

class TskStatusBar : public TskCustomStatusBar {
    Q_OBJECT
public:
    using TskCustomStatusBar::TskCustomStatusBar;
};
