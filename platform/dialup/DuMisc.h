#pragma once
// The common parent of the dial-up components.
#include <string>

#include "rtl/Object.h"

class TDialBaseComponent : public TObject {
public:
    // Fixed; writing it changes nothing.
    std::string Version() const { return "v1.00"; }
    void SetVersion(const std::string&) {}
};
