#pragma once
// The asynchronous socket core: a non-blocking TCP/UDP socket on the calling
// thread's message loop, told of network events through messages to a
// hidden window of its own. See net/AsyncSocket.h for how to use it.
#include <netinet/in.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "net/SockBuf.h"
#include "net/SocketException.h"
#include "net/SocketTypes.h"
#include "os/MessageTarget.h"
#include "os/Winsock.h"
#include "rtl/Object.h"

// Private messages of the hidden window.
constexpr os::UINT WM_ASYNCSELECT = os::WM_USER + 1;
constexpr os::UINT WM_ASYNCGETHOSTBYNAME = os::WM_USER + 2;
constexpr os::UINT WM_ASYNCGETHOSTBYADDR = os::WM_USER + 3;
constexpr os::UINT WM_CLOSE_DELAYED = os::WM_USER + 4;
constexpr os::UINT WM_WSOCKET_RELEASE = os::WM_USER + 5;
constexpr os::UINT WM_TRIGGER_EXCEPTION = os::WM_USER + 6;
constexpr os::UINT WM_TRIGGER_DATA_AVAILABLE = os::WM_USER + 20;

// A message as the hidden window receives it.
struct TMessage {
    os::UINT Msg = 0;
    os::WPARAM WParam = 0;
    os::LPARAM LParam = 0;
    os::LRESULT Result = 0;
};

// Returned by the synchronous wait on time-out or termination.
constexpr int SocketWaitTimeoutError = 12001;

class TCustomAsyncSocket : public TObject {
public:
    TCustomAsyncSocket();
    ~TCustomAsyncSocket() override;
    TCustomAsyncSocket(const TCustomAsyncSocket&) = delete;
    TCustomAsyncSocket& operator=(const TCustomAsyncSocket&) = delete;

    // --- operations -----------------------------------------------------
    virtual void Connect();
    virtual void Listen();
    // Only while listening; returns the accepted handle for another
    // component's Dup (-1 on failure).
    virtual os::SOCKET Accept();
    // Adopts an accepted handle; the component becomes wsConnected without
    // firing OnSessionConnected.
    virtual void Dup(os::SOCKET NewHSocket);
    // Queues the bytes and sends what the network takes now; the rest leaves
    // on write events. Returns the length queued, -1 when not connected.
    // OnDataSent fires from the loop once the queue is empty, never inside.
    virtual std::int64_t SendBuffer(const void* Data, std::int64_t Len);
    virtual std::int64_t SendText(const std::string& Str);
    virtual int SendDatagram(const sockaddr_in& To, const void* Data, int Len);
    // One receive; a negative result leaves the library's error in LastError.
    virtual int ReadBytes(void* Buffer, int BufferSize);
    virtual int ReadBytesFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen);
    // Everything waiting now as text (empty when none or on error).
    virtual std::string ReadAvailableText();
    // Orderly close: shuts down the sending side, delivers what the kernel
    // still holds, fires OnSessionClosed(0).
    virtual void CloseSession();
    // Close, or free the component, later from the message loop.
    virtual void PostClose();
    virtual void PostFree();
    // Stops a look-up, drops the send queue and closes.
    virtual void AbortSession();
    // Sends the queue while pumping messages, until it is empty.
    virtual void FlushSendBuffer();
    // Delivers what is waiting while pumping messages.
    virtual void DrainInput();
    virtual void ShutdownSide(int How);
    // While paused no select events are taken.
    virtual void PauseEvents();
    virtual void ResumeEvents();
    // Dispatches what the thread's loop has ready (sets the terminated flag on WM_QUIT).
    virtual void PumpMessages();

    virtual void StartDnsLookup(const std::string& HostName);
    virtual void StartReverseDnsLookup(const std::string& HostAddr);
    virtual void StopDnsLookup();

    virtual std::string GetPeerAddr();
    virtual std::string GetPeerPort();
    virtual int GetPeerSockAddr(sockaddr_in& Addr, int& AddrLen);
    virtual int GetLocalSockAddr(sockaddr_in& Addr, int& AddrLen);
    virtual std::string GetBoundPort();

    // --- properties -------------------------------------------------------
    const std::string& Addr() const { return FAddrStr; }
    void SetAddr(const std::string& Value);
    const std::string& Port() const { return FPortStr; }
    virtual void SetPort(const std::string& Value);
    const std::string& Proto() const { return FProtoStr; }
    virtual void SetProto(const std::string& Value);
    const std::string& LocalAddr() const { return FLocalAddr; }
    void SetLocalAddr(const std::string& Value);
    const std::string& LocalPort() const { return FLocalPortStr; }
    void SetLocalPort(const std::string& Value);
    std::string PeerAddr() { return GetPeerAddr(); }
    std::string PeerPort() { return GetPeerPort(); }
    const std::string& DnsResult() const { return FDnsResult; }
    const std::vector<std::string>& DnsResultList() const { return FDnsResultList; }
    TSocketState State() const { return FState; }
    std::int64_t ReadCount() const { return FReadCount; }
    // Bytes waiting to be read; -1 on failure.
    std::int64_t RcvdCount() { return GetRcvdCount(); }
    int LastError() const { return FLastError; }
    bool MultiThreaded() const { return FMultiThreaded; }
    void SetMultiThreaded(bool Value) { FMultiThreaded = Value; }
    TAsyncSocketOptions ComponentOptions() const { return FComponentOptions; }
    void SetComponentOptions(TAsyncSocketOptions Value) { FComponentOptions = Value; }
    int FlushTimeout() const { return FFlushTimeout; }
    void SetFlushTimeout(int Value) { FFlushTimeout = Value; }
    TSocketSendFlags SendFlags();
    void SetSendFlags(TSocketSendFlags Value);
    TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
    void SetLingerOnOff(TSocketLingerOnOff Value) { FLingerOnOff = Value; }
    int LingerTimeout() const { return FLingerTimeout; }
    void SetLingerTimeout(int Value) { FLingerTimeout = Value; }
    // The socket handle (INVALID_SOCKET when none) and the hidden window.
    os::SOCKET HSocket() const { return FHSocket; }
    os::HWND Handle() const { return FWindowHandle; }
    // True when the send queue holds nothing unsent.
    bool AllSent() const { return FAllSent; }
    bool Terminated() const { return FTerminated; }

    template <typename F>
    static bool MethodAssigned(const std::function<F>& Method) { return static_cast<bool>(Method); }
    template <typename F>
    static void ClearMethod(std::function<F>& Method) { Method = nullptr; }

    // --- events -----------------------------------------------------------
    TSessionAvailable OnSessionAvailable;
    TSessionConnected OnSessionConnected;
    TSessionClosed OnSessionClosed;
    TDataAvailable OnDataAvailable;
    TDataSent OnDataSent;
    TSendData OnSendData;
    TChangeState OnChangeState;
    TDnsLookupDone OnDnsLookupDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;
    TNotifyEvent OnLineTooLong; // never fired: lines have no length limit

protected:
    virtual void DispatchWindowMessage(TMessage& MsgRec);
    virtual void ResetToDefaults();
    virtual void CloseAndNotify(bool Shutdown, std::uint16_t Error);
    virtual std::int64_t GetRcvdCount();
    virtual void BindSocket();
    virtual int RawSend(const void* Data, int Len);
    virtual void ReportErrorFmt(const char* Format, ...) __attribute__((format(printf, 2, 3)));
    virtual void ReportError(const std::string& Msg);
    virtual void ProcessBgException(rtl::Exception& E);
    // Returns whether a handler was called.
    virtual bool FireDataAvailable(std::uint16_t Error);
    virtual void FireSessionAvailable(std::uint16_t Error);
    virtual void FireSessionConnected(std::uint16_t Error);
    virtual void FireSessionClosed(std::uint16_t Error);
    virtual void FireDataSent(std::uint16_t Error);
    virtual void FireChangeState(TSocketState OldState, TSocketState NewState);
    virtual void FireDnsLookupDone(std::uint16_t Error);
    virtual void FireError();
    virtual int RawReceive(void* Buffer, int BufferSize);
    virtual int RawReceiveFrom(void* Buffer, int BufferSize, sockaddr_in& From, int& FromLen);

    // Builds "Error N in function Where" CR LF text, closes on 10054/10057, reports.
    void ReportSocketError(const std::string& Where);
    void SetState(TSocketState NewState);
    void ApplyLinger();
    void TryToSend();
    void QueueSendData(const void* Data, std::int64_t Len);
    void DeleteBufferedData();
    // Handles a failed or short RawSend; false when sending must stop.
    bool SendFailed(int Error);
    // Reads and drops what waits, so an orderly close is not turned into a reset.
    void DiscardInput();
    void ReceiveLoop(std::uint16_t Error);
    void WMSocketSelect(TMessage& MsgRec);
    void WMAsyncGetHostByName(TMessage& MsgRec);
    void WMAsyncGetHostByAddr(TMessage& MsgRec);
    void WMCloseDelayed(TMessage& MsgRec);
    void WMRelease(TMessage& MsgRec);
    void WMTriggerException(TMessage& MsgRec);
    void HandleBackGroundException(rtl::Exception& E) { ProcessBgException(E); }

    os::HWND FWindowHandle = 0;
    os::SOCKET FHSocket = os::INVALID_SOCKET;
    TSocketState FState = wsClosed;
    long FSelectEvent = 0;
    bool FPaused = false;
    bool FCloseInvoked = false; // the end of the connection was reported
    bool FDestroying = false;
    bool FTerminated = false;

    void ResolvePending(bool LocalPortToo);
    // The shared rule of the Addr, Port and Proto setters; true when stored.
    bool StoreRemotePart(const std::string& Value, const char* Name, std::string& Text, bool& Assigned,
                         bool& Resolved);

    sockaddr_in Fsin{};
    int FAddrFormat = AF_INET;
    int FType = SOCK_STREAM;
    int FProto = IPPROTO_TCP;
    std::string FAddrStr;
    bool FAddrAssigned = false;
    bool FAddrResolved = false;
    std::string FPortStr;
    bool FPortAssigned = false;
    bool FPortResolved = false;
    int FPortNum = 0;
    std::string FProtoStr;
    bool FProtoAssigned = false;
    bool FProtoResolved = false;
    std::string FLocalAddr;
    std::string FLocalPortStr;
    bool FLocalPortResolved = false;
    int FLocalPortNum = 0;

    std::deque<std::unique_ptr<TBuffer>> FBufList;
    int FBufSize = 1514;
    bool FAllSent = true;
    std::vector<char> FStaging; // gathers queued chunks into one send

    os::HANDLE FDnsLookupHandle = 0;
    alignas(16) char FDnsLookupBuffer[1025] = {};
    std::string FDnsResult;
    std::vector<std::string> FDnsResultList;
    os::SOCKET FASocket = os::INVALID_SOCKET;

    int FLastError = 0;
    std::int64_t FReadCount = 0;
    // Bumped by every receive call on the socket: the receive loop stops when
    // a handler took nothing, instead of spinning.
    std::uint64_t FRecvCalls = 0;

    bool FMultiThreaded = false;
    TAsyncSocketOptions FComponentOptions;
    TSocketLingerOnOff FLingerOnOff = wsLingerOn;
    int FLingerTimeout = 0;
    int FSendFlags = wsSendNormal;
    int FFlushTimeout = 60;

    // Dropped by the destructor, so loops that call handlers can tell the
    // component is gone.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
