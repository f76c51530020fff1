#pragma once
// Drives the GUI thread's os/ message loop from Qt's event loop through the
// os/ bridge, so the server component's sockets and posted messages run
// between Qt's events.
#include <memory>

class QObject;

class TMessagePump {
public:
    TMessagePump();
    ~TMessagePump();
    TMessagePump(const TMessagePump&) = delete;
    TMessagePump& operator=(const TMessagePump&) = delete;

private:
    std::unique_ptr<QObject> driver_;
};
