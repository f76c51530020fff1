#pragma once
// One running copy per name: the first copy claims the name and listens on a
// local socket of that name; a later copy finds it there, tells it so and
// learns that it must end. A copy that died leaves no lock behind: its socket
// file no longer answers and is taken over.
#include <functional>
#include <memory>
#include <string>

#include "rtl/Object.h"

class QLocalServer;

class TSingleInstance : public TObject {
public:
    TSingleInstance();
    ~TSingleInstance() override;

    // True when this copy now holds the name; false when another copy holds
    // it (that copy has been sent a message).
    bool Claim(const std::string& name);
    void Release();
    bool Claimed() const;

    // Fired in the holder when a later copy knocked.
    std::function<void(TObject* Sender)> OnMessage;

    // A short socket name for a longer key (a program folder, say).
    static std::string NameFor(const std::string& prefix, const std::string& key);

private:
    std::unique_ptr<QLocalServer> server_;
};
