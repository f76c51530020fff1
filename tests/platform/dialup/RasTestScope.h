#pragma once
// Installs a scripted remote access service (and scripted message boxes) for
// a test's lifetime, and pumps the thread's message loop that carries the
// service's notifications.
#include <functional>
#include <memory>

#include "os/MessageLoop.h"
#include "platform/dialogs/ScriptedDialogs.h"
#include "tests/platform/dialup/RasSimulation.h"

class TRasTestScope {
public:
    TRasTestScope()
    {
        auto sim = std::make_unique<TRasSimulation>();
        ras = sim.get();
        previous_ = SetRasService(std::move(sim));
    }
    ~TRasTestScope() { SetRasService(std::move(previous_)); }
    TRasTestScope(const TRasTestScope&) = delete;
    TRasTestScope& operator=(const TRasTestScope&) = delete;

    // Two entries: "Home" (nothing saved) and "Work" (all saved), and the
    // service's texts of two dial errors.
    void SetUpPhonebook()
    {
        TRasSimulation::TEntry work;
        work.Name = "Work";
        work.Saved.PhoneNumber = "5551234";
        work.Saved.UserName = "jo";
        work.Saved.Password = "secret";
        work.Saved.Domain = "office";
        ras->Phonebook = {{"Home", {}, false}, work};
        ras->ErrorTexts[676] = "Line busy";
        ras->ErrorTexts[633] = "Port in use";
    }

    // Runs what is queued now.
    static void Pump() { os::MessageLoop::ForThisThread().ProcessMessages(); }
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000)
    {
        return os::MessageLoop::ForThisThread().WaitUntil(done, ms);
    }

    TRasSimulation* ras = nullptr;
    TScriptedDialogsScope dialogs;

private:
    std::unique_ptr<TRasService> previous_;
};
