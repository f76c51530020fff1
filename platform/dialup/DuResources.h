#pragma once
// Named binary resources of a module: the string tables are built into the
// program at build time and looked up here by name (ignoring case).
#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TResourceModule {
public:
    void Add(const std::string& name, std::vector<std::uint8_t> data);
    // nullptr when the module holds no resource of that name.
    const std::vector<std::uint8_t>* Find(const std::string& name) const;

private:
    std::map<std::string, std::vector<std::uint8_t>> resources_;
};

// The program's own module: the tables built from platform/dialup/strings.
const TResourceModule& DialupResources();
