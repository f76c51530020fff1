#pragma once
#include <stdexcept>
#include <string>

namespace rtl {

// Base of every exception the system raises on purpose; handlers that turn
// exceptions into messages catch this one.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
    // The class name shown where a text carries "class name, blank, message".
    virtual const char* ClassName() const { return "Exception"; }
};

} // namespace rtl
