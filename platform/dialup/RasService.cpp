#include "platform/dialup/RasService.h"

namespace {

// This system has no remote access service: loading it always fails, so the
// binding raises before any of the calls below could be reached.
class TMissingRasService : public TRasService {
public:
    bool Load() override { return false; }
    int RasDial(const TRasDialExtensions*, const std::string&, const TRasDialParams&, os::HWND, os::UINT,
                HRASCONN&) override { return RAS_FUNCTION_MISSING; }
    int RasEnumConnections(std::vector<TRasConnEntry>&) override { return RAS_FUNCTION_MISSING; }
    int RasEnumEntries(const std::string&, std::vector<std::string>&) override { return RAS_FUNCTION_MISSING; }
    int RasGetConnectStatus(HRASCONN, int&) override { return RAS_FUNCTION_MISSING; }
    int RasHangUp(HRASCONN) override { return RAS_FUNCTION_MISSING; }
    int RasGetEntryDialParams(const std::string&, TRasDialParams&, bool&) override { return RAS_FUNCTION_MISSING; }
    int RasGetErrorString(int, std::string&) override { return RAS_FUNCTION_MISSING; }
};

std::unique_ptr<TRasService>& Current()
{
    static std::unique_ptr<TRasService> current = std::make_unique<TMissingRasService>();
    return current;
}

} // namespace

TRasService& RasService()
{
    return *Current();
}

std::unique_ptr<TRasService> SetRasService(std::unique_ptr<TRasService> service)
{
    if (!service)
        service = std::make_unique<TMissingRasService>();
    std::swap(Current(), service);
    return service;
}
