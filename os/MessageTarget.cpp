#include "os/MessageTarget.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>

#include "os/LoopCore.h"
#include "os/TargetRegistry.h"

namespace os {
namespace {

struct TargetRec {
    MessageHandler handler;
    std::shared_ptr<detail::PostCore> core;
    MessageLoop::Impl* loop = nullptr;
    std::thread::id owner;
};

struct Registry {
    std::shared_mutex mu;
    std::unordered_map<HWND, std::shared_ptr<TargetRec>> targets;
    std::atomic<std::uint64_t> nextId{1};
};

Registry& Reg()
{
    // Never destroyed: threads may still post while the process exits.
    static Registry* reg = new Registry;
    return *reg;
}

std::shared_ptr<TargetRec> Find(HWND target)
{
    if (target == 0)
        return nullptr;
    Registry& reg = Reg();
    std::shared_lock lock(reg.mu);
    auto it = reg.targets.find(target);
    return it == reg.targets.end() ? nullptr : it->second;
}

} // namespace

HWND CreateMessageTarget(MessageHandler handler)
{
    MessageLoop& loop = MessageLoop::ForThisThread();
    auto rec = std::make_shared<TargetRec>();
    rec->handler = std::move(handler);
    rec->core = loop.impl().core;
    rec->loop = &loop.impl();
    rec->owner = std::this_thread::get_id();
    Registry& reg = Reg();
    HWND id = reg.nextId.fetch_add(1);
    std::unique_lock lock(reg.mu);
    reg.targets.emplace(id, std::move(rec));
    return id;
}

bool DestroyMessageTarget(HWND target)
{
    std::shared_ptr<TargetRec> rec;
    {
        Registry& reg = Reg();
        std::unique_lock lock(reg.mu);
        auto it = reg.targets.find(target);
        if (it == reg.targets.end() || it->second->owner != std::this_thread::get_id())
            return false;
        rec = std::move(it->second);
        reg.targets.erase(it);
    }
    rec->loop->KillTimersOf(target);
    // rec (and its handler) may still be running further up this stack; the
    // dispatcher holds its own reference, so dropping ours here is safe.
    return true;
}

bool IsMessageTarget(HWND target)
{
    return Find(target) != nullptr;
}

bool PostMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto rec = Find(target);
    if (!rec)
        return false;
    return rec->core->Push(MSG{target, message, wParam, lParam});
}

LRESULT SendMessage(HWND target, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto rec = Find(target);
    if (!rec || rec->owner != std::this_thread::get_id() || !rec->handler)
        return 0;
    return rec->handler(message, wParam, lParam);
}

void PostQuitMessage(int exitCode)
{
    MessageLoop::ForThisThread().impl().core->Push(MSG{0, WM_QUIT, static_cast<WPARAM>(exitCode), 0});
}

bool SetTimer(HWND target, std::uintptr_t id, UINT elapseMs)
{
    auto rec = Find(target);
    if (!rec || rec->owner != std::this_thread::get_id())
        return false;
    rec->loop->SetTimer(target, id, elapseMs);
    return true;
}

bool KillTimer(HWND target, std::uintptr_t id)
{
    auto rec = Find(target);
    if (!rec || rec->owner != std::this_thread::get_id())
        return false;
    return rec->loop->KillTimer(target, id);
}

namespace detail {

LRESULT DispatchToTarget(const MSG& msg)
{
    auto rec = Find(msg.hwnd);
    if (!rec || !rec->handler || rec->owner != std::this_thread::get_id())
        return 0;
    // The handler is called in place (never copied); rec keeps it alive even
    // when the handler destroys its own target.
    return rec->handler(msg.message, msg.wParam, msg.lParam);
}

bool TargetOwnedByThisThread(HWND target)
{
    auto rec = Find(target);
    return rec && rec->owner == std::this_thread::get_id();
}

void DropTargetsOfLoop(const MessageLoop::Impl* loop)
{
    std::vector<std::shared_ptr<TargetRec>> dropped; // handlers die outside the lock
    Registry& reg = Reg();
    std::unique_lock lock(reg.mu);
    for (auto it = reg.targets.begin(); it != reg.targets.end();) {
        if (it->second->loop == loop) {
            dropped.push_back(std::move(it->second));
            it = reg.targets.erase(it);
        } else {
            ++it;
        }
    }
    lock.unlock();
}

} // namespace detail
} // namespace os
