#pragma once
// Base classes of every item list of the library: items know their
// collection, the collection owns its items and, optionally, an observer
// that learns of renamed items (an item editor).
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TskCollection;

class TskCollectionItem {
public:
    explicit TskCollectionItem(TskCollection* collection) : FCollection(collection) {}
    virtual ~TskCollectionItem() = default;
    TskCollectionItem(const TskCollectionItem&) = delete;
    TskCollectionItem& operator=(const TskCollectionItem&) = delete;

    std::int32_t Tag = 0;
    std::function<void(TskCollectionItem*)> OnItemEvent;

    virtual void Hook(void* a, void* b) {}
    virtual void Notify()
    {
        if (OnItemEvent)
            OnItemEvent(this);
    }
    virtual TskCollectionItem* Item() { return this; }
    virtual void Hook() {}

    TskCollection* Collection() const { return FCollection; }
    int Index() const;

protected:
    // Tells the collection this item (or, with allItems, every item) changed.
    void Changed(bool allItems);
    // Tells the collection's observer, when one is attached, of a rename.
    void NotifyObserver();

private:
    TskCollection* FCollection;
};

class TskCollectionObserver {
public:
    virtual ~TskCollectionObserver() = default;
    virtual void ItemRenamed(TskCollectionItem* item) = 0;
};

class TskCollection {
public:
    virtual ~TskCollection();

    virtual void AttachObserver(std::unique_ptr<TskCollectionObserver> observer) { FObserver = std::move(observer); }
    virtual TskCollectionItem* Add();
    TskCollectionItem* Items(int index) const { return FItems.at(std::size_t(index)).get(); }
    int Count() const { return int(FItems.size()); }
    int IndexOf(const TskCollectionItem* item) const;
    void Delete(int index);
    void Clear();
    TskCollectionObserver* Observer() const { return FObserver.get(); }

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    bool Updating() const { return FUpdateCount > 0; }

    // Called for a changed item, or with nullptr when all items changed.
    virtual void Update(TskCollectionItem* item) {}

protected:
    // Makes an item of the collection's item class.
    virtual std::unique_ptr<TskCollectionItem> NewItem() = 0;
    void Changed(TskCollectionItem* item);

private:
    friend class TskCollectionItem;
    std::vector<std::unique_ptr<TskCollectionItem>> FItems;
    std::unique_ptr<TskCollectionObserver> FObserver;
    int FUpdateCount = 0;
};
