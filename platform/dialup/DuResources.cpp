#include "platform/dialup/DuResources.h"

#include "rtl/StrUtils.h"

void TResourceModule::Add(const std::string& name, std::vector<std::uint8_t> data)
{
    resources_[rtl::UpperCase(name)] = std::move(data);
}

const std::vector<std::uint8_t>* TResourceModule::Find(const std::string& name) const
{
    auto it = resources_.find(rtl::UpperCase(name));
    return it == resources_.end() ? nullptr : &it->second;
}
