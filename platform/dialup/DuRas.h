#pragma once
// TCustomRasDialer dials a phonebook entry of the remote access service,
// turns the service's progress notifications into events, polls the line once
// a second so that a drop is noticed, and hangs up. TAbstractRasStatus is the
// status window a dialer can drive while it dials.
#include <functional>
#include <string>
#include <vector>

#include "os/MessageTarget.h"
#include "platform/dialup/DuMisc.h"
#include "platform/dialup/RasService.h"

class TCustomRasDialer;

enum TRasDialMode { dmSync, dmAsync };
enum TRasDialOption { doPrefixSuffix, doPausedStates, doDisableConnectedUI, doDisableReconnectUI, doNoUser,
                      doPauseOnScript };
using TRasDialOptions = unsigned; // bit (1 << TRasDialOption) per option
enum TRasSpeakerMode { smDefault, smSpeakerOn, smSpeakerOff };
enum TRasCompressionMode { cmDefault, cmCompressionOn, cmCompressionOff };

class TAbstractRasStatus : public TDialBaseComponent {
public:
    ~TAbstractRasStatus() override;

    TCustomRasDialer* RasDialer() const { return rasDialer_; }
    // Links both ways (and unlinks the previous dialer).
    void SetRasDialer(TCustomRasDialer* dialer);

    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowStatus(const std::string& entryName) = 0;
    virtual void HideStatus() = 0;

private:
    friend class TCustomRasDialer;
    TCustomRasDialer* rasDialer_ = nullptr;
};

class TCustomRasDialer : public TDialBaseComponent {
public:
    // The message the service posts its notifications with.
    static constexpr os::UINT WM_RASDIALEVENT = 0xCCCD;
    static constexpr int DiscTimerInterval = 1000; // the "RasDiscTimer" poll

    TCustomRasDialer();
    ~TCustomRasDialer() override;
    TCustomRasDialer(const TCustomRasDialer&) = delete;
    TCustomRasDialer& operator=(const TCustomRasDialer&) = delete;

    const std::string& EntryName() const { return entryName_; }
    // Loads the entry's saved dial parameters (an empty name keeps them).
    void SetEntryName(const std::string& value);
    std::string Phonebook;
    std::string PhoneNumber, CallBackNumber, UserName, Password, Domain;
    TRasDialMode DialMode = dmAsync;
    TRasDialOptions DialOptions = 0;
    TRasSpeakerMode SpeakerMode = smDefault;
    TRasCompressionMode CompressionMode = cmDefault;
    bool HangupOnDestroy = true;
    // How long a hang-up waits for the service to let the line go.
    int HangUpWaitMs = 3000;

    TAbstractRasStatus* StatusDisplay() const { return statusDisplay_; }
    // Links both ways (and unlinks the previous display).
    void SetStatusDisplay(TAbstractRasStatus* display);

    std::function<void(TObject* Sender)> OnConnected;
    std::function<void(TObject* Sender)> OnDisconnected;
    std::function<void(TObject* Sender, int Status)> OnDialStatus;
    std::function<void(TObject* Sender, int Error)> OnDialError;

    // Starts a dial; the service's result (0: started).
    int Dial();
    // Hangs up the line this dialer dialled, if any, then reports the
    // disconnection (OnDisconnected), line or not.
    void HangUpConnection();
    // The state of FindConnection's line; 0 when there is none.
    int QueryConnectState();
    // This dialer's line; else the first active one of EntryName (any entry
    // when EntryName is empty); 0 when none.
    HRASCONN FindConnection();
    // The phonebook's entry names into list; the service's result.
    int ReadPhonebookEntries(std::vector<std::string>* list);
    int LoadDialParams();
    std::string DialErrorText(int code);
    std::string DialStatusText(int state);

    HRASCONN Connection() const { return connection_; }
    bool DiscTimerEnabled() const { return discTimer_; }
    os::HWND Handle() const { return handle_; }

private:
    friend class TAbstractRasStatus;
    void WndProc(os::UINT message, os::WPARAM wParam, os::LPARAM lParam);
    void SetDiscTimer(bool enabled);
    void HideDisplay();
    TRasDialExtensions Extensions() const;

    std::string entryName_;
    HRASCONN connection_ = 0;
    os::HWND handle_ = 0;
    bool discTimer_ = false;
    bool destroying_ = false;
    TAbstractRasStatus* statusDisplay_ = nullptr;
};

// The dialer as components publish it.
class TRasDialer : public TCustomRasDialer {};
