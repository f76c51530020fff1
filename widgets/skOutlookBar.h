#pragma once
// A button group whose items are pages: each page has a header button and a
// panel (usually holding an outlook list). One page is open; its panel fills
// the space the buttons leave, and opening another page slides buttons and
// panels to their new places, driven by a timer.
#include <QPointer>
#include <QTimer>
#include <vector>

#include "widgets/skButtonGroup.h"
#include "widgets/skImager.h"
#include "widgets/skOutlookList.h"

class TskCustomImager;
class TskCustomOutlookBar;

class TskAnimation {
public:
    bool Enabled = true;
    int Interval = 1;
    int Steps = 7;
};

class TskOutlookPage : public TskButtonGroupItem {
public:
    explicit TskOutlookPage(TskCollection* collection);
    ~TskOutlookPage() override;
    virtual TskCustomOutlookBar* Bar() const;
    virtual void CreateOutlookList();
    TskOutlookPanel* Panel() const { return FPanel; }
    TskCustomOutlookList* OutlookList() const { return FList; }

private:
    QPointer<TskOutlookPanel> FPanel;
    QPointer<TskCustomOutlookList> FList;
};

class TskOutlookPages : public TskButtonGroupItems {
public:
    using TskButtonGroupItems::TskButtonGroupItems;
    virtual TskCustomOutlookBar* Bar() const;
    TskOutlookPage* Add();
    TskOutlookPage* Items(int i) const { return static_cast<TskOutlookPage*>(TskCollection::Items(i)); }
    virtual void SetControlBounds(QWidget* control, const QRect& r);

protected:
    std::unique_ptr<TskCollectionItem> NewItem() override { return std::make_unique<TskOutlookPage>(this); }
};

class TskCustomOutlookBar : public TskCustomButtonGroup {
    Q_OBJECT
public:
    explicit TskCustomOutlookBar(QWidget* parent = nullptr);
    ~TskCustomOutlookBar() override;

    TskAnimation& Animation() { return FAnimation; }
    TskOutlookPages& Pages() { return static_cast<TskOutlookPages&>(ButtonItems()); }
    int ButtonSize() const { return FButtonSize; }
    void SetButtonSize(int v);
    int PanelPlacement() const { return FPanelPlacement; }
    virtual void SetPanelPlacement(int v);
    bool LayoutPages() const { return FLayoutPages; }
    void SetLayoutPages(bool v);
    bool CreateOutlookLists() const { return FCreateOutlookLists; }
    virtual void SetCreateOutlookLists(bool v) { FCreateOutlookLists = v; }
    TskCustomImager* Background() const { return FBackground; }
    void SetBackground(TskCustomImager* v);
    TColor Color() const { return FColor; }
    void SetColor(TColor v);

    virtual bool ButtonNeedsBackground(TskCustomBitBtn* button) const;
    virtual bool IsUserChange() const { return FUserChange > 0; }
    QSize SizeToButtons(TskCustomBitBtn* button, bool apply) override { return size(); }
    void Rearrange() override;
    // True while the pages slide.
    bool Animating() const { return FAnimTimer.isActive(); }
    // Steps taken by the last page change (1 when it jumped).
    int LastStepCount() const { return FLastSteps; }

protected:
    void ButtonChanged(TskCustomBitBtn* sender) override;
    void PaintPanel(QPainter& canvas) override;
    void changeEvent(QEvent* event) override;

private:
    struct Entry {
        QPointer<QWidget> Control;
        QRect Start, Target;
    };
    void Step();
    void Finish();
    TskAnimation FAnimation;
    int FButtonSize = 20, FPanelPlacement = 0;
    bool FLayoutPages = true, FCreateOutlookLists = true;
    QPointer<TskCustomImager> FBackground;
    TskChangeLink FBackgroundLink;
    TColor FColor = clBtnShadow;
    int FUserChange = 0;
    QTimer FAnimTimer;
    std::vector<Entry> FEntries;
    int FStep = 0, FSteps = 0, FLastSteps = 0;
    QPointer<TskOutlookPanel> FPrevPanel;
    int FPrevIndex = -1;
};

class TskOutlookBar : public TskCustomOutlookBar {
    Q_OBJECT
public:
    using TskCustomOutlookBar::TskCustomOutlookBar;
};

void RegisterOutlookBarClasses();
