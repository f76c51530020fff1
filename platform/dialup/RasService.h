#pragma once
// The remote access service as the dialer sees it: an interface of our own
// in place of the system's dial-up library. The one installed by default
// reports the service missing (Linux has none); tests install a simulation.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "os/MessageTarget.h"

using HRASCONN = std::uint64_t; // 0: none

// Connection states as the service reports them.
constexpr int RASCS_ConnectDevice = 2;
constexpr int RASCS_PAUSED = 0x1000;
constexpr int RASCS_Connected = 0x2000;
constexpr int RASCS_Disconnected = 0x2001;

// Results.
constexpr int RAS_FUNCTION_MISSING = -1;
constexpr int ERROR_INVALID_HANDLE = 6;
constexpr int ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;

struct TRasDialParams {
    std::string EntryName, PhoneNumber, CallbackNumber, UserName, Password, Domain;
};

// Dial extension options (the record's bits).
struct TRasDialExtensions {
    std::uint32_t dwSize = 16;
    std::uint32_t dwfOptions = 0;
};

struct TRasConnEntry {
    HRASCONN hrasconn = 0;
    std::string szEntryName;
};

class TRasService {
public:
    virtual ~TRasService() = default;

    // Whether the service is there (the first call loads it).
    virtual bool Load() = 0;
    // Starts a dial. With a notifier, progress arrives later as message
    // (wParam = connection state, lParam = error) posted to it; never inside
    // the call. Entry points that are missing answer RAS_FUNCTION_MISSING.
    virtual int RasDial(const TRasDialExtensions* extensions, const std::string& phonebook,
                        const TRasDialParams& params, os::HWND notifier, os::UINT message,
                        HRASCONN& connection) = 0;
    virtual int RasEnumConnections(std::vector<TRasConnEntry>& connections) = 0;
    virtual int RasEnumEntries(const std::string& phonebook, std::vector<std::string>& entries) = 0;
    virtual int RasGetConnectStatus(HRASCONN connection, int& state) = 0;
    // 0 while the connection is still closing, ERROR_INVALID_HANDLE once it is gone.
    virtual int RasHangUp(HRASCONN connection) = 0;
    // params.EntryName names the entry; the saved values come back in params.
    virtual int RasGetEntryDialParams(const std::string& phonebook, TRasDialParams& params,
                                      bool& passwordSaved) = 0;
    virtual int RasGetErrorString(int code, std::string& text) = 0;
};

// The service in use.
TRasService& RasService();
// Installs a service, returns the previous one; nullptr puts the default back.
std::unique_ptr<TRasService> SetRasService(std::unique_ptr<TRasService> service);
