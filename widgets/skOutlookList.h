#pragma once
// A scrolling list of large icons with captions, as shown on the pages of
// the outlook bar: hot tracking under the mouse, click or select styles, and
// two small arrow buttons that scroll while held. TskOutlookPanel is the
// page panel the list sits on.
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "widgets/skBitmap.h"
#include "widgets/skButton.h"
#include "widgets/skCollection.h"
#include "widgets/skLayout.h"
#include "widgets/skText.h"

class QAction;
class TskCustomOutlookList;
class TskButtonGroupItem;

enum TskCustomOutlookListClickStyle { csClick, csSelect };
enum TskOutlookHotTrackStyle { hsIconHilite, hsItemHilite };

class TskOutlookPanel : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskOutlookPanel(QWidget* parent = nullptr);
    virtual bool Transparent() const { return true; }
    // The outlook page (of the bar) the panel belongs to.
    TskButtonGroupItem* Page = nullptr;
    // Set while the bar slides the panel.
    bool BeingMoved = false;
};

class TskOutlookListItem : public TskCollectionItem {
public:
    explicit TskOutlookListItem(TskCollection* collection);

    QAction* Action() const { return FAction; }
    void SetAction(QAction* v);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int v);
    bool Selected() const;
    void SetSelected(bool v);
    int Separation() const { return FSeparation; }
    void SetSeparation(int v);
    // The item's own text, else its action's caption.
    std::string Text() const;
    void SetText(const std::string& v);
    TAlignment TextAlignment() const { return FTextAlignment; }
    void SetTextAlignment(TAlignment v);
    int GlyphOffset() const { return FGlyphOffset; }
    void SetGlyphOffset(int v);
    std::function<void(TskCustomOutlookList*, TskOutlookListItem*)> OnClick;

    TskCustomOutlookList* List() const;
    bool Hot = false, Pressed = false;
    QRect ItemRect, TextRect, GlyphRect;

private:
    void Repaint();
    QPointer<QAction> FAction;
    int FImageIndex = -1, FSeparation = 10, FGlyphOffset = 0;
    bool FSelected = false;
    std::string FText;
    TAlignment FTextAlignment = taCenter;
};

class TskOutlookListItems : public TskCollection {
public:
    explicit TskOutlookListItems(TskCustomOutlookList* list) : FList(list) {}
    TskCustomOutlookList* List() const { return FList; }
    TskOutlookListItem* Add() { return static_cast<TskOutlookListItem*>(TskCollection::Add()); }
    TskOutlookListItem* Items(int i) const { return static_cast<TskOutlookListItem*>(TskCollection::Items(i)); }
    void Update(TskCollectionItem* item) override;

protected:
    std::unique_ptr<TskCollectionItem> NewItem() override { return std::make_unique<TskOutlookListItem>(this); }

private:
    TskCustomOutlookList* FList;
};

class TskCustomOutlookList : public TskOutlookPanel {
    Q_OBJECT
public:
    using TItemEvent = std::function<void(TskCustomOutlookList*, TskOutlookListItem*)>;
    // (list, item, glyph position, draw, text position): may move both and
    // clear draw to do the drawing itself.
    using TDrawItemEvent = std::function<void(TskCustomOutlookList*, TskOutlookListItem*, QPoint&, bool&, QRect&)>;
    enum ScrollButton { sbNone, sbUp, sbDown };

    Q_INVOKABLE explicit TskCustomOutlookList(QWidget* parent = nullptr);
    ~TskCustomOutlookList() override;

    bool Transparent() const override { return FTransparent; }
    void SetTransparent(bool v);
    TskOutlookListItems& Items() { return FItems; }
    TskCustomOutlookListClickStyle ClickStyle() const { return FClickStyle; }
    void SetClickStyle(TskCustomOutlookListClickStyle v);
    TskOutlookHotTrackStyle HotTrackStyle() const { return FHotTrackStyle; }
    void SetHotTrackStyle(TskOutlookHotTrackStyle v);
    const QList<QPixmap>* Images() const { return FImages; }
    void SetImages(const QList<QPixmap>* v);
    TColor ItemHighlightColor() const { return FItemHighlightColor; }
    void SetItemHighlightColor(TColor v);
    TColor ItemHotTrackColor() const { return FItemHotTrackColor; }
    void SetItemHotTrackColor(TColor v);
    TButtonLayout ItemLayout() const { return FItemLayout; }
    void SetItemLayout(TButtonLayout v);
    TColor ItemShadowColor() const { return FItemShadowColor; }
    void SetItemShadowColor(TColor v);
    TColor ItemSelectedDitherColor() const { return FItemSelectedDitherColor; }
    void SetItemSelectedDitherColor(TColor v);
    int ItemSpacing() const { return FItemSpacing; }
    void SetItemSpacing(int v);
    int ItemsWidth() const { return FItemsWidth; }
    void SetItemsWidth(int v);
    TskLayout Layout() const { return FLayout; }
    void SetLayout(TskLayout v);
    bool ScrollButtonsVisible() const { return FScrollButtonsVisible; }
    void SetScrollButtonsVisible(bool v);
    int ScrollInterval() const { return FScrollInterval; }
    void SetScrollInterval(int v) { FScrollInterval = v; }
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    TFont& Font() { return FFont; }
    bool SingleBorder() const { return FSingleBorder; }
    void SetSingleBorder(bool v);

    TDrawItemEvent OnDrawItem;
    TItemEvent OnItemClick, OnItemChange;

    // The list takes no child controls; this is how one would be put on it.
    void InsertControl(QWidget* control);
    // The first item shown; nullptr for an empty list.
    TskOutlookListItem* TopItem() const;
    int TopIndex() const { return FTopIndex; }
    TskOutlookListItem* ItemAt(const QPoint& p) const;
    int LastVisibleIndex() const;
    int LastFullyShownIndex() const;
    virtual bool CanScroll(bool up) const;
    virtual void ScrollStep(bool up);
    QRect ScrollButtonRect(bool up) const { return up ? FUpRect : FDownRect; }
    bool ScrollButtonShown(bool up) const;
    ScrollButton PressedScrollButton() const { return FPressedScroll; }
    // The bar hides the arrows while it slides.
    bool ScrollButtonsHidden = false;

    virtual void RecalcItemRects();
    virtual void ItemClicked(TskOutlookListItem* item);
    virtual void UpdateHotItem(const QPoint& p);
    virtual void LayoutScrollButtons();
    void Invalidate() { update(); }
    QSize ItemSize(const TskOutlookListItem* item) const;
    QRect ClientRect() const;

protected:
    virtual void PaintScrollButton(QPainter& canvas, bool up);
    virtual void DrawItem(QPainter& canvas, TskOutlookListItem* item);
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ScrollTick();
    // The width left for the caption in an item whose inner width is given,
    // and the number of lines it breaks into there.
    int CaptionWidth(const TskOutlookListItem* item, int innerWidth) const;
    int CaptionLineCount(const TskOutlookListItem* item, int innerWidth, int maxLines) const;
    TskOutlookListItems FItems{this};
    bool FTransparent = false;
    TskCustomOutlookListClickStyle FClickStyle = csClick;
    TskOutlookHotTrackStyle FHotTrackStyle = hsIconHilite;
    const QList<QPixmap>* FImages = nullptr;
    TColor FItemHighlightColor = clBtnFace, FItemHotTrackColor, FItemShadowColor = clBtnText,
           FItemSelectedDitherColor = clBtnHighlight, FColor = clBtnShadow;
    TButtonLayout FItemLayout = blGlyphTop;
    int FItemSpacing = 20, FItemsWidth = 0, FScrollInterval = 250;
    TskLayout FLayout = loVertical;
    bool FScrollButtonsVisible = true, FSingleBorder = true;
    TFont FFont;
    int FTopIndex = 0;
    QRect FUpRect, FDownRect;
    ScrollButton FPressedScroll = sbNone, FHotScroll = sbNone;
    QTimer FScrollTimer;
    QPoint FMouse;
};

class TskOutlookList : public TskCustomOutlookList {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TskOutlookList(QWidget* parent = nullptr) : TskCustomOutlookList(parent) {}
};

void RegisterOutlookListClasses();
