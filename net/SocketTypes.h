#pragma once
// Enumerations, option sets and event types of the socket component.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "rtl/Exception.h"
#include "rtl/Object.h"

enum TSocketState {
    wsInvalidState = 0,
    wsOpened = 1,
    wsBound = 2,
    wsConnecting = 3,
    wsConnected = 4,
    wsAccepting = 5,
    wsListening = 6,
    wsClosed = 7,
};

enum TSocketLingerOnOff { wsLingerOff = 0, wsLingerOn = 1, wsLingerNoSet = 2 };

// Stored as the flags word handed to send.
enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

enum TAsyncSocketOption { wsoNoReceiveLoop = 0 };

// A set of TAsyncSocketOption.
class TAsyncSocketOptions {
public:
    TAsyncSocketOptions() = default;
    TAsyncSocketOptions(std::initializer_list<TAsyncSocketOption> Options)
    {
        for (auto o : Options) Include(o);
    }
    bool Contains(TAsyncSocketOption o) const { return (FBits & Bit(o)) != 0; }
    void Include(TAsyncSocketOption o) { FBits |= Bit(o); }
    void Exclude(TAsyncSocketOption o) { FBits &= ~Bit(o); }
    bool operator==(const TAsyncSocketOptions&) const = default;

private:
    static std::uint32_t Bit(TAsyncSocketOption o) { return 1u << static_cast<unsigned>(o); }
    std::uint32_t FBits = 0;
};

enum TSocksAuthentication { socksNoAuthentication = 0, socksAuthenticateUsercode = 1 };

// As fired by OnSocksAuthState.
enum TSocksAuthState {
    socksAuthStart = 0,       // user/password authentication starts
    socksAuthSuccess = 1,     // the server accepted user and password
    socksAuthFailure = 2,     // the connection closed while authenticating
    socksAuthNotRequired = 3, // the server chose no authentication although it was offered
};

// Event types; an event counts as assigned when the std::function is non-empty.
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TSessionAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionConnected = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSessionClosed = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataAvailable = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TDataSent = std::function<void(TObject* Sender, std::uint16_t Error)>;
using TSendData = std::function<void(TObject* Sender, int BytesSent)>;
using TChangeState = std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TDnsLookupDone = std::function<void(TObject* Sender, std::uint16_t Error)>;
// CanClose starts true; leaving it true aborts the session.
using TBgExceptionEvent = std::function<void(TObject* Sender, rtl::Exception& E, bool& CanClose)>;
using TSocksErrorEvent = std::function<void(TObject* Sender, int Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;
