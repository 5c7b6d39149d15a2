// SPDX-License-Identifier: MIT
#include "support/LogCapture.h"

#include "common/CorvaneLog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

namespace CorvaneTest
{

LogCapture::LogCapture()
{
    char szCwd[PATH_MAX];
    if (::getcwd(szCwd, sizeof(szCwd)))
    {
        m_strOldCwd = szCwd;
    }
    if (::chdir(m_dir.Path().c_str()) != 0)
    {
        ADD_FAILURE() << "chdir failed";
    }
    CorvaneUtil::SetLogPath(nullptr);
    CorvaneUtil::ResetLogFile();
    CorvaneUtil::SetErrorLogHook(&CorvaneUtil::DefaultErrorLogHook);
}

LogCapture::~LogCapture()
{
    CorvaneUtil::SetErrorLogHook(nullptr);
    if (!m_strOldCwd.empty() && ::chdir(m_strOldCwd.c_str()) != 0)
    {
        ADD_FAILURE() << "chdir back failed";
    }
}

std::string LogCapture::Text() const
{
    const std::vector<unsigned char> vecBytes = ReadFileBytes(m_dir / CorvaneUtil::kLogFileName);
    return std::string(vecBytes.begin(), vecBytes.end());
}

std::string LogCapture::ProblemText() const
{
    static const std::string s_strNotice =
        "The store is not signed; files are checked for integrity only\r\n";
    std::string strText = Text();
    for (size_t uAt = strText.find(s_strNotice); uAt != std::string::npos;
         uAt = strText.find(s_strNotice, uAt))
    {
        strText.erase(uAt, s_strNotice.size());
    }
    return strText;
}

void LogCapture::Clear()
{
    CorvaneUtil::ResetLogFile();
}

} // namespace CorvaneTest
