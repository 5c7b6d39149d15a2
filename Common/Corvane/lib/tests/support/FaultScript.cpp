// SPDX-License-Identifier: MIT
#include "support/FaultScript.h"

#include <functional>

namespace CorvaneTest
{

namespace
{

// splitmix64: a well-mixed 64-bit value from any input.
uint64_t Mix(uint64_t uValue)
{
    uValue += 0x9e3779b97f4a7c15ull;
    uValue = (uValue ^ (uValue >> 30)) * 0xbf58476d1ce4e5b9ull;
    uValue = (uValue ^ (uValue >> 27)) * 0x94d049bb133111ebull;
    return uValue ^ (uValue >> 31);
}

uint64_t Draw(uint64_t uSeed, const std::string& strPath, uint64_t uSalt)
{
    return Mix(Mix(uSeed) ^ Mix(std::hash<std::string>()(strPath)) ^ Mix(uSalt));
}

bool IsPackage(const std::string& strPath)
{
    return strPath.size() > 4 && strPath.compare(strPath.size() - 4, 4, ".dat") == 0;
}

} // namespace

const char* FaultName(RequestFault eFault)
{
    switch (eFault)
    {
    case RequestFault::None:
        return "none";
    case RequestFault::Status500:
        return "500";
    case RequestFault::Status503:
        return "503+Retry-After";
    case RequestFault::Status408:
        return "408";
    case RequestFault::ShortBody:
        return "short-body";
    case RequestFault::ResetMidBody:
        return "reset-mid-body";
    case RequestFault::Stall:
        return "stall";
    case RequestFault::FlipBytes:
        return "flipped-byte";
    case RequestFault::LengthTooLong:
        return "content-length-too-long";
    case RequestFault::LengthTooShort:
        return "content-length-too-short";
    case RequestFault::Trickle:
        return "trickle";
    }
    return "?";
}

std::vector<RequestFault> AllFaults()
{
    return {RequestFault::Status500, RequestFault::Status503,     RequestFault::Status408,
            RequestFault::ShortBody, RequestFault::ResetMidBody,  RequestFault::Stall,
            RequestFault::FlipBytes, RequestFault::LengthTooLong, RequestFault::LengthTooShort,
            RequestFault::Trickle};
}

FaultScript::FaultScript(FaultScriptOptions options) : m_options(std::move(options)) {}

RequestFault FaultScript::Next(const std::string& strPath)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_nRequests;
    const uint32_t uNth = m_mapSeen[strPath]++;
    if (!m_bEnabled.load())
        return RequestFault::None;
    RequestFault eFault = RequestFault::None;
    const auto script = m_options.mapScript.find(strPath);
    if (script != m_options.mapScript.end() && uNth < script->second.size())
        eFault = script->second[uNth];
    else if (!m_options.vecKinds.empty() && m_options.dShare > 0.0)
    {
        const uint64_t uValue = Draw(m_options.uSeed, strPath, uNth);
        if (static_cast<double>(uValue >> 11) * 0x1.0p-53 < m_options.dShare)
            eFault = m_options.vecKinds[(uValue & 0xffff) % m_options.vecKinds.size()];
    }
    if (eFault == RequestFault::FlipBytes && !IsPackage(strPath))
        eFault = RequestFault::None;
    if (eFault != RequestFault::None)
        m_vecCommitted.push_back(std::string(FaultName(eFault)) + " " + strPath + "#" + std::to_string(uNth));
    return eFault;
}

size_t FaultScript::FlipOffset(const std::string& strPath, size_t uSize) const
{
    return uSize == 0 ? 0 : static_cast<size_t>(Draw(m_options.uSeed, strPath, 0xf11b) % uSize);
}

std::vector<std::string> FaultScript::Committed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecCommitted;
}

uint32_t FaultScript::FaultsOn(const std::string& strPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    uint32_t uCount = 0;
    const std::string strSuffix = " " + strPath + "#";
    for (const std::string& strCommitted : m_vecCommitted)
        uCount += strCommitted.find(strSuffix) != std::string::npos ? 1 : 0;
    return uCount;
}

int FaultScript::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nRequests;
}

} // namespace CorvaneTest
