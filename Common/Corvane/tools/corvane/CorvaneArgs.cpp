// SPDX-License-Identifier: MIT
#include "CorvaneArgs.h"

#include <limits>

std::string ParsedArgs::Value(const std::string& strName, const std::string& strDefault) const
{
    auto it = m_mapValues.find(strName);
    return it == m_mapValues.end() || it->second.empty() ? strDefault : it->second.back();
}

const std::vector<std::string>& ParsedArgs::Values(const std::string& strName) const
{
    static const std::vector<std::string> s_vecNone;
    auto it = m_mapValues.find(strName);
    return it == m_mapValues.end() ? s_vecNone : it->second;
}

bool ParseArgs(const std::vector<std::string>& vecArgs, const std::vector<OptionSpec>& vecSpecs,
               ParsedArgs& args, std::string& strError)
{
    args = ParsedArgs();
    bool bOptionsEnded = false;
    for (size_t i = 0; i < vecArgs.size(); ++i)
    {
        const std::string& strArg = vecArgs[i];
        if (bOptionsEnded || strArg.size() < 2 || strArg[0] != '-')
        {
            args.m_vecPositional.push_back(strArg);
            continue;
        }
        if (strArg == "--")
        {
            bOptionsEnded = true;
            continue;
        }
        std::string strName = strArg;
        std::string strInline;
        bool bHasInline = false;
        const size_t uEqual = strArg.find('=');
        if (strArg.compare(0, 2, "--") == 0 && uEqual != std::string::npos)
        {
            strName = strArg.substr(0, uEqual);
            strInline = strArg.substr(uEqual + 1);
            bHasInline = true;
        }
        const OptionSpec* pSpec = nullptr;
        for (const OptionSpec& option : vecSpecs)
        {
            if (strName == option.pszName)
            {
                pSpec = &option;
                break;
            }
        }
        if (!pSpec)
        {
            strError = "unknown option '" + strName + "'";
            return false;
        }
        if (!pSpec->bRepeat && args.Has(strName))
        {
            strError = "option '" + strName + "' given more than once";
            return false;
        }
        std::vector<std::string>& vecValues = args.m_mapValues[strName];
        if (!pSpec->bValue)
        {
            if (bHasInline)
            {
                strError = "option '" + strName + "' takes no value";
                return false;
            }
            vecValues.emplace_back();
            continue;
        }
        if (bHasInline)
        {
            vecValues.push_back(strInline);
        }
        else if (i + 1 < vecArgs.size())
        {
            vecValues.push_back(vecArgs[++i]);
        }
        else
        {
            strError = "option '" + strName + "' needs a value";
            return false;
        }
    }
    return true;
}

bool ParseUInt64(const std::string& strText, uint64_t& uValue)
{
    if (strText.empty() || strText.size() > 20)
    {
        return false;
    }
    uint64_t uResult = 0;
    for (char c : strText)
    {
        if (c < '0' || c > '9')
        {
            return false;
        }
        const uint64_t uDigit = static_cast<uint64_t>(c - '0');
        if (uResult > (std::numeric_limits<uint64_t>::max() - uDigit) / 10)
        {
            return false;
        }
        uResult = uResult * 10 + uDigit;
    }
    uValue = uResult;
    return true;
}

bool ParseUInt32(const std::string& strText, uint32_t& uValue)
{
    uint64_t uWide = 0;
    if (!ParseUInt64(strText, uWide) || uWide > std::numeric_limits<uint32_t>::max())
    {
        return false;
    }
    uValue = static_cast<uint32_t>(uWide);
    return true;
}
