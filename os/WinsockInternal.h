#pragma once
// Internal to os/: what the socket library's source files share.
namespace os::detail {

void SetWsaError(int error);
// False (with WSANOTINITIALISED set) until WSAStartup succeeded.
bool WinsockStarted();
// Registers the built-in module "wsock32.dll".
void RegisterWinsockModule();

} // namespace os::detail
