#pragma once
// A listener that a drawing object calls when its content changes, and the
// list of them the drawing object keeps.
#include <functional>
#include <vector>

class TskChangeLink {
public:
    virtual ~TskChangeLink() = default;

    void* Sender = nullptr;
    std::function<void(void*)> OnChange;
    std::function<void(void*)> OnChange2;
    std::function<void(void*)> OnChange3;

    virtual void Change() { Fire(OnChange); }
    virtual void Change2() { Fire(OnChange2); }
    virtual void Change3() { Fire(OnChange3); }

private:
    void Fire(const std::function<void(void*)>& handler)
    {
        if (handler)
            handler(Sender);
    }
};

// The notifier's side: links are not owned and are called in the order they
// were registered (a link registered twice is called twice).
class TskChangeLinks {
public:
    void Register(TskChangeLink* link) { FLinks.push_back(link); }
    void UnRegister(TskChangeLink* link);
    // slot 1, 2 or 3: which of the link's handlers to fire.
    void Notify(void* sender, int slot = 1) const;
    int Count() const { return int(FLinks.size()); }

private:
    std::vector<TskChangeLink*> FLinks;
};
