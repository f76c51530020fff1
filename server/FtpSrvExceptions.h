#pragma once
// Exceptions of the server component and of its control socket.
#include <string>

#include "rtl/Exception.h"

// Raised by the server component itself (and by its file path rule).
class PortlornException : public rtl::Exception {
public:
    explicit PortlornException(const std::string& Msg) : rtl::Exception(Msg) {}
    const char* ClassName() const override { return "PortlornException"; }
};

// Raised by the control socket and its folder rule.
class EFtpCtrlSocketException : public rtl::Exception {
public:
    explicit EFtpCtrlSocketException(const std::string& Msg) : rtl::Exception(Msg) {}
    const char* ClassName() const override { return "EFtpCtrlSocketException"; }
};
