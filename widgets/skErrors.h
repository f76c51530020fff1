#pragma once
// The invalid-operation error the library raises for bad property values.
#include "rtl/Exception.h"

class EInvalidOperation : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    const char* ClassName() const override { return "EInvalidOperation"; }
};
