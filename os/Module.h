#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace os {

// Run-time loading of a library by name, against the process's own table of
// built-in modules (names match ignoring case, as file names do on the
// system the programs were first written for).
using HMODULE = std::uint64_t; // 0: none
using FARPROC = void (*)();

constexpr std::uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr std::uint32_t ERROR_PROC_NOT_FOUND = 127;
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;

// 0 on failure, with GetLastError() = ERROR_MOD_NOT_FOUND. Each successful
// call counts a reference that FreeLibrary gives back.
HMODULE LoadLibrary(const char* name);
// nullptr on failure, with GetLastError() = ERROR_PROC_NOT_FOUND.
FARPROC GetProcAddress(HMODULE module, const char* procName);
bool FreeLibrary(HMODULE module);

// The calling thread's last system error (not the socket library's).
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

// Adds a module to the built-in table (done by the modules themselves).
void RegisterModule(const std::string& name, std::vector<std::pair<std::string, FARPROC>> procs);

namespace testing {
// Makes a registered module look missing (or present again), and hides one of
// its entry points, so the loaders' failure paths can be reached in tests.
void SetModuleMissing(const std::string& name, bool missing);
void SetProcMissing(const std::string& module, const std::string& procName, bool missing);
} // namespace testing

} // namespace os
