#include "tests/platform/dialup/RasSimulation.h"

namespace {
constexpr os::UINT kDeliver = os::WM_USER + 1;
}

TRasSimulation::TRasSimulation()
{
    relay_ = os::CreateMessageTarget([this](os::UINT message, os::WPARAM, os::LPARAM) {
        if (message == kDeliver)
            Deliver();
        return os::LRESULT(0);
    });
}

TRasSimulation::~TRasSimulation()
{
    os::DestroyMessageTarget(relay_);
}

void TRasSimulation::Notify(int state, int error)
{
    pending_.push_back({current_, state, error});
    os::PostMessage(relay_, kDeliver, 0, 0);
}

void TRasSimulation::Deliver()
{
    if (pending_.empty())
        return;
    TPending p = pending_.front();
    pending_.pop_front();
    auto it = lines_.find(p.Line);
    if (it == lines_.end() || it->second.HangingUp || !it->second.Notifier)
        return; // a line that was hung up tells nothing more
    if (p.Error == 0)
        it->second.State = p.State;
    os::SendMessage(it->second.Notifier, it->second.Message, static_cast<os::WPARAM>(p.State), p.Error);
}

void TRasSimulation::DropLine(HRASCONN line)
{
    auto it = lines_.find(line);
    if (it != lines_.end())
        it->second.State = RASCS_Disconnected;
}

HRASCONN TRasSimulation::AddForeignConnection(const std::string& entryName)
{
    HRASCONN h = next_++;
    TLine line;
    line.EntryName = entryName;
    line.State = RASCS_Connected;
    line.HangUpCallsLeft = HangUpCallsToEnd;
    lines_[h] = line;
    return h;
}

int TRasSimulation::RasDial(const TRasDialExtensions* extensions, const std::string&, const TRasDialParams& params,
                            os::HWND notifier, os::UINT message, HRASCONN& connection)
{
    if (Missing("RasDial"))
        return RAS_FUNCTION_MISSING;
    Dialled.push_back(params);
    DialledExtensions.push_back(extensions ? *extensions : TRasDialExtensions{});
    TDialScript script;
    if (!Dials.empty()) {
        script = Dials.front();
        Dials.pop_front();
    }
    // The service hands out a line even for a dial it refuses at once.
    HRASCONN h = next_++;
    TLine line;
    line.EntryName = params.EntryName;
    line.HangUpCallsLeft = HangUpCallsToEnd;
    line.Notifier = notifier;
    line.Message = message;
    lines_[h] = line;
    connection = h;
    current_ = h;
    if (script.Result == 0)
        for (auto [state, error] : script.Notifications)
            Notify(state, error);
    return script.Result;
}

int TRasSimulation::RasEnumConnections(std::vector<TRasConnEntry>& connections)
{
    if (Missing("RasEnumConnections"))
        return RAS_FUNCTION_MISSING;
    connections.clear();
    for (const auto& [h, line] : lines_)
        connections.push_back({h, line.EntryName});
    return 0;
}

int TRasSimulation::RasEnumEntries(const std::string&, std::vector<std::string>& entries)
{
    if (Missing("RasEnumEntries"))
        return RAS_FUNCTION_MISSING;
    entries.clear();
    for (const TEntry& e : Phonebook)
        entries.push_back(e.Name);
    return 0;
}

int TRasSimulation::RasGetConnectStatus(HRASCONN connection, int& state)
{
    if (Missing("RasGetConnectStatus"))
        return RAS_FUNCTION_MISSING;
    auto it = lines_.find(connection);
    if (it == lines_.end())
        return ERROR_INVALID_HANDLE;
    state = it->second.State;
    return 0;
}

int TRasSimulation::RasHangUp(HRASCONN connection)
{
    if (Missing("RasHangUp"))
        return RAS_FUNCTION_MISSING;
    ++HangUpCalls;
    auto it = lines_.find(connection);
    if (it == lines_.end())
        return ERROR_INVALID_HANDLE;
    TLine& line = it->second;
    if (!line.HangingUp) {
        line.HangingUp = true;
        HungUp.push_back(connection);
    }
    if (line.HangUpCallsLeft < 0)
        return 0; // a service that never lets go
    if (line.HangUpCallsLeft-- > 0)
        return 0;
    lines_.erase(it);
    return ERROR_INVALID_HANDLE;
}

int TRasSimulation::RasGetEntryDialParams(const std::string&, TRasDialParams& params, bool& passwordSaved)
{
    if (Missing("RasGetEntryDialParams"))
        return RAS_FUNCTION_MISSING;
    for (const TEntry& e : Phonebook) {
        if (e.Name != params.EntryName)
            continue;
        params = e.Saved;
        params.EntryName = e.Name;
        passwordSaved = e.PasswordSaved;
        return 0;
    }
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
}

int TRasSimulation::RasGetErrorString(int code, std::string& text)
{
    if (Missing("RasGetErrorString"))
        return RAS_FUNCTION_MISSING;
    auto it = ErrorTexts.find(code);
    text = it != ErrorTexts.end() ? it->second : "Remote access error " + std::to_string(code);
    return 0;
}
