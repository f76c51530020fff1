// Change links, the collection base and the colour byte swap.
#include <gtest/gtest.h>

#include <string>

#include "widgets/skChangeLink.h"
#include "widgets/skCollection.h"
#include "widgets/skGraphics.h"

namespace {

TEST(ChangeLink, WithoutHandlersEverySlotDoesNothing)
{
    // Firing a slot without its handler calls none of the others and
    // leaves the sender as it was.
    int sender = 0;
    for (int empty = 1; empty <= 3; ++empty) {
        SCOPED_TRACE(empty);
        std::string calls;
        TskChangeLink link;
        link.Sender = &sender;
        link.OnChange = [&](void*) { calls += "1"; };
        link.OnChange2 = [&](void*) { calls += "2"; };
        link.OnChange3 = [&](void*) { calls += "3"; };
        (empty == 1 ? link.OnChange : empty == 2 ? link.OnChange2 : link.OnChange3) = nullptr;
        (empty == 1 ? link.Change() : empty == 2 ? link.Change2() : link.Change3());
        EXPECT_EQ(calls, "");
        EXPECT_EQ(link.Sender, &sender);
    }
    TskChangeLink bare;
    bare.Change();
    bare.Change2();
    bare.Change3();
    EXPECT_EQ(bare.Sender, nullptr);
    EXPECT_FALSE(bare.OnChange || bare.OnChange2 || bare.OnChange3);
}

TEST(ChangeLink, NotifierCallsLinksInRegistrationOrderWithItselfAsSender)
{
    std::string calls;
    int sender = 0;
    TskChangeLink a, b;
    a.OnChange = [&](void* s) { calls += s == &sender ? "a" : "?"; };
    b.OnChange = [&](void* s) { calls += s == &sender ? "b" : "?"; };
    b.OnChange2 = [&](void*) { calls += "2"; };
    TskChangeLinks links;
    links.Register(&a);
    links.Register(&b);
    links.Register(&a);
    links.Notify(&sender);
    EXPECT_EQ(calls, "aba");
    links.Notify(&sender, 2);
    EXPECT_EQ(calls, "aba2");
    links.UnRegister(&a);
    calls.clear();
    links.Notify(&sender);
    EXPECT_EQ(calls, "ba");
}

TEST(ColorByteSwap, SwapsRedAndBlueAndClearsTheTopByte)
{
    struct Case {
        std::uint32_t in, out;
    } cases[] = {
        {0x00112233, 0x00332211}, {0xFF112233, 0x00332211}, {0x000000FF, 0x00FF0000},
        {0x0000FF00, 0x0000FF00}, {0xFFFFFFFF, 0x00FFFFFF}, {0, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t v = c.in;
        SwapRedBlue(&v, 1);
        EXPECT_EQ(v, c.out) << std::hex << c.in;
        SwapRedBlue(&v, 1);
        EXPECT_EQ(v, c.in & 0x00FFFFFF) << "twice restores all but the top byte";
    }
    std::uint32_t values[2] = {0x01020304, 0x0A0B0C0D};
    SwapRedBlue(values, 0);
    SwapRedBlue(values, -3);
    EXPECT_EQ(values[0], 0x01020304u);
    SwapRedBlue(values, 2);
    EXPECT_EQ(values[0], 0x00040302u);
    EXPECT_EQ(values[1], 0x000D0C0Bu);
}

class Item : public TskCollectionItem {
public:
    using TskCollectionItem::TskCollectionItem;
    void Rename() { NotifyObserver(); }
};

class Items : public TskCollection {
protected:
    std::unique_ptr<TskCollectionItem> NewItem() override { return std::make_unique<Item>(this); }
};

class Observer : public TskCollectionObserver {
public:
    Observer(int& renames, bool& freed) : FRenames(renames), FFreed(freed) {}
    ~Observer() override { FFreed = true; }
    void ItemRenamed(TskCollectionItem*) override { ++FRenames; }

private:
    int& FRenames;
    bool& FFreed;
};

TEST(Collection, RenamesReachTheObserverOnlyWhenOneIsAttachedAndTheCollectionFreesIt)
{
    int renames = 0;
    bool freed = false;
    {
        Items items;
        auto* item = static_cast<Item*>(items.Add());
        EXPECT_EQ(item->Index(), 0);
        item->Rename();
        EXPECT_EQ(renames, 0);
        items.AttachObserver(std::make_unique<Observer>(renames, freed));
        item->Rename();
        EXPECT_EQ(renames, 1);
        int fired = 0;
        item->OnItemEvent = [&](TskCollectionItem* i) { fired += i == item; };
        item->Notify();
        EXPECT_EQ(fired, 1);
    }
    EXPECT_TRUE(freed);
}

} // namespace
