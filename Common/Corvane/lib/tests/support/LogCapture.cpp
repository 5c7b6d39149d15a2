// SPDX-License-Identifier: MIT
#include "support/LogCapture.h"

#include "common/CorvaneLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace CorvaneTest
{

LogCapture::LogCapture()
{
    std::error_code ec;
    m_strOldCwd = std::filesystem::current_path(ec).string();
    std::filesystem::current_path(m_dir.Path(), ec);
    if (ec)
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
    std::error_code ec;
    if (!m_strOldCwd.empty())
    {
        std::filesystem::current_path(m_strOldCwd, ec);
    }
    if (ec)
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
