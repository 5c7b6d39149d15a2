// SPDX-License-Identifier: MIT
#include "CorvaneTool.h"

#include <cstdio>
#include <cstdlib>

CorvaneLibrary* ToolContext::Library()
{
    if (!m_bTried)
    {
        m_bTried = true;
        std::string strError;
        m_bLoaded = m_library.Load(strError);
        if (!m_bLoaded)
        {
            Fail(strError);
        }
    }
    return m_bLoaded ? &m_library : nullptr;
}

int Fail(const std::string& strText)
{
    std::fprintf(stderr, "corvane: %s\n", strText.c_str());
    return kExitFailure;
}

int FailInLibrary(const std::string& strText)
{
    // The library records the failed check in its log in the current directory.
    return Fail(strText + " (details in PemCorvane.log)");
}

int FailUsage(const char* pcszCommand, const std::string& strText)
{
    if (pcszCommand)
    {
        std::fprintf(stderr, "corvane: %s (see 'corvane %s --help')\n", strText.c_str(), pcszCommand);
    }
    else
    {
        std::fprintf(stderr, "corvane: %s (see 'corvane --help')\n", strText.c_str());
    }
    return kExitUsage;
}

void ExitLeavingMemory(int nExit)
{
    const bool bFlushed = std::fflush(stdout) == 0;
    std::fflush(stderr);
    std::_Exit(bFlushed ? nExit : kExitFailure);
}
