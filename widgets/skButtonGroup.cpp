#include "widgets/skButtonGroup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <climits>
#include <cmath>
#include <map>

#include "widgets/skClasses.h"
#include "widgets/skCommon.h"
#include "widgets/skErrors.h"
#include "widgets/skImgBtn.h"
#include "widgets/skShapeBtn.h"

void RegisterButtonGroupClasses()
{
    RegisterClass(&TskShapeBtn::staticMetaObject);
    RegisterClass(&TskImageBtn::staticMetaObject);
}
Q_CONSTRUCTOR_FUNCTION(RegisterButtonGroupClasses)

// ---- item ----------------------------------------------------------------

TskButtonGroupItem::TskButtonGroupItem(TskCollection* collection) : TskCollectionItem(collection)
{
    TskCustomButtonGroup* group = Group();
    // The layout runs again even when no button could be made.
    TskCustomButtonGroup::TLayoutHold hold(group);
    FButton = qobject_cast<TskCustomBitBtn*>(CreateControl(group->ButtonClass(), group));
    if (FButton) {
        FButton->move(0, group->height());
        FButton->SetGroupIndex(1);
        FButton->AddChangeLink(&group->Link());
        FButton->show();
        FDestroyed = QObject::connect(FButton, &QObject::destroyed, group, [this, group] {
            // A button freed by itself takes its item with it.
            FButton = nullptr;
            if (group->DestroyingItems())
                return;
            auto& items = group->ButtonItems();
            items.Removing = true;
            items.Delete(Index());
            items.Removing = false;
            group->update();
        });
    }
}

TskButtonGroupItem::~TskButtonGroupItem()
{
    QObject::disconnect(FDestroyed);
    Group()->ForgetItem(this);
    if (FButton) {
        FButton->RemoveChangeLink(&Group()->Link());
        delete FButton;
    }
}

void TskButtonGroupItem::ForgetButton()
{
    QObject::disconnect(FDestroyed);
    FButton = nullptr;
}

TskCustomButtonGroup* TskButtonGroupItem::Group() const
{
    return static_cast<TskButtonGroupItems*>(Collection())->Group();
}

void TskButtonGroupItem::SetButtonGroupIndex(int v)
{
    if (FButton)
        FButton->SetGroupIndex(v);
}

void TskButtonGroupItem::SetSelected(bool v)
{
    if (!FButton)
        return;
    FButton->SetDown(v);
    Group()->Rearrange();
}

void TskButtonGroupItem::HookRename()
{
    if (!FButton)
        return;
    FButton->RenameHook = [this] { NotifyObserver(); };
}

std::string TskButtonGroupItem::DisplayName() const
{
    return FButton ? FButton->objectName().toStdString() : std::string();
}

// ---- items ---------------------------------------------------------------

std::unique_ptr<TskCollectionItem> TskButtonGroupItems::NewItem()
{
    return std::make_unique<TskButtonGroupItem>(this);
}

TskButtonGroupItem* TskButtonGroupItems::Add()
{
    Adding = true;
    auto* item = static_cast<TskButtonGroupItem*>(TskCollection::Add());
    if (TskCustomBitBtn* button = item->Button()) {
        if (Count() > 1 && Items(0)->Button())
            button->Assign(*Items(0)->Button());
        if (FGroup->SelectionMode() == 0) {
            int highest = 0;
            for (int i = 0; i < Count(); ++i)
                highest = std::max(highest, Items(i)->ButtonGroupIndex());
            // Past the highest index there is none left: the lowest free one
            // still keeps the new button a toggle of its own.
            int index = highest < INT_MAX ? highest + 1 : 0;
            for (int free = 1; index == 0; ++free)
                if (!HasGroupIndex(free))
                    index = free;
            button->SetGroupIndex(index);
            button->SetAllowAllUp(true);
        }
    }
    Adding = false;
    Rearrange();
    return item;
}

bool TskButtonGroupItems::HasGroupIndex(int index) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->ButtonGroupIndex() == index)
            return true;
    return false;
}

void TskButtonGroupItems::Rearrange()
{
    FGroup->Rearrange();
}

void TskButtonGroupItems::Update(TskCollectionItem*)
{
    Rearrange();
}

TskButtonGroupItem* TskButtonGroupItems::FindByButton(const TskCustomBitBtn* button) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Button() == button)
            return Items(i);
    return nullptr;
}

TskButtonGroupItem* TskButtonGroupItems::FindByTag(int tag) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Tag == tag)
            return Items(i);
    return nullptr;
}

int TskButtonGroupItems::VisibleCount() const
{
    int n = 0;
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Button() && !Items(i)->Button()->isHidden())
            ++n;
    return n;
}

TskButtonGroupItem* TskButtonGroupItems::VisibleItem(int k) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Button() && !Items(i)->Button()->isHidden() && k-- == 0)
            return Items(i);
    return nullptr;
}

// ---- group ---------------------------------------------------------------

TskCustomButtonGroup::TskCustomButtonGroup(QWidget* parent)
    : TskCustomTransparentPanel(parent), FItems(std::make_unique<TskButtonGroupItems>(this)),
      FButtonClass(&TskShapeBtn::staticMetaObject)
{
    SetBevelOuter(bvNone);
    SetTransparent(false);
    setFocusPolicy(Qt::StrongFocus);
    resize(75, 100);
    FLink.OnChange = [this](void* sender) { ButtonChanged(static_cast<TskCustomBitBtn*>(sender)); };
    FLink.OnChange2 = [this](void* sender) { ButtonChanging(static_cast<TskCustomBitBtn*>(sender)); };
}

TskCustomButtonGroup::~TskCustomButtonGroup()
{
    FDestroyingItems = true;
    FItems->Clear();
}

void TskCustomButtonGroup::SetButtonClass(const QMetaObject* v)
{
    if (!v || v == FButtonClass)
        return;
    if (!v->inherits(&TskCustomBitBtn::staticMetaObject))
        throw EInvalidOperation(std::string(v->className()) + " is no button class");
    FButtonClass = v;
    FDestroyingItems = true;
    FItems->BeginUpdate();
    FItems->Clear();
    FItems->EndUpdate();
    FDestroyingItems = false;
    FLastSelected = nullptr;
}

void TskCustomButtonGroup::SetButtonClassName(const std::string& name)
{
    SetButtonClass(GetClass(name));
}

void TskCustomButtonGroup::SetLayout(TskLayout v)
{
    if (Change(FLayout, v))
        Rearrange();
}

void TskCustomButtonGroup::SetLineCount(int v)
{
    if (Change(FLineCount, std::max(v, 1)))
        Rearrange();
}

void TskCustomButtonGroup::SetSpacing(int v)
{
    if (Change(FSpacing, v))
        Rearrange();
}

void TskCustomButtonGroup::SetMaxButtonSize(int v)
{
    if (Change(FMaxButtonSize, v))
        Rearrange();
}

void TskCustomButtonGroup::SetAutoBold(bool v)
{
    FAutoBold = v;
    UpdateBold(true);
}

TskButtonGroupItem* TskCustomButtonGroup::Selected() const
{
    for (int i = 0; i < FItems->Count(); ++i)
        if (FItems->Items(i)->Selected())
            return FItems->Items(i);
    return nullptr;
}

QSize TskCustomButtonGroup::SizeToButtons(TskCustomBitBtn* button, bool apply)
{
    const std::int64_t n = FItems->Count();
    if (n == 0)
        return size();
    if (!button)
        button = FItems->Items(0)->Button();
    if (!button)
        return size();
    // In 64 bits: spacing and line count are whatever a caller set.
    const std::int64_t L = FLineCount, s = FSpacing, w = button->width(), h = button->height();
    const std::int64_t lines = (n + L - 1) / L;
    QSize result = FLayout == loVertical ? QSize(ClampExtent((w + s) * L - s), ClampExtent(lines * (h + s) - s))
                                         : QSize(ClampExtent(lines * (w + s) - s), ClampExtent((h + s) * L - s));
    if (apply)
        resize(result);
    return result;
}

void TskCustomButtonGroup::Rearrange()
{
    TskButtonGroupItems& items = *FItems;
    const int n = items.Count();
    if (n == 0 || items.LayoutRunning || items.Adding || LayoutSuspended())
        return;
    items.LayoutRunning = true;
    // Worked out in 64 bits: a caller's spacing, line count or border may be
    // anything, and times a count it leaves the int range.
    const std::int64_t L = std::max(FLineCount, 1), q = n / L, r = n % L, s = FSpacing;
    const bool vertical = FLayout == loVertical;
    const std::int64_t rows = vertical ? q + (r > 0) : L, columns = vertical ? L : q + (r > 0);
    const std::int64_t border = BorderWidth();
    const std::int64_t W = width() - 2 * border, H = height() - 2 * border;
    std::int64_t cw = ClampExtent((W - (columns - 1) * s) / columns);
    std::int64_t ch = ClampExtent((H - (rows - 1) * s) / rows);
    bool capped = false;
    if (FMaxButtonSize > 0) {
        if (vertical && ch > FMaxButtonSize)
            ch = FMaxButtonSize, capped = true;
        if (!vertical && cw > FMaxButtonSize)
            cw = FMaxButtonSize, capped = true;
    }
    std::int64_t sh = 0, hs = 0, sw = 0, ws = 0;
    // A cap that took effect leaves the rest of the space empty.
    if (!capped) {
        sh = std::max<std::int64_t>(H - rows * ch - (rows - 1) * s, 0);
        hs = (sh + rows - 1) / rows;
        sw = std::max<std::int64_t>(W - columns * cw - (columns - 1) * s, 0);
        ws = (sw + columns - 1) / columns;
    }
    struct Cell {
        std::int64_t left, top, width, height;
    };
    // Only the cells that hold a button; a line count far above the item
    // count makes a grid of mostly empty cells.
    std::map<std::pair<std::int64_t, std::int64_t>, Cell> cells;
    auto cellAt = [&](std::int64_t c, std::int64_t w) -> Cell& { return cells[{c, w}]; };
    const int visible = items.VisibleCount();
    for (std::int64_t k = 1; k <= visible; ++k) {
        std::int64_t c, w;
        if (!vertical) {
            c = (k - 1) / L, w = (k - 1) % L;
        } else {
            const std::int64_t p = q;
            if (r * (p + 1) < k)
                c = (k - r * (p + 1) - 1) / p + r, w = (k - r * (p + 1) - 1) % p;
            else
                c = (k - 1) / (p + 1), w = (k - 1) % (p + 1);
        }
        if (c >= columns || w >= rows)
            continue;
        Cell cell;
        if (w > 0)
            cell.left = cellAt(c, w - 1).left;
        else if (c > 0)
            cell.left = cellAt(c - 1, 0).left + cellAt(c - 1, 0).width + s;
        else
            cell.left = border;
        cell.top = w == 0 ? border : cellAt(c, w - 1).top + cellAt(c, w - 1).height + s;
        if (w > 0) {
            cell.width = cellAt(c, w - 1).width;
        } else {
            cell.width = cw + std::min(ws, sw);
            sw = std::max<std::int64_t>(sw - ws, 0);
        }
        if (c > 0) {
            cell.height = cellAt(c - 1, w).height;
        } else {
            cell.height = ch + std::min(hs, sh);
            sh = std::max<std::int64_t>(sh - hs, 0);
        }
        cellAt(c, w) = cell;
        if (TskCustomBitBtn* button = items.VisibleItem(int(k - 1))->Button())
            button->setGeometry(ClampExtent(cell.left), ClampExtent(cell.top), ClampExtent(cell.width),
                                ClampExtent(cell.height));
    }
    items.LayoutRunning = false;
}

void TskCustomButtonGroup::ButtonChanging(TskCustomBitBtn* sender)
{
    if (TskButtonGroupItem* now = Selected())
        FLastSelected = now;
    DoSelectionChanging(FLastSelected, FItems->FindByButton(sender));
}

void TskCustomButtonGroup::ButtonChanged(TskCustomBitBtn* sender)
{
    if (!sender || !sender->Selected())
        return;
    Rearrange();
    UpdateBold(FAutoBold);
    TskButtonGroupItem* item = FItems->FindByButton(sender);
    if (item != FLastSelected) {
        TskButtonGroupItem* old = FLastSelected;
        FLastSelected = item;
        DoSelectionChange(old, item);
    }
}

void TskCustomButtonGroup::DoSelectionChanging(TskButtonGroupItem* oldItem, TskButtonGroupItem* newItem)
{
    if (OnSelectionChanging)
        OnSelectionChanging(this, oldItem, newItem);
}

void TskCustomButtonGroup::DoSelectionChange(TskButtonGroupItem* oldItem, TskButtonGroupItem* newItem)
{
    if (OnSelectionChange)
        OnSelectionChange(this, oldItem, newItem);
}

void TskCustomButtonGroup::UpdateBold(bool apply)
{
    if (apply)
        for (int i = 0; i < FItems->Count(); ++i)
            if (TskCustomBitBtn* b = FItems->Items(i)->Button())
                b->SetBoldCaption(false);
    TskButtonGroupItem* selected = Selected();
    if (selected && selected->Button() && FAutoBold && FSelectionMode == 1)
        selected->Button()->SetBoldCaption(true);
}

void TskCustomButtonGroup::LeaveOthers(TskCustomBitBtn* button)
{
    // The other buttons hear that the mouse left them.
    for (int i = 0; i < FItems->Count(); ++i)
        if (TskCustomBitBtn* b = FItems->Items(i)->Button(); b && b != button) {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(b, &leave);
        }
}

void TskCustomButtonGroup::keyPressEvent(QKeyEvent* event)
{
    int key = event->key();
    bool navigation = key == Qt::Key_End || key == Qt::Key_Home || key == Qt::Key_Left || key == Qt::Key_Up ||
                      key == Qt::Key_Right || key == Qt::Key_Down;
    int count = FItems->VisibleCount();
    // No shown button: nothing to move to.
    if (!navigation || count == 0) {
        TskCustomTransparentPanel::keyPressEvent(event);
        return;
    }
    int index = 0;
    TskButtonGroupItem* selected = Selected();
    for (int k = 0; k < count; ++k)
        if (FItems->VisibleItem(k) == selected)
            index = k;
    if (key == Qt::Key_End)
        index = count - 1;
    else if (key == Qt::Key_Home)
        index = 0;
    else if (key == Qt::Key_Left || key == Qt::Key_Up)
        index = index == 0 ? count - 1 : index - 1;
    else
        index = index + 1 == count ? 0 : index + 1;
    FItems->VisibleItem(index)->SetSelected(true);
}

void TskCustomButtonGroup::resizeEvent(QResizeEvent* event)
{
    TskCustomTransparentPanel::resizeEvent(event);
    Rearrange();
}

void TskCustomButtonGroup::PaintPanel(QPainter& canvas)
{
    TskCustomTransparentPanel::PaintPanel(canvas);
}
