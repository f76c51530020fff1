// Dialling before a connect when the network is reached through a modem, the
// dialer's events passed on to the dial-up dialog, and the hang-up at exit.
#include "client/ui/main/Main.h"

#include "client/ui/main/MainCommon.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialup/DialUP.h"
#include "platform/dialup/DuExcept.h"
#include "platform/dialup/DuRas.h"

using namespace mainwin;

void TfmMain::WireDialer()
{
    RasDialer1 = std::make_unique<TRasDialer>();
    RasDialer1->DialMode = dmAsync;
    // The window hangs up itself at exit, when the settings say so.
    RasDialer1->HangupOnDestroy = false;
    RasDialer1->CompressionMode = cmDefault;
    RasDialer1->SpeakerMode = smDefault;
    RasDialer1->DialOptions = 0;
    RasDialer1->OnConnected = [this](TObject*) {
        if (FDialUp) FDialUp->RasConnected();
    };
    RasDialer1->OnDialError = [this](TObject*, int error) {
        if (FDialUp) FDialUp->RasDialError(error);
    };
    RasDialer1->OnDialStatus = [this](TObject*, int state) {
        if (FDialUp) FDialUp->RasDialStatus(state);
    };
    RasDialer1->OnDisconnected = [this](TObject*) {
        if (FDialUp) FDialUp->RasDisconnected();
    };
}

bool TfmMain::DialUpBeforeConnect()
{
    if (FSettings.DialUPType != 1) return true;
    try {
        if (RasDialer1->QueryConnectState() != 0) return true;
        TDialUpOptions o;
        o.Index = FSettings.DialUPIndex;
        o.ShowAuth = FSettings.DialUPShowAuth;
        o.ShowError = FSettings.DialUPShowError;
        o.RetryTimes = FSettings.DialUPRetryTimes;
        o.RetrySpan = FSettings.DialUPRetrySpan;
        o.DrawAttention = [this] { DrawAttention(); };
        TfmDialUP dial(*RasDialer1, o, this);
        FDialUp = &dial;
        dial.exec();
        FDialUp = nullptr;
        return dial.Connected();
    } catch (const ERasLoadFail& e) {
        FDialUp = nullptr;
        // No remote access service on this system: the network is reached
        // without dialling, so say so and connect as over a LAN.
        Dialogs().MessageBox(e.what(), ApplicationTitle(), MB_OK | MB_ICONWARNING);
        return true;
    }
}

void TfmMain::HangUpAtExit()
{
    if (FSettings.DialUPType != 1 || !FSettings.DialUPDisconnect || !RasDialer1) return;
    // The window's own dialer knows the line it dialled; a line this program
    // did not dial (another program's, even of the same entry) stays up.
    Guarded([this] {
        if (RasDialer1->Connection() != 0) RasDialer1->HangUpConnection();
    });
}
