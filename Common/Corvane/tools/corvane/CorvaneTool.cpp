// SPDX-License-Identifier: MIT
#include "CorvaneTool.h"

#include "platform/ToolPlatform.h"

#include <cstdio>
#include <cstdlib>

namespace
{

const char kLogName[] = "PemCorvane.log";

// The library of this run and the end of its log at its last reported
// failure, for FailInLibrary: one run, one library.
struct LibraryFailures
{
    CorvaneLibrary* pLibrary = nullptr;
    std::unique_ptr<LibraryLogMark> pMark;
};

LibraryFailures& Failures()
{
    static LibraryFailures s_failures;
    return s_failures;
}

} // namespace

ToolContext::~ToolContext()
{
    if (Failures().pLibrary == &m_library)
    {
        Failures().pLibrary = nullptr;
        Failures().pMark.reset();
    }
}

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
        else
        {
            Failures().pLibrary = &m_library;
            Failures().pMark.reset(new LibraryLogMark(m_library.LogPath()));
        }
    }
    return m_bLoaded ? &m_library : nullptr;
}

std::string LibraryLogPath(const std::string& strCommand, const ParsedArgs& args)
{
    if (strCommand == "pack" && !args.Value("--store").empty())
    {
        return CorvaneToolPlatform::AbsolutePath(args.Value("--store")) + "/_tmp/" + kLogName;
    }
    return CorvaneToolPlatform::UserStateDir() + "/" + kLogName;
}

int Fail(const std::string& strText)
{
    std::fprintf(stderr, "corvane: %s\n", strText.c_str());
    return kExitFailure;
}

int FailInLibrary(const std::string& strText, LoggedReasons eLogged)
{
    LibraryFailures& failures = Failures();
    if (!failures.pLibrary || !failures.pMark)
    {
        return Fail(strText);
    }
    const std::string strSystem = failures.pLibrary->TakeLastFailure();
    if (!strSystem.empty())
    {
        Fail(strSystem);
    }
    else if (eLogged == LoggedReasons::Print)
    {
        for (const std::string& strReason : failures.pMark->FirstFailure())
        {
            Fail(strReason);
        }
    }
    const bool bLogged = failures.pMark->HasNewLines();
    failures.pMark->Advance();
    return Fail(bLogged ? strText + " (details in " + failures.pMark->Path() + ")" : strText);
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
