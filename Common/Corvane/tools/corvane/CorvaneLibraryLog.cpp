// SPDX-License-Identifier: MIT
#include "CorvaneLibraryLog.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>

namespace
{

const char kCheckPrefix[] = "PROCESS_ERROR failed. ";
const char kCondition[] = " condition=";
// Enough to name every offender the library names, not a flood.
constexpr size_t kMaxReasons = 25;

// "function=... line=N" and the condition of one error record; false for other lines.
bool SplitRecord(const std::string& strLine, std::string& strWhere, std::string& strCondition)
{
    if (strLine.compare(0, sizeof(kCheckPrefix) - 1, kCheckPrefix) != 0)
    {
        return false;
    }
    const size_t uCondition = strLine.find(kCondition);
    if (uCondition == std::string::npos)
    {
        return false;
    }
    strWhere = strLine.substr(sizeof(kCheckPrefix) - 1, uCondition - (sizeof(kCheckPrefix) - 1));
    strCondition = strLine.substr(uCondition + sizeof(kCondition) - 1);
    while (!strCondition.empty() && (strCondition.back() == '\r' || strCondition.back() == '\n'))
    {
        strCondition.pop_back();
    }
    return true;
}

uint64_t FileEnd(const std::string& strPath)
{
    std::ifstream log(strPath, std::ios::binary | std::ios::ate);
    if (!log)
    {
        return 0;
    }
    const std::streamoff nEnd = log.tellg();
    return nEnd > 0 ? static_cast<uint64_t>(nEnd) : 0;
}

bool IsWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

} // namespace

bool IsReadableReason(const std::string& strCondition)
{
    // Judged on the words before the first ": ", which may be followed by a
    // path or a server's text that contains anything; so may a 'quoted' name.
    const std::string strHead = strCondition.substr(0, strCondition.find(": "));
    bool bWords = false;
    bool bQuoted = false;
    for (size_t i = 0; i < strHead.size(); ++i)
    {
        const char c = strHead[i];
        if (c == '\'' || bQuoted)
        {
            bQuoted = bQuoted != (c == '\'');
            continue;
        }
        if (c == '(' && i > 0 && (IsWordChar(strHead[i - 1]) || strHead[i - 1] == '_'))
        {
            return false; // a call
        }
        if (std::strchr("_[]{}<>;&|!*~^\\", c) ||
            (c == ':' && i + 1 < strHead.size() && strHead[i + 1] == ':') ||
            (c == '-' && i + 1 < strHead.size() && strHead[i + 1] == '>'))
        {
            return false;
        }
        // Two words side by side: "read failed", "not a".
        bWords =
            bWords || (c == ' ' && i > 0 && std::isalpha(static_cast<unsigned char>(strHead[i - 1])) &&
                       i + 1 < strHead.size() && std::isalpha(static_cast<unsigned char>(strHead[i + 1])));
    }
    return bWords;
}

LibraryLogMark::LibraryLogMark(std::string strPath) : m_strPath(std::move(strPath))
{
    Advance();
}

void LibraryLogMark::Advance()
{
    m_uOffset = FileEnd(m_strPath);
}

bool LibraryLogMark::HasNewLines() const
{
    return FileEnd(m_strPath) > m_uOffset;
}

std::vector<std::string> LibraryLogMark::FirstFailure() const
{
    std::vector<std::string> vecReason;
    std::ifstream log(m_strPath, std::ios::binary);
    if (!log || !log.seekg(static_cast<std::streamoff>(m_uOffset)))
    {
        return vecReason;
    }
    std::string strFirstWhere;
    std::string strLine;
    std::string strWhere;
    std::string strCondition;
    while (std::getline(log, strLine) && vecReason.size() < kMaxReasons)
    {
        if (!SplitRecord(strLine, strWhere, strCondition))
        {
            continue;
        }
        if (strFirstWhere.empty())
        {
            strFirstWhere = strWhere;
        }
        if (strWhere == strFirstWhere && IsReadableReason(strCondition) &&
            std::find(vecReason.begin(), vecReason.end(), strCondition) == vecReason.end())
        {
            vecReason.push_back(strCondition);
        }
    }
    return vecReason;
}
