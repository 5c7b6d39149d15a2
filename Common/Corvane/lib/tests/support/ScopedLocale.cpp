// SPDX-License-Identifier: MIT
#include "support/ScopedLocale.h"

#include <clocale>
#include <cstdlib>

namespace CorvaneTest
{

ScopedLocale::ScopedLocale(const std::string& strName)
{
    const char* pcszOld = std::setlocale(LC_ALL, nullptr);
    m_strOld = pcszOld ? pcszOld : "C";
    if (std::setlocale(LC_ALL, strName.c_str()))
    {
        m_bActive = true;
        return;
    }
    const size_t uDot = strName.find('.');
    if (uDot == std::string::npos)
    {
        m_strWhy = "locale " + strName + " is not installed and its name has no character map";
        return;
    }
    m_pCompiled = std::make_unique<TempDir>();
    const std::string strCommand = "localedef -c -i '" + strName.substr(0, uDot) + "' -f '" +
                                   strName.substr(uDot + 1) + "' '" + (*m_pCompiled / strName) +
                                   "' >/dev/null 2>&1";
    const int nRet = std::system(strCommand.c_str());
    if (!FileExists(*m_pCompiled / (strName + "/LC_CTYPE")))
    {
        m_strWhy = "locale " + strName + " is not installed and `" + strCommand + "` failed (" +
                   std::to_string(nRet) + "); scripts/setup-deps.sh installs it";
        return;
    }
    if (const char* pcszLocPath = std::getenv("LOCPATH"))
    {
        m_strOldLocPath = pcszLocPath;
        m_bHadLocPath = true;
    }
    ::setenv("LOCPATH", m_pCompiled->Path().c_str(), 1);
    m_bSetLocPath = true;
    if (std::setlocale(LC_ALL, strName.c_str()))
    {
        m_bActive = true;
        return;
    }
    m_strWhy = "locale " + strName + " compiled into " + m_pCompiled->Path() + " but setlocale refused it";
}

ScopedLocale::~ScopedLocale()
{
    std::setlocale(LC_ALL, m_strOld.c_str());
    if (m_bSetLocPath && m_bHadLocPath)
    {
        ::setenv("LOCPATH", m_strOldLocPath.c_str(), 1);
    }
    else if (m_bSetLocPath)
    {
        ::unsetenv("LOCPATH");
    }
}

} // namespace CorvaneTest
