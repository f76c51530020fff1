#include "platform/dialup/DuRasUtl.h"

#include "platform/dialup/DuExcept.h"

void LoadRasApi()
{
    if (!RasService().Load())
        throw ERasLoadFail(ecRasLoadFail);
}

int RasDial(const TRasDialExtensions* extensions, const std::string& phonebook, const TRasDialParams& params,
            os::HWND notifier, os::UINT message, HRASCONN& connection)
{
    LoadRasApi();
    return RasService().RasDial(extensions, phonebook, params, notifier, message, connection);
}

int RasEnumConnections(std::vector<TRasConnEntry>& connections)
{
    LoadRasApi();
    return RasService().RasEnumConnections(connections);
}

int RasEnumEntries(const std::string& phonebook, std::vector<std::string>& entries)
{
    LoadRasApi();
    return RasService().RasEnumEntries(phonebook, entries);
}

int RasGetConnectStatus(HRASCONN connection, int& state)
{
    LoadRasApi();
    return RasService().RasGetConnectStatus(connection, state);
}

int RasHangUp(HRASCONN connection)
{
    LoadRasApi();
    return RasService().RasHangUp(connection);
}

int RasGetEntryDialParams(const std::string& phonebook, TRasDialParams& params, bool& passwordSaved)
{
    LoadRasApi();
    return RasService().RasGetEntryDialParams(phonebook, params, passwordSaved);
}

std::string RasGetErrorString(int code)
{
    LoadRasApi();
    std::string text;
    if (code == RAS_FUNCTION_MISSING || RasService().RasGetErrorString(code, text) == RAS_FUNCTION_MISSING)
        return "Function not Supported";
    if (text.size() > 256)
        text.resize(256);
    return text;
}
