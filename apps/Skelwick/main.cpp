// Skelwick: the FTP client. The logo shows while the main window is built;
// an FTP URL as the first argument is connected once the window shows.
#include <QFileInfo>
#include <QTimer>
#include <csignal>

#include "client/ui/main/LogoWindow.h"
#include "client/ui/main/Main.h"
#include "client/ui/main/StartUp.h"
#include "os/qt/QtLoopBridge.h"
#include "os/qt/TermSignal.h"
#include "platform/dialogs/Dialogs.h"
#include "platform/dialogs/EventHandler.h"
#include "platform/dialogs/ExceptionHandler.h"

int main(int argc, char** argv)
{
    // Until the window can close and save, a SIGTERM or SIGINT waits.
    HoldTermSignals();
    // A server that drops a connection while we write must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    TApplication app(argc, argv);
    app.setApplicationName("Skelwick");
    ClientStartUp();
    const std::string programDir = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath().toStdString() + "/";

    auto logo = std::make_unique<TLogoWindow>(programDir);
    logo->show();
    app.processEvents();

    // The sockets and posted messages of the engine run between Qt's events.
    os::QtLoopBridge bridge;
    // An engine handler that threw shows the error box, as a window handler's does.
    bridge.OnHandlerException = [] { HandleException(); };
    // A handler that threw out of a pump left the next deadline unscheduled:
    // a slow guard pumps again, which schedules it anew.
    QTimer guard;
    guard.setInterval(250);
    ConnectHandler(&guard, &QTimer::timeout, &bridge, [&bridge] { bridge.Pump(); });
    guard.start();

    auto form = std::make_unique<TfmMain>(programDir);
    Dialogs().SetParentWindow(form.get());
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == TfmMain::NewSessionArgument)
            form->setWindowState(form->windowState() | Qt::WindowMaximized);
        else if (form->CommandLineUrl.empty())
            form->CommandLineUrl = argv[i];
    }
    logo.reset();

    // SIGTERM and SIGINT close the window without asking, so the settings are
    // saved; every loop ends, also that of a box open at the time.
    TfmMain* window = form.get();
    OnTermSignal(window, EventHandler([window] {
        window->CloseWithoutQuery();
        QCoreApplication::exit(0);
    }));
    form->show();
    const int code = app.exec();
    form.reset(); // saves the settings and broken lists
    return code;
}
