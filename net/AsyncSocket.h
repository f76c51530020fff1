#pragma once
// The socket component both programs create: TAsyncSocket.
//
// How to use it (everything on the thread that created the socket; that
// thread's os::MessageLoop must run for events to arrive):
//
//   Connect:  set Addr, Port (and Proto for "udp") before EVERY Connect: they
//             return to their defaults after each close. Connect() returns at
//             once; OnSessionConnected(Sender, Error) tells the outcome
//             (Error 0 or a socket error such as 10061; a failed connect is
//             followed by OnSessionClosed(0)). For SOCKS set SocksServer,
//             SocksPort, SocksLevel (and SocksUsercode/SocksPassword with
//             SocksAuthentication = socksAuthenticateUsercode) before Connect.
//   Listen:   set Addr ("0.0.0.0"), Port ("0" picks one; GetBoundPort() tells
//             which), Listen(). OnSessionAvailable fires per waiting client:
//             call Accept() there and hand the handle to a new component's
//             Dup(handle), which makes that one wsConnected.
//   Send:     SendBuffer(data, len) / SendText(text) never block and never
//             refuse; what the network does not take at once is copied into
//             the queue (the caller's block may be reused at once) and leaves
//             on write events. OnDataSent fires from the loop (never inside
//             the call) each time the queue became empty, and once after a
//             connect. FlushSendBuffer() waits (pumping) until it is empty.
//   Receive:  in OnDataAvailable read with ReadBytes(buf, size) (or
//             ReadAvailableText). The handler is called again while bytes
//             remain; a read of -1 with LastError() 10035 means nothing waits.
//   Close:    CloseSession() closes in order (queued kernel data is delivered)
//             and fires OnSessionClosed(0) once; AbortSession() drops the send
//             queue. The peer closing gives OnSessionClosed after the data
//             still waiting was delivered through OnDataAvailable.
//   Errors:   misuse raises ESocketException, or fires OnError with
//             LastError() holding the code when OnError is assigned.
//             Exceptions thrown by your handlers go to OnBgException, whose
//             default aborts the session.
//   Freeing:  destroy a socket on its own thread, and never inside one of its
//             own event handlers: call PostFree() there, which deletes it from
//             the loop later (it must have been created with new).
#include "net/CustomSyncAsyncSocket.h"
#include "net/SocketResolve.h"
#include "net/WsBinding.h"

class TAsyncSocket : public TCustomSyncAsyncSocket {
public:
    TAsyncSocket() = default;
    ~TAsyncSocket() override = default;
};
