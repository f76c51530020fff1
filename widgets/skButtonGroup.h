#pragma once
// A transparent panel that owns a collection of buttons of one class, lays
// them out in a grid, tracks the selected one and moves the selection with
// the arrow keys. The outlook bar is built on it.
#include <QPointer>
#include <functional>

#include "widgets/skButton.h"
#include "widgets/skChangeLink.h"
#include "widgets/skClearPanel.h"
#include "widgets/skCollection.h"
#include "widgets/skLayout.h"

class TskCustomButtonGroup;
class TskButtonGroupItems;


class TskButtonGroupItem : public TskCollectionItem {
public:
    explicit TskButtonGroupItem(TskCollection* collection);
    ~TskButtonGroupItem() override;

    TskCustomBitBtn* Button() const { return FButton; }
    virtual TskCustomButtonGroup* Group() const;
    virtual int ButtonGroupIndex() const { return FButton ? FButton->GroupIndex() : 0; }
    virtual bool Selected() const { return FButton && FButton->Selected(); }
    virtual void SetButtonGroupIndex(int v);
    virtual void SetSelected(bool v);
    virtual void HookRename();
    std::string DisplayName() const;
    TskCollectionItem* Item() override { return this; }
    // Detaches from a button that is going away by itself.
    void ForgetButton();

private:
    QPointer<TskCustomBitBtn> FButton;
    QMetaObject::Connection FDestroyed;
};

class TskButtonGroupItems : public TskCollection {
public:
    explicit TskButtonGroupItems(TskCustomButtonGroup* group) : FGroup(group) {}
    TskCustomButtonGroup* Group() const { return FGroup; }
    TskButtonGroupItem* Add();
    TskButtonGroupItem* Items(int index) const { return static_cast<TskButtonGroupItem*>(TskCollection::Items(index)); }
    void Rearrange();
    TskButtonGroupItem* FindByButton(const TskCustomBitBtn* button) const;
    TskButtonGroupItem* FindByTag(int tag) const;
    // Whether a button of the group has that group index.
    bool HasGroupIndex(int index) const;
    int VisibleCount() const;
    // The k-th (from 0) item whose button is shown; nullptr past the end.
    TskButtonGroupItem* VisibleItem(int k) const;
    void Update(TskCollectionItem* item) override;

    bool LayoutRunning = false, Adding = false, Removing = false;

protected:
    std::unique_ptr<TskCollectionItem> NewItem() override;

private:
    TskCustomButtonGroup* FGroup;
};

class TskCustomButtonGroup : public TskCustomTransparentPanel {
    Q_OBJECT
public:
    using TSelectionEvent = std::function<void(TskCustomButtonGroup*, TskButtonGroupItem* oldItem, TskButtonGroupItem* newItem)>;

    explicit TskCustomButtonGroup(QWidget* parent = nullptr);
    ~TskCustomButtonGroup() override;

    TskButtonGroupItems& ButtonItems() { return *FItems; }
    const QMetaObject* ButtonClass() const { return FButtonClass; }
    virtual void SetButtonClass(const QMetaObject* v);
    virtual std::string GetButtonClassName() const { return FButtonClass->className(); }
    virtual void SetButtonClassName(const std::string& name);
    TskLayout Layout() const { return FLayout; }
    void SetLayout(TskLayout v);
    int LineCount() const { return FLineCount; }
    void SetLineCount(int v);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int v);
    int MaxButtonSize() const { return FMaxButtonSize; }
    virtual void SetMaxButtonSize(int v);
    int SelectionMode() const { return FSelectionMode; }
    void SetSelectionMode(int v) { FSelectionMode = std::uint8_t(v); }
    bool AutoBold() const { return FAutoBold; }
    void SetAutoBold(bool v);
    bool Transparent() const override { return TskCustomTransparentPanel::Transparent(); }

    TSelectionEvent OnSelectionChanging, OnSelectionChange;

    virtual TskButtonGroupItem* Selected() const;
    virtual QSize SizeToButtons(TskCustomBitBtn* button, bool apply);
    virtual void Rearrange();
    virtual void UpdateBold(bool apply);
    virtual void LeaveOthers(TskCustomBitBtn* button);
    // Layout suspension (while items are made).
    void SuspendLayout() { ++FSuspended; }
    void ResumeLayout() { --FSuspended; }
    bool LayoutSuspended() const { return FSuspended > 0; }
    // Holds the layout for its lifetime, also when what it guards raises.
    class TLayoutHold {
    public:
        explicit TLayoutHold(TskCustomButtonGroup* group) : FGroup(group) { FGroup->SuspendLayout(); }
        ~TLayoutHold() { FGroup->ResumeLayout(); }
        TLayoutHold(const TLayoutHold&) = delete;
        TLayoutHold& operator=(const TLayoutHold&) = delete;

    private:
        TskCustomButtonGroup* FGroup;
    };
    TskChangeLink& Link() { return FLink; }
    bool DestroyingItems() const { return FDestroyingItems; }
    // An item going away is no longer the remembered selection.
    void ForgetItem(const TskButtonGroupItem* item)
    {
        if (FLastSelected == item)
            FLastSelected = nullptr;
    }

protected:
    // The items object of the group; the outlook bar makes its own.
    void SetItemsObject(std::unique_ptr<TskButtonGroupItems> items) { FItems = std::move(items); }
    virtual void ButtonChanged(TskCustomBitBtn* sender);
    virtual void ButtonChanging(TskCustomBitBtn* sender);
    virtual void DoSelectionChanging(TskButtonGroupItem* oldItem, TskButtonGroupItem* newItem);
    virtual void DoSelectionChange(TskButtonGroupItem* oldItem, TskButtonGroupItem* newItem);
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void PaintPanel(QPainter& canvas) override;
    TskButtonGroupItem* FLastSelected = nullptr;

private:
    std::unique_ptr<TskButtonGroupItems> FItems;
    const QMetaObject* FButtonClass;
    TskLayout FLayout = loVertical;
    int FLineCount = 1, FSpacing = 1, FMaxButtonSize = 0;
    std::uint8_t FSelectionMode = 1;
    bool FAutoBold = true;
    TskChangeLink FLink;
    bool FDestroyingItems = false;
    int FSuspended = 0;
};

class TskButtonGroup : public TskCustomButtonGroup {
    Q_OBJECT
public:
    using TskCustomButtonGroup::TskCustomButtonGroup;
};

// Registers the button classes a group can be given by name.
void RegisterButtonGroupClasses();
