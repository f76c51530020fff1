#pragma once
// The binding of the remote access service: each call loads the service
// first, so the program starts without one and fails only when it dials.
#include <string>
#include <vector>

#include "platform/dialup/RasService.h"

// Raises ERasLoadFail (-13980, "Failed to find/load RASAPI32.DLL") when the
// service is missing.
void LoadRasApi();

int RasDial(const TRasDialExtensions* extensions, const std::string& phonebook, const TRasDialParams& params,
            os::HWND notifier, os::UINT message, HRASCONN& connection);
int RasEnumConnections(std::vector<TRasConnEntry>& connections);
int RasEnumEntries(const std::string& phonebook, std::vector<std::string>& entries);
int RasGetConnectStatus(HRASCONN connection, int& state);
int RasHangUp(HRASCONN connection);
int RasGetEntryDialParams(const std::string& phonebook, TRasDialParams& params, bool& passwordSaved);
// The service's text of a dial error, at most 256 characters; "Function not
// Supported" for -1 or when the service cannot give one.
std::string RasGetErrorString(int code);
