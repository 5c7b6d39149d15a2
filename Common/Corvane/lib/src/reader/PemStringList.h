// SPDX-License-Identifier: MIT
#pragma once

#include <Corvane/IPemCorvaneReader.h>

#include <string>
#include <vector>

namespace NSCorvane
{

class PemStringList final : public IStringList
{
public:
    PemStringList() = default;
    explicit PemStringList(std::vector<std::string> vecValues) : m_vecValues(std::move(vecValues)) {}

    void Release() override { delete this; }
    uint32_t Count() override { return static_cast<uint32_t>(m_vecValues.size()); }
    const char* Get(uint32_t uIndex) override
    {
        return uIndex < m_vecValues.size() ? m_vecValues[uIndex].c_str() : nullptr;
    }
    void Add(const char* pcszValue) override { m_vecValues.emplace_back(pcszValue ? pcszValue : ""); }

private:
    std::vector<std::string> m_vecValues;
};

} // namespace NSCorvane
