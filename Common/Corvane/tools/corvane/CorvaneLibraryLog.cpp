// SPDX-License-Identifier: MIT
#include "CorvaneLibraryLog.h"

#include <fstream>

namespace
{

const char kLogFile[] = "PemCorvane.log";
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

} // namespace

LibraryLogMark::LibraryLogMark()
{
    std::ifstream log(kLogFile, std::ios::binary | std::ios::ate);
    if (log)
    {
        const std::streamoff nEnd = log.tellg();
        m_uOffset = nEnd > 0 ? static_cast<uint64_t>(nEnd) : 0;
    }
}

std::vector<std::string> LibraryLogMark::FirstFailure() const
{
    std::vector<std::string> vecReason;
    std::ifstream log(kLogFile, std::ios::binary);
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
        if (strWhere == strFirstWhere)
        {
            vecReason.push_back(strCondition);
        }
    }
    return vecReason;
}
