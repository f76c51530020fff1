#pragma once
// The central exception handler: whatever a handler throws ends here and is
// shown in the error box, so no exception ever crosses the Qt event loop or a
// message handler of the os/ loop.
#include <QApplication>
#include <exception>
#include <string>

// The text of the error box for an exception.
std::string ExceptionText(const std::exception_ptr& error);
// Shows the error box for the exception being handled; call inside a catch block.
void HandleException();
void HandleException(const std::exception_ptr& error);

// Runs f; an exception from it goes to the error box. Returns whether f finished.
template <class F>
bool Guarded(F&& f)
{
    try {
        f();
        return true;
    } catch (...) {
        HandleException();
        return false;
    }
}

// The application object of both programs: every event is delivered inside
// the central handler.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
