#pragma once
// TStringResource reads a string table ("STR0" layout) of a resource module.
// Every offset and length is checked against the table's size when it is
// opened, so a damaged table is refused whole rather than read past its end.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialup/DuResources.h"
#include "rtl/Exception.h"

class EStringResourceError : public rtl::Exception {
public:
    using rtl::Exception::Exception;
    const char* ClassName() const override { return "EStringResourceError"; }
};

class TStringResource {
public:
    // Finds the named table in module, else in the program's own module.
    // Raises EStringResourceError when it is missing or damaged.
    TStringResource(const TResourceModule& module, const std::string& resourceName);

    // The text of an identifier, UTF-8; empty when the table has none (or,
    // with RaiseOnMissing, EStringResourceError "String not found: <id>").
    std::string GetString(std::uint32_t identifier) const;

    bool RaiseOnMissing() const { return raiseOnMissing_; }
    void SetRaiseOnMissing(bool value) { raiseOnMissing_ = value; }
    const std::string& ResourceName() const { return name_; }

private:
    struct Entry {
        std::uint32_t identifier;
        std::uint32_t offset;
        std::uint32_t length; // UTF-16 code units
    };
    std::string name_;
    const std::vector<std::uint8_t>* data_ = nullptr;
    std::vector<Entry> entries_;
    bool raiseOnMissing_ = false;
};

// The reader's own messages (table "DUSTRRES_STRINGS"), with "%d" or "%s"
// replaced by argument; only the first such mark is replaced.
std::string DuStrResMessage(std::uint32_t identifier, const std::string& argument);
