#include "platform/dialogs/ExceptionHandler.h"

#include "platform/dialogs/Dialogs.h"
#include "rtl/Exception.h"

std::string ExceptionText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const rtl::Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown exception";
    }
}

void HandleException()
{
    HandleException(std::current_exception());
}

void HandleException(const std::exception_ptr& error)
{
    if (!error)
        return;
    std::string text = ExceptionText(error);
    try {
        Dialogs().ShowError(text);
    } catch (...) {
        // The error box itself failed: nothing is left that could show it.
    }
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException();
        return false;
    }
}
