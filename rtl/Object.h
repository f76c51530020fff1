#pragma once

namespace rtl {

// Common base of components, so events can name their sender.
class TObject {
public:
    virtual ~TObject() = default;
};

} // namespace rtl

using rtl::TObject;
