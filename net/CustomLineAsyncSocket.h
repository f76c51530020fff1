#pragma once
// Line mode: the received stream cut into lines (each with its LineEnd)
// before it reaches OnDataAvailable, with optional echo and terminal-style
// editing (backspace, tab).
#include <cstdint>
#include <string>

#include "net/CustomSocksAsyncSocket.h"

class TCustomLineAsyncSocket : public TCustomSocksAsyncSocket {
public:
    TCustomLineAsyncSocket();
    ~TCustomLineAsyncSocket() override;

    bool LineMode() const { return FLineMode; }
    // A change while bytes are buffered re-delivers them from the loop.
    virtual void SetLineMode(bool Value);
    const std::string& LineEnd() const { return FLineEnd; }
    void SetLineEnd(const std::string& Value) { FLineEnd = Value; }
    bool LineEcho() const { return FLineEcho; }
    void SetLineEcho(bool Value) { FLineEcho = Value; }
    bool LineEdit() const { return FLineEdit; }
    void SetLineEdit(bool Value) { FLineEdit = Value; }

    // Bytes served from the line buffer were counted in ReadCount when they
    // came from the socket, so they are not counted again.
    int ReadBytes(void* Buffer, int BufferSize) override;

protected:
    // Edits the Len bytes just received behind the buffered ones; Len is updated.
    virtual void EditLine(int& Len);

    void DispatchWindowMessage(TMessage& MsgRec) override;
    bool FireDataAvailable(std::uint16_t Error) override;
    void FireSessionClosed(std::uint16_t Error) override;
    int RawReceive(void* Buffer, int BufferSize) override;
    std::int64_t GetRcvdCount() override;

    void WMTriggerDataAvailable(TMessage& MsgRec);
    // Offers the complete lines in the buffer from SearchFrom on.
    void DeliverLines(std::int64_t SearchFrom);
    // Offers the first Len buffered bytes until the owner took them or left
    // line mode; false when the owner read nothing (or the socket went).
    bool OfferLine(std::int64_t Len);

    bool FLineMode = false;
    std::string FLineEnd = "\r\n";
    bool FLineEcho = false;
    bool FLineEdit = false;
    std::string FRcvdPtr;          // the line buffer (its size is FRcvdCnt)
    std::int64_t FRcvdCnt = 0;     // bytes buffered
    std::int64_t FLineLength = 0;  // unread bytes of the line on offer (0: none)
    bool FLineReceivedTriggered = false;
};
