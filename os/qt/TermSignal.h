#pragma once
// SIGTERM and SIGINT as a Qt event: the signal handler only writes a byte to
// a pipe, and a notifier on the pipe runs the handler from the event loop, so
// a program can close its window (and save) as its Quit does.
#include <functional>

class QObject;

// Holds SIGTERM and SIGINT back until OnTermSignal has set up their handling:
// one that comes while the program starts then ends it as one after start-up
// does, its settings saved, instead of killing it outright. Call first thing
// in main, before any thread starts, so that every thread holds them too.
void HoldTermSignals();
// Installs the handlers for SIGTERM and SIGINT, then lets held signals in;
// handler runs on the thread of context's event loop, once per burst of
// signals. Call once per program. Wrap handler so that no exception leaves it.
void OnTermSignal(QObject* context, std::function<void()> handler);
