#pragma once
// A scripted remote access service. Tests (and the screenshots) install it
// with SetRasService to walk a dialer through its states, errors and
// hang-up: the phonebook, each dial's immediate result and notifications,
// the error texts and how a line lets go are set up front, and Notify sends
// the dial in progress one more notification. Notifications arrive through
// the message loop, never inside a call, and none arrives for a line that
// was hung up.
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dialup/RasService.h"

class TRasSimulation : public TRasService {
public:
    struct TEntry {
        std::string Name;
        TRasDialParams Saved; // EntryName is ignored
        bool PasswordSaved = true;
    };
    struct TDialScript {
        int Result = 0;                                 // RasDial's immediate answer
        std::vector<std::pair<int, int>> Notifications; // (state, error), sent after the call
    };

    TRasSimulation();
    ~TRasSimulation() override;

    bool Present = true;               // false: the service cannot be loaded
    std::vector<TEntry> Phonebook;
    std::deque<TDialScript> Dials;     // one per RasDial; none left: accepted, silent
    std::map<int, std::string> ErrorTexts;
    std::set<std::string> MissingEntryPoints; // these answer RAS_FUNCTION_MISSING
    int HangUpCallsToEnd = 2;          // RasHangUp answers 0 this often before 6; < 0: never 6

    // What the dialer did.
    std::vector<TRasDialParams> Dialled;
    std::vector<TRasDialExtensions> DialledExtensions;
    std::vector<HRASCONN> HungUp;      // lines that went down through RasHangUp
    int HangUpCalls = 0;

    // The line of the last dial.
    HRASCONN Current() const { return current_; }
    // Sends the line of the last dial a notification (if it is still up).
    void Notify(int state, int error = 0);
    // The line drops: its status reads disconnected from now on.
    void DropLine(HRASCONN line);
    // A line of another program, which this program must not hang up.
    HRASCONN AddForeignConnection(const std::string& entryName);
    bool IsUp(HRASCONN line) const { return lines_.count(line) != 0; }

    bool Load() override { return Present; }
    int RasDial(const TRasDialExtensions* extensions, const std::string& phonebook, const TRasDialParams& params,
                os::HWND notifier, os::UINT message, HRASCONN& connection) override;
    int RasEnumConnections(std::vector<TRasConnEntry>& connections) override;
    int RasEnumEntries(const std::string& phonebook, std::vector<std::string>& entries) override;
    int RasGetConnectStatus(HRASCONN connection, int& state) override;
    int RasHangUp(HRASCONN connection) override;
    int RasGetEntryDialParams(const std::string& phonebook, TRasDialParams& params, bool& passwordSaved) override;
    int RasGetErrorString(int code, std::string& text) override;

private:
    struct TLine {
        std::string EntryName;
        int State = 0;
        int HangUpCallsLeft = 0;
        bool HangingUp = false;
        os::HWND Notifier = 0;
        os::UINT Message = 0;
    };
    struct TPending {
        HRASCONN Line;
        int State, Error;
    };
    bool Missing(const char* name) const { return MissingEntryPoints.count(name) != 0; }
    void Deliver();

    std::map<HRASCONN, TLine> lines_;
    std::deque<TPending> pending_;
    HRASCONN next_ = 0x100;
    HRASCONN current_ = 0;
    os::HWND relay_ = 0;
};
