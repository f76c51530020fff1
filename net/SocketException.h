#pragma once
#include <string>

#include "rtl/Exception.h"

// Raised by the socket component, the socket library loader and the resolvers.
class ESocketException : public rtl::Exception {
public:
    explicit ESocketException(const std::string& Msg) : rtl::Exception(Msg) {}
    const char* ClassName() const override { return "ESocketException"; }
};
