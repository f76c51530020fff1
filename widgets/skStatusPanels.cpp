#include "widgets/skStatusPanels.h"

#include "widgets/skStatusBar.h"

TskStatusPanels::~TskStatusPanels()
{
    Clear();
}

std::unique_ptr<TskCollectionItem> TskStatusPanels::NewItem()
{
    return std::make_unique<TskStatusPanel>(this);
}

TskStatusPanel* TskStatusPanels::FindPanel(const std::string& name) const
{
    TskStatusPanel* found = nullptr;
    for (int i = 0; i < Count(); ++i)
        if (GetPanel(i)->Name() == name)
            found = GetPanel(i);
    return found;
}

void TskStatusPanels::RefreshStyle(TskStatusPanelStyle style)
{
    for (int i = 0; i < Count(); ++i)
        if (GetPanel(i)->Style() == style)
            GetPanel(i)->Redraw();
}

void TskStatusPanels::Update(TskCollectionItem* item)
{
    if (!FBar)
        return;
    if (item)
        FBar->UpdatePanelText(item->Index(), true);
    else
        FBar->UpdatePanels();
}

void TskStatusPanels::Assign(const TskStatusPanels& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    Clear();
    for (int i = 0; i < source.Count(); ++i)
        Add()->Assign(*source.GetPanel(i));
    EndUpdate();
}
