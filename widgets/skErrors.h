#pragma once
// The errors the library raises: bad property values and operations, and
// texts that are no integer.
#include "rtl/Exception.h"

class EInvalidOperation : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    const char* ClassName() const override { return "EInvalidOperation"; }
};

class EConvertError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    const char* ClassName() const override { return "EConvertError"; }
};
