#include "widgets/skCollection.h"

int TskCollectionItem::Index() const
{
    return FCollection ? FCollection->IndexOf(this) : -1;
}

void TskCollectionItem::Changed(bool allItems)
{
    if (FCollection)
        FCollection->Changed(allItems ? nullptr : this);
}

void TskCollectionItem::NotifyObserver()
{
    if (FCollection && FCollection->Observer())
        FCollection->Observer()->ItemRenamed(this);
}

TskCollection::~TskCollection()
{
    // The observer goes first, then the items.
    FObserver.reset();
    FItems.clear();
}

TskCollectionItem* TskCollection::Add()
{
    BeginUpdate();
    FItems.push_back(NewItem());
    TskCollectionItem* item = FItems.back().get();
    EndUpdate();
    return item;
}

int TskCollection::IndexOf(const TskCollectionItem* item) const
{
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].get() == item)
            return int(i);
    return -1;
}

void TskCollection::Delete(int index)
{
    BeginUpdate();
    FItems.erase(FItems.begin() + index);
    EndUpdate();
}

void TskCollection::Clear()
{
    if (FItems.empty())
        return;
    BeginUpdate();
    FItems.clear();
    EndUpdate();
}

void TskCollection::EndUpdate()
{
    if (--FUpdateCount == 0)
        Changed(nullptr);
}

void TskCollection::Changed(TskCollectionItem* item)
{
    if (FUpdateCount == 0)
        Update(item);
}
