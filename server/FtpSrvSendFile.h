#pragma once
// Sends a file to a connected socket straight from the kernel's page cache.
#include <cstdint>

#include "os/Winsock.h"
#include "server/FtpSrvStream.h"

enum TSendFileResult {
    sfDone,     // the file was sent to its end
    sfWaiting,  // the socket is full; its write event comes when room is there again
    sfMore,     // a slice was sent and the socket still takes more; call again later
    sfError,    // Error holds the socket error (Winsock number)
};

// Sends from the stream's position, at most MaxSlice bytes, advancing the
// stream and BytesSent. When the socket is full the next block goes through
// the socket library's send, which arms the socket's write event unless the
// socket takes it whole.
TSendFileResult SendFileToSocket(os::SOCKET S, TFtpSrvFileStream& Stream, std::int64_t MaxSlice,
                                 std::int64_t& BytesSent, int& Error);
