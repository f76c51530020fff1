#include "widgets/skChangeLink.h"

#include <algorithm>

void TskChangeLinks::UnRegister(TskChangeLink* link)
{
    auto it = std::find(FLinks.begin(), FLinks.end(), link);
    if (it != FLinks.end())
        FLinks.erase(it);
}

void TskChangeLinks::Notify(void* sender, int slot) const
{
    // A copy, so a handler may unregister its link.
    std::vector<TskChangeLink*> links = FLinks;
    for (TskChangeLink* link : links) {
        link->Sender = sender;
        if (slot == 1)
            link->Change();
        else if (slot == 2)
            link->Change2();
        else
            link->Change3();
    }
}
