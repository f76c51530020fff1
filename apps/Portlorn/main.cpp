// Portlorn: the FTP server program. One window; closing it ends the program.
#include <QFileInfo>
#include <csignal>

#include "os/qt/TermSignal.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/ExceptionHandler.h"
#include "server/ui/FtpServ1.h"
#include "server/ui/MessagePump.h"

int main(int argc, char** argv)
{
    // Until the window can close and save, a SIGTERM or SIGINT waits.
    HoldTermSignals();
    // A client that resets a connection while the server writes to it must
    // never end the program: the write fails with an error instead.
    std::signal(SIGPIPE, SIG_IGN);
    TApplication app(argc, argv);
    app.setApplicationName("Portlorn");
    // The window may hide in the tray: only closing the window ends the program.
    app.setQuitOnLastWindowClosed(false);
    SetApplicationTitle("Quenlow");
    TMessagePump pump;

    const QFileInfo program(QCoreApplication::applicationFilePath());
    TPortlornForm form(program.absolutePath().toStdString(), program.fileName().toStdString());
    if (form.AlreadyRunning())
        return 0; // the first copy was told and comes forward; this one shows nothing
    // Every loop ends, also that of a box still open when the window closed (a SIGTERM, say).
    form.OnClose = [] { QCoreApplication::exit(0); };

    // SIGTERM and SIGINT close the window as Quit does, so the settings are saved.
    OnTermSignal(&form, EventHandler([&form] { form.close(); }));
    form.show();
    return app.exec();
}
