#include "os/Module.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <set>

#include "os/WinsockInternal.h"

namespace os {
namespace {

thread_local std::uint32_t tlsLastError = 0;

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

struct Module {
    HMODULE handle = 0;
    std::map<std::string, FARPROC> procs;
    std::set<std::string> hiddenProcs;
    bool missing = false;
    int refs = 0;
};

struct ModuleTable {
    std::mutex mu;
    std::map<std::string, Module> byName; // lower-case names
    HMODULE next = 1;
};

ModuleTable& Table()
{
    static ModuleTable* t = new ModuleTable;
    return *t;
}

void RegisterBuiltins()
{
    static std::once_flag once;
    std::call_once(once, [] { detail::RegisterWinsockModule(); });
}

// The loaded module behind a handle; nullptr (and ERROR_INVALID_HANDLE) when
// there is none or it was freed. The caller holds t.mu.
Module* LoadedModule(ModuleTable& t, HMODULE h)
{
    for (auto& [name, m] : t.byName) {
        if (m.handle != h)
            continue;
        if (m.refs > 0)
            return &m;
        break;
    }
    tlsLastError = ERROR_INVALID_HANDLE;
    return nullptr;
}

} // namespace

std::uint32_t GetLastError() { return tlsLastError; }
void SetLastError(std::uint32_t code) { tlsLastError = code; }

void RegisterModule(const std::string& name, std::vector<std::pair<std::string, FARPROC>> procs)
{
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    Module& m = t.byName[Lower(name)];
    if (m.handle == 0)
        m.handle = t.next++;
    for (auto& [proc, fn] : procs)
        m.procs[proc] = fn;
}

HMODULE LoadLibrary(const char* name)
{
    RegisterBuiltins();
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    auto it = name ? t.byName.find(Lower(name)) : t.byName.end();
    if (it == t.byName.end() || it->second.missing) {
        tlsLastError = ERROR_MOD_NOT_FOUND;
        return 0;
    }
    ++it->second.refs;
    return it->second.handle;
}

FARPROC GetProcAddress(HMODULE module, const char* procName)
{
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    Module* m = LoadedModule(t, module);
    if (!m)
        return nullptr;
    // Entry names match exactly, as the system's loader does.
    auto it = procName ? m->procs.find(procName) : m->procs.end();
    if (it == m->procs.end() || m->hiddenProcs.count(it->first)) {
        tlsLastError = ERROR_PROC_NOT_FOUND;
        return nullptr;
    }
    return it->second;
}

bool FreeLibrary(HMODULE module)
{
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    Module* m = LoadedModule(t, module);
    if (!m)
        return false;
    --m->refs;
    return true;
}

namespace testing {

void SetModuleMissing(const std::string& name, bool missing)
{
    RegisterBuiltins();
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    t.byName[Lower(name)].missing = missing;
    Module& m = t.byName[Lower(name)];
    if (m.handle == 0)
        m.handle = t.next++;
}

void SetProcMissing(const std::string& module, const std::string& procName, bool missing)
{
    RegisterBuiltins();
    ModuleTable& t = Table();
    std::lock_guard lock(t.mu);
    auto it = t.byName.find(Lower(module));
    if (it == t.byName.end())
        return;
    if (missing)
        it->second.hiddenProcs.insert(procName);
    else
        it->second.hiddenProcs.erase(procName);
}

} // namespace testing
} // namespace os
