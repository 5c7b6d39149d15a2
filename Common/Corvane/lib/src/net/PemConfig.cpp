// SPDX-License-Identifier: MIT
#include "net/PemConfig.h"

#include "common/CorvaneLog.h"
#include "platform/PlatformFile.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <map>
#include <string>

namespace NSCorvane
{

namespace
{

// The parser's own English messages, by error code.
const char* ParseErrorText(rapidjson::ParseErrorCode eCode)
{
    static const char* const kTexts[] = {
        "No error.",
        "The document is empty.",
        "The document root must not be followed by other values.",
        "Invalid value.",
        "Missing a name for object member.",
        "Missing a colon after a name of object member.",
        "Missing a comma or '}' after an object member.",
        "Missing a comma or ']' after an array element.",
        "Incorrect hex digit after \\u escape in string.",
        "The surrogate pair in string is invalid.",
        "Invalid escape character in string.",
        "Missing a closing quotation mark in string.",
        "Invalid encoding in string.",
        "Number too big to be stored in double.",
        "Miss fraction part in number.",
        "Miss exponent in number.",
        "Terminate parsing due to Handler error.",
        "Unspecific syntax error.",
    };
    const unsigned uCode = static_cast<unsigned>(eCode);
    return uCode < sizeof(kTexts) / sizeof(kTexts[0]) ? kTexts[uCode] : "Unknown error.";
}

void LogReadFailure(int nLine, const std::string& strText)
{
    CorvaneUtil::ReportCheckFailure("PemConfig::Read", nLine, ("PemConfig::Read " + strText).c_str());
}

// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& strPath, std::string& strOut)
{
    if (strPath.empty())
    {
        return false;
    }
    const int nFile = CorvanePlatform::FileOpen(strPath.c_str(), CorvanePlatform::FileMode::ReadShared);
    if (nFile < 0)
    {
        return false;
    }
    bool bOk = true;
    char szChunk[16384];
    for (;;)
    {
        const int64_t nRead = CorvanePlatform::FileRead(nFile, szChunk, sizeof(szChunk));
        if (nRead <= 0)
        {
            bOk = nRead == 0;
            break;
        }
        strOut.append(szChunk, static_cast<size_t>(nRead));
    }
    CorvanePlatform::FileClose(nFile);
    return bOk;
}

const rapidjson::Value* Member(const rapidjson::Value& obj, const char* pcszName)
{
    if (!obj.IsObject())
    {
        return nullptr;
    }
    auto it = obj.FindMember(pcszName);
    return it == obj.MemberEnd() ? nullptr : &it->value;
}

// Integer keys take JSON integers only; anything else leaves the default.
template <typename T> void ReadInt(const rapidjson::Value& obj, const char* pcszName, T& out)
{
    const rapidjson::Value* pValue = Member(obj, pcszName);
    if (!pValue)
    {
        return;
    }
    if (std::numeric_limits<T>::is_signed)
    {
        if (pValue->IsInt64())
        {
            out = static_cast<T>(pValue->GetInt64());
        }
    }
    else if (pValue->IsUint64())
    {
        out = static_cast<T>(pValue->GetUint64());
    }
}

void ReadString(const rapidjson::Value& obj, const char* pcszName, std::string& out)
{
    const rapidjson::Value* pValue = Member(obj, pcszName);
    if (pValue && pValue->IsString())
    {
        out.assign(pValue->GetString(), pValue->GetStringLength());
    }
}

// A key list that is there but not understood must not turn the checks off.
bool ReadTrust(const rapidjson::Value& obj, std::vector<std::string>& vecOut)
{
    const rapidjson::Value* pValue = Member(obj, "trust");
    if (!pValue)
    {
        return true;
    }
    if (!pValue->IsArray())
    {
        return false;
    }
    for (const rapidjson::Value& entry : pValue->GetArray())
    {
        if (!entry.IsString())
        {
            return false;
        }
        vecOut.emplace_back(entry.GetString(), entry.GetStringLength());
    }
    return true;
}

} // namespace

bool PemConfig::Read(const char* pcszPath)
{
    const std::string strPath = pcszPath ? pcszPath : "";
    try
    {
        std::string strText;
        if (!ReadWholeFile(strPath, strText))
        {
            LogReadFailure(__LINE__, "open file failed, file=" + strPath);
            return false;
        }

        rapidjson::Document doc;
        doc.Parse(strText.c_str(), strText.size());
        if (doc.HasParseError())
        {
            LogReadFailure(__LINE__, "parse json failed, file=" + strPath +
                                         ", offset=" + std::to_string(doc.GetErrorOffset()) +
                                         ", error=" + ParseErrorText(doc.GetParseError()));
            return false;
        }

        if (const rapidjson::Value* pGlobal = Member(doc, "global"))
        {
            ReadInt(*pGlobal, "local", m_nLocal);
            ReadInt(*pGlobal, "remote", m_nRemote);
            ReadInt(*pGlobal, "threadcount", m_nThreadCount);
            if (!ReadTrust(*pGlobal, m_vecTrust))
            {
                LogReadFailure(__LINE__, "\"trust\" must be a list of public key strings, file=" + strPath);
                return false;
            }
        }
        if (const rapidjson::Value* pLocal = Member(doc, "local"))
        {
            ReadString(*pLocal, "dir", m_strLocalDir);
        }
        if (const rapidjson::Value* pRemote = Member(doc, "remote"))
        {
            int64_t nCount = 0;
            ReadInt(*pRemote, "count", nCount);
            // Entries "0" to count-1 in index order, a missing one skipped. Walk
            // the keys that exist rather than every index: a huge "count" must
            // not turn into billions of lookups.
            std::map<int64_t, const rapidjson::Value*> mapEntries;
            if (pRemote->IsObject())
            {
                for (auto it = pRemote->MemberBegin(); it != pRemote->MemberEnd(); ++it)
                {
                    const std::string strKey(it->name.GetString(), it->name.GetStringLength());
                    const bool bCanonical = !strKey.empty() && strKey.size() <= 18 &&
                                            strKey.find_first_not_of("0123456789") == std::string::npos &&
                                            (strKey == "0" || strKey[0] != '0');
                    if (!bCanonical)
                    {
                        continue;
                    }
                    const int64_t nIndex = std::stoll(strKey);
                    if (nIndex < nCount)
                    {
                        mapEntries.emplace(nIndex, &it->value); // the first of duplicate keys wins
                    }
                }
            }
            for (const auto& [nIndex, pEntry] : mapEntries)
            {
                if (!pEntry->IsObject())
                {
                    continue;
                }
                CorvaneRemoteInfo info;
                ReadString(*pEntry, "url", info.strUrl);
                ReadString(*pEntry, "dir", info.strDir);
                ReadInt(*pEntry, "cache", info.uCache);
                ReadInt(*pEntry, "limitspeed", info.uLimitSpeed);
                ReadString(*pEntry, "cabundle", info.strCaBundle);
                ReadInt(*pEntry, "stalltimeout", info.uStallSeconds);
                ReadInt(*pEntry, "range", info.uRange);
                ReadInt(*pEntry, "connections", info.uConnections);
                info.uConnections = std::clamp<uint32_t>(info.uConnections, 1, 64);
                m_vecRemote.push_back(std::move(info));
            }
        }
        return true;
    }
    catch (const std::exception& e)
    {
        LogReadFailure(__LINE__, std::string("failed, file=") + strPath + ", error=" + e.what());
        return false;
    }
}

} // namespace NSCorvane
