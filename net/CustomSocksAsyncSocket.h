#pragma once
// Outgoing TCP connections through a SOCKS 4, 4A or 5 server: Connect opens
// the connection to the server, negotiates, and only then reports the session
// as connected, so an owner written for direct connections works unchanged.
#include <cstdint>
#include <string>

#include "net/CustomAsyncSocket.h"

// The layer's own error codes (reach the owner as the Error of
// OnSessionConnected and OnSessionClosed, and with a text through OnSocksError).
constexpr int socksProtocolError = 20001;
constexpr int socksVersionError = 20002;
constexpr int socksAuthMethodError = 20003;
constexpr int socksGeneralFailure = 20004;
constexpr int socksConnectionNotAllowed = 20005;
constexpr int socksNetworkUnreachable = 20006;
constexpr int socksHostUnreachable = 20007;
constexpr int socksConnectionRefused = 20008;
constexpr int socksTtlExpired = 20009;
constexpr int socksUnknownCommand = 20010;
constexpr int socksUnknownAddressType = 20011;
constexpr int socksUnassignedError = 20012;
constexpr int socksInternalError = 20013;
constexpr int socksDataTooLong = 20014;
constexpr int socksAuthenticationFailed = 20015;
constexpr int socksRejectedOrFailed = 20016;
constexpr int socksHostResolutionFailed = 20017;

class TCustomSocksAsyncSocket : public TCustomAsyncSocket {
public:
    TCustomSocksAsyncSocket();
    ~TCustomSocksAsyncSocket() override;

    void Connect() override;
    void Listen() override;

    // Setters refuse while not closed; server, port and level return to their
    // defaults after every close.
    const std::string& SocksServer() const { return FSocksServer; }
    virtual void SetSocksServer(const std::string& Value);
    const std::string& SocksPort() const { return FSocksPort; }
    virtual void SetSocksPort(const std::string& Value);
    // "4", "4A" or "5" (default "5"); "4a" is stored as "4A".
    const std::string& SocksLevel() const { return FSocksLevel; }
    void SetSocksLevel(const std::string& Value);
    const std::string& SocksUsercode() const { return FSocksUsercode; }
    void SetSocksUsercode(const std::string& Value) { FSocksUsercode = Value; }
    const std::string& SocksPassword() const { return FSocksPassword; }
    void SetSocksPassword(const std::string& Value) { FSocksPassword = Value; }
    TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
    void SetSocksAuthentication(TSocksAuthentication Value) { FSocksAuthentication = Value; }
    // 0 idle, 1 waiting for the first reply, 2 authenticating, 3 waiting for the connect reply.
    int SocksState() const { return FSocksState; }

    TSessionConnected OnSocksConnected;
    TSocksErrorEvent OnSocksError;
    TSocksAuthStateEvent OnSocksAuthState;

protected:
    virtual void FireSocksConnected(std::uint16_t Error);
    virtual void FireSocksError(int Error, const std::string& Msg);

    void ResetToDefaults() override;
    void FireSessionConnected(std::uint16_t Error) override;
    void FireSessionClosed(std::uint16_t Error) override;
    bool FireDataAvailable(std::uint16_t Error) override;
    // Not told to the owner while negotiating: its session has not started.
    void FireDataSent(std::uint16_t Error) override;

    void FireAuthState(TSocksAuthState AuthState);
    void SocksDoConnect();
    void SocksDoAuthenticate();
    void SendSocksRequest(const std::string& Request);
    // Reads into the reply buffer until it holds Wanted bytes; true when it does.
    bool ReadReply(int Wanted);
    void FailSocks(int Code, const std::string& Msg);
    void ConnectDone();

    std::string FSocksServer;
    std::string FSocksPort;
    std::string FSocksLevel = "5";
    std::string FSocksUsercode;
    std::string FSocksPassword;
    TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
    int FSocksState = 0;
    // Whether the owner has heard how its connect ended; a server that hangs
    // up in the middle of a negotiation must still end in a failed connect.
    bool FSocksOwnerTold = true;
    int FSocksMethod = 0;
    bool FSocksServerAssigned = false;
    bool FSocksPortAssigned = false;
    std::uint16_t FSocksDestPort = 0;
    // Replies are read no further than their own length, so bytes behind
    // them stay in the socket for the owner. Large enough for the longest
    // reply (a domain name of 255 bytes).
    unsigned char FSocksRcvdBuf[300] = {};
    int FSocksRcvdCnt = 0;
};
