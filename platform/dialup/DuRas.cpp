#include "platform/dialup/DuRas.h"

#include <chrono>
#include <thread>

#include "platform/dialogs/EventHandler.h"
#include "platform/dialup/DuExcept.h"
#include "platform/dialup/DuRasUtl.h"

namespace {

constexpr std::uintptr_t kDiscTimerId = 1;

// Each event on its own: what its handler throws is shown, and the dialer's
// own steps after it (the hang-up after a dial error) still run.
template <class Event, class... Args>
void Fire(const Event& event, Args... args)
{
    if (event)
        EventHandler([&] { event(args...); })();
}

} // namespace

TAbstractRasStatus::~TAbstractRasStatus()
{
    if (rasDialer_)
        rasDialer_->SetStatusDisplay(nullptr);
}

void TAbstractRasStatus::SetRasDialer(TCustomRasDialer* dialer)
{
    if (dialer)
        dialer->SetStatusDisplay(this);
    else if (rasDialer_)
        rasDialer_->SetStatusDisplay(nullptr);
}

TCustomRasDialer::TCustomRasDialer()
{
    handle_ = CreateGuardedMessageTarget(
        [this](os::UINT message, os::WPARAM wParam, os::LPARAM lParam) { WndProc(message, wParam, lParam); });
}

TCustomRasDialer::~TCustomRasDialer()
{
    destroying_ = true;
    SetDiscTimer(false);
    if (HangupOnDestroy) {
        try {
            HangUpConnection();
        } catch (...) {
            // Going away: there is nobody left to tell.
        }
    }
    SetStatusDisplay(nullptr);
    os::DestroyMessageTarget(handle_);
}

void TCustomRasDialer::SetStatusDisplay(TAbstractRasStatus* display)
{
    if (display == statusDisplay_)
        return;
    if (statusDisplay_ && statusDisplay_->rasDialer_ == this)
        statusDisplay_->rasDialer_ = nullptr;
    statusDisplay_ = display;
    if (display) {
        if (display->rasDialer_ && display->rasDialer_ != this)
            display->rasDialer_->statusDisplay_ = nullptr;
        display->rasDialer_ = this;
    }
}

void TCustomRasDialer::SetEntryName(const std::string& value)
{
    entryName_ = value;
    LoadDialParams();
}

TRasDialExtensions TCustomRasDialer::Extensions() const
{
    static constexpr std::uint32_t optionBits[] = {0x1, 0x2, 0x40, 0x80, 0x200, 0x400};
    TRasDialExtensions ext;
    for (unsigned option = 0; option < 6; ++option)
        if (DialOptions & (1u << option))
            ext.dwfOptions |= optionBits[option];
    if (SpeakerMode != smDefault)
        ext.dwfOptions |= 0x4 | (SpeakerMode == smSpeakerOn ? 0x8 : 0);
    if (CompressionMode != cmDefault)
        ext.dwfOptions |= 0x10 | (CompressionMode == cmCompressionOn ? 0x20 : 0);
    return ext;
}

int TCustomRasDialer::Dial()
{
    HangUpConnection(); // a previous line is always dropped first
    os::HWND notifier = 0;
    if (DialMode == dmAsync) {
        notifier = handle_;
        if (statusDisplay_)
            statusDisplay_->ShowStatus(entryName_);
    }
    connection_ = 0;
    TRasDialParams params{entryName_, PhoneNumber, CallBackNumber, UserName, Password, Domain};
    TRasDialExtensions extensions = Extensions();
    int result;
    try {
        result = ::RasDial(&extensions, Phonebook, params, notifier, WM_RASDIALEVENT, connection_);
    } catch (...) {
        HideDisplay(); // no service: the status window must not stay behind
        throw;
    }
    if (result != 0)
        HangUpConnection();
    else
        SetDiscTimer(true);
    return result;
}

void TCustomRasDialer::HangUpConnection()
{
    // Only the line this dialer dialled: with no entry name, "the first
    // active connection" could be another program's link.
    HRASCONN h = connection_;
    if (h != 0) {
        // The service lets a line go over some time; wait for it, but never
        // for ever whatever the service answers.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(HangUpWaitMs);
        int result = ::RasHangUp(h);
        while (result != ERROR_INVALID_HANDLE && result != RAS_FUNCTION_MISSING &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            result = ::RasHangUp(h);
        }
    }
    connection_ = 0;
    HideDisplay();
    if (!destroying_) {
        SetDiscTimer(false);
        Fire(OnDisconnected, this);
    }
}

int TCustomRasDialer::QueryConnectState()
{
    HRASCONN h = FindConnection();
    int state = 0;
    if (h == 0 || ::RasGetConnectStatus(h, state) != 0)
        return 0;
    return state;
}

HRASCONN TCustomRasDialer::FindConnection()
{
    if (connection_ != 0)
        return connection_;
    std::vector<TRasConnEntry> connections;
    if (::RasEnumConnections(connections) != 0)
        return 0;
    for (const TRasConnEntry& c : connections)
        if (entryName_.empty() || c.szEntryName == entryName_)
            return c.hrasconn;
    return 0;
}

int TCustomRasDialer::ReadPhonebookEntries(std::vector<std::string>* list)
{
    if (!list)
        return CheckAndRaise(ecBadArgument);
    list->clear();
    std::vector<std::string> names;
    int result = ::RasEnumEntries(Phonebook, names);
    list->insert(list->end(), names.begin(), names.end());
    return result;
}

int TCustomRasDialer::LoadDialParams()
{
    if (entryName_.empty())
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    TRasDialParams saved;
    saved.EntryName = entryName_;
    bool passwordSaved = false;
    int result = ::RasGetEntryDialParams(Phonebook, saved, passwordSaved);
    if (result == 0) {
        PhoneNumber = saved.PhoneNumber;
        CallBackNumber = saved.CallbackNumber;
        UserName = saved.UserName;
        Domain = saved.Domain;
        Password = passwordSaved ? saved.Password : std::string();
    }
    return result;
}

std::string TCustomRasDialer::DialErrorText(int code)
{
    return ::RasGetErrorString(code);
}

std::string TCustomRasDialer::DialStatusText(int state)
{
    bool named = (state >= 0 && state <= 23) || (state >= RASCS_PAUSED && state <= RASCS_PAUSED + 3) ||
                 state == RASCS_Connected || state == RASCS_Disconnected;
    return named ? ErrorMessage(4500 + state) : std::string();
}

void TCustomRasDialer::SetDiscTimer(bool enabled)
{
    if (enabled == discTimer_)
        return;
    discTimer_ = enabled;
    if (enabled)
        os::SetTimer(handle_, kDiscTimerId, DiscTimerInterval);
    else
        os::KillTimer(handle_, kDiscTimerId);
}

void TCustomRasDialer::HideDisplay()
{
    if (statusDisplay_)
        statusDisplay_->HideStatus();
}

void TCustomRasDialer::WndProc(os::UINT message, os::WPARAM wParam, os::LPARAM lParam)
{
    if (message == os::WM_TIMER) {
        if (discTimer_ && QueryConnectState() == RASCS_Disconnected)
            HangUpConnection();
        return;
    }
    if (message != WM_RASDIALEVENT)
        return;
    int state = static_cast<int>(wParam);
    int error = static_cast<int>(lParam);
    if (error != 0) {
        if (statusDisplay_)
            statusDisplay_->SetStatusText(DialErrorText(error));
        Fire(OnDialError, this, error);
        HangUpConnection();
    } else if (state == RASCS_Connected) {
        HideDisplay();
        Fire(OnConnected, this);
    } else if (state == RASCS_Disconnected) {
        SetDiscTimer(false);
        HideDisplay();
        Fire(OnDisconnected, this);
    } else {
        if (statusDisplay_)
            statusDisplay_->SetStatusText(state == RASCS_ConnectDevice ? "Dialing " + PhoneNumber
                                                                       : DialStatusText(state));
        Fire(OnDialStatus, this, state);
    }
}
