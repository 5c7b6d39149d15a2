// SPDX-License-Identifier: MIT
#include "CorvaneLibrary.h"

#include "platform/ToolPlatform.h"

#include <algorithm>
#include <cstdio>

namespace
{

template <typename Fn> Fn Resolve(void* hLibrary, const char* pcszName)
{
    return reinterpret_cast<Fn>(CorvaneToolPlatform::FindSymbol(hLibrary, pcszName));
}

} // namespace

CorvaneLibrary::~CorvaneLibrary()
{
    if (m_bInitialised && m_pfnUnInit)
    {
        m_pfnUnInit();
    }
    // The library stays loaded until the process ends, as in every caller: its
    // per-thread codec contexts and HTTP state must not outlive their code.
}

bool CorvaneLibrary::Load(std::string& strError)
{
    if (m_bInitialised)
    {
        return true;
    }
    // Always the copy deployed beside the tool, never one found on a search path.
    const std::string strDir = CorvaneToolPlatform::ExecutableDir();
    if (strDir.empty())
    {
        strError = "cannot find the directory of the corvane executable";
        return false;
    }
    const std::string strPath = strDir + "/" + CorvaneToolPlatform::kLibraryFile;
    std::string strReason;
    m_hLibrary = CorvaneToolPlatform::OpenLibrary(strPath, strReason);
    if (!m_hLibrary)
    {
        strError = "cannot load " + strPath + ": " + strReason;
        return false;
    }
    m_pfnInit = Resolve<PFN_g_InitCorvaneManager>(m_hLibrary, "g_InitCorvaneManager");
    m_pfnUnInit = Resolve<PFN_g_UnInitCorvaneManager>(m_hLibrary, "g_UnInitCorvaneManager");
    m_pfnNewReader = Resolve<PFN_g_NewCorvaneReader>(m_hLibrary, "g_NewCorvaneReader");
    // Optional: a reader-only build of the library serves every command but pack.
    m_pfnNewPacker = Resolve<PFN_g_NewCorvanePacker>(m_hLibrary, "g_NewCorvanePacker");
    // Optional too: only --config needs it.
    m_pfnNewReaderByConfig =
        Resolve<PFN_g_NewCorvaneReaderByConfig>(m_hLibrary, "g_NewCorvaneReaderByConfig");
    m_pfnSetPackerFlags = Resolve<PFN_g_SetCorvanePackerFlags>(m_hLibrary, "g_SetCorvanePackerFlags");
    m_pfnSetPackerNotes = Resolve<PFN_g_SetCorvanePackerNotes>(m_hLibrary, "g_SetCorvanePackerNotes");
    m_pfnGetPackSummary = Resolve<PFN_g_GetCorvanePackSummary>(m_hLibrary, "g_GetCorvanePackSummary");
    // Optional as well: an older library logs to the current directory and
    // keeps no reasons.
    m_pfnSetLogPath = Resolve<PFN_g_SetCorvaneLogPath>(m_hLibrary, "g_SetCorvaneLogPath");
    m_pfnGetLastFailure = Resolve<PFN_g_GetCorvaneLastFailure>(m_hLibrary, "g_GetCorvaneLastFailure");
    // Optional: without a fetch plan, packages are fetched one request each.
    m_pfnPlanFetch = Resolve<PFN_g_PlanCorvaneFetch>(m_hLibrary, "g_PlanCorvaneFetch");
    m_pfnGetFetchProgress = Resolve<PFN_g_GetCorvaneFetchProgress>(m_hLibrary, "g_GetCorvaneFetchProgress");
    // Optional: an older library has no signed stores.
    m_pfnCreateKey = Resolve<PFN_g_CreateCorvaneKey>(m_hLibrary, "g_CreateCorvaneKey");
    m_pfnSignVersion = Resolve<PFN_g_SignCorvaneVersion>(m_hLibrary, "g_SignCorvaneVersion");
    m_pfnNewReaderTrusted = Resolve<PFN_g_NewCorvaneReaderTrusted>(m_hLibrary, "g_NewCorvaneReaderTrusted");
    m_pfnGetTrustState = Resolve<PFN_g_GetCorvaneTrustState>(m_hLibrary, "g_GetCorvaneTrustState");
    if (!m_pfnInit || !m_pfnUnInit || !m_pfnNewReader)
    {
        strError = strPath + " lacks the store entry points";
        return false;
    }
    // Before init, which clears an earlier run's log at that path.
    if (m_pfnSetLogPath && !m_strLogPath.empty() && !m_pfnSetLogPath(m_strLogPath.c_str()))
    {
        strError = "the store library refused the log path " + m_strLogPath;
        return false;
    }
    m_bInitialised = m_pfnInit(nullptr, nullptr);
    if (!m_bInitialised)
    {
        strError = "the store library failed to initialise";
    }
    return m_bInitialised;
}

std::string CorvaneLibrary::LogPath() const
{
    static const char kDefaultLog[] = "PemCorvane.log";
    if (m_hLibrary && !m_pfnSetLogPath)
    {
        return kDefaultLog;
    }
    return m_strLogPath.empty() ? std::string(kDefaultLog) : m_strLogPath;
}

std::string CorvaneLibrary::TakeLastFailure()
{
    char szLine[2048] = {};
    if (!m_bInitialised || !m_pfnGetLastFailure || !m_pfnGetLastFailure(szLine, sizeof(szLine)))
    {
        return std::string();
    }
    return szLine;
}

bool CorvaneLibrary::NewReader(const std::string& strStoreDir, uint32_t uVersion,
                               NSCorvane::IPemCorvaneReader** ppReader)
{
    return m_bInitialised && m_pfnNewReader(ppReader, strStoreDir.c_str(), uVersion);
}

bool CorvaneLibrary::NewReaderByConfig(const std::string& strConfigFile, uint32_t uVersion,
                                       NSCorvane::IPemCorvaneReader** ppReader)
{
    return m_bInitialised && m_pfnNewReaderByConfig &&
           m_pfnNewReaderByConfig(ppReader, strConfigFile.c_str(), uVersion);
}

bool CorvaneLibrary::NewPacker(NSCorvane::IPemCorvanePacker** ppPacker)
{
    return m_bInitialised && m_pfnNewPacker && m_pfnNewPacker(ppPacker);
}

bool CorvaneLibrary::SetPackerFlags(NSCorvane::IPemCorvanePacker* pPacker, uint32_t uFlags)
{
    return m_pfnSetPackerFlags && m_pfnSetPackerFlags(pPacker, uFlags);
}

bool CorvaneLibrary::SetPackerNotes(NSCorvane::IPemCorvanePacker* pPacker,
                                    NSCorvane::PFN_CorvanePackNote pfnNote, void* pvContext)
{
    return m_pfnSetPackerNotes && m_pfnSetPackerNotes(pPacker, pfnNote, pvContext);
}

bool CorvaneLibrary::GetPackSummary(NSCorvane::IPemCorvanePacker* pPacker,
                                    NSCorvane::CORVANE_PACK_SUMMARY* pSummary)
{
    return m_pfnGetPackSummary && m_pfnGetPackSummary(pPacker, pSummary);
}

bool CorvaneLibrary::PlanFetch(NSCorvane::IPemCorvaneReader* pReader,
                               const std::vector<std::string>& vecPaths, uint32_t uFlags)
{
    if (!m_bInitialised || !m_pfnPlanFetch)
    {
        return false;
    }
    std::vector<const char*> vecC;
    vecC.reserve(vecPaths.size());
    for (const std::string& strPath : vecPaths)
    {
        vecC.push_back(strPath.c_str());
    }
    return m_pfnPlanFetch(pReader, vecC.data(), static_cast<uint32_t>(vecC.size()), uFlags);
}

bool CorvaneLibrary::GetFetchProgress(NSCorvane::IPemCorvaneReader* pReader,
                                      NSCorvane::CORVANE_FETCH_PROGRESS* pProgress)
{
    return m_bInitialised && m_pfnGetFetchProgress && m_pfnGetFetchProgress(pReader, pProgress);
}

bool CorvaneLibrary::CreateKey(const std::string& strKeyFile, std::string& strKeyId)
{
    char szKeyId[32] = {};
    if (!m_bInitialised || !m_pfnCreateKey || !m_pfnCreateKey(strKeyFile.c_str(), szKeyId, sizeof(szKeyId)))
    {
        return false;
    }
    strKeyId = szKeyId;
    return true;
}

bool CorvaneLibrary::SignVersion(const std::string& strStoreDir, uint32_t uVersion,
                                 const std::string& strKeyFile, uint32_t uExpireDays, uint32_t uLastVerDays)
{
    return m_bInitialised && m_pfnSignVersion &&
           m_pfnSignVersion(strStoreDir.c_str(), uVersion, strKeyFile.c_str(), uExpireDays, uLastVerDays);
}

bool CorvaneLibrary::NewReaderTrusted(const std::string& strSource, bool bConfig, uint32_t uVersion,
                                      const std::string& strKeys, NSCorvane::IPemCorvaneReader** ppReader)
{
    return m_bInitialised && m_pfnNewReaderTrusted &&
           m_pfnNewReaderTrusted(ppReader, strSource.c_str(), uVersion, strKeys.c_str(),
                                 bConfig ? static_cast<uint32_t>(NSCorvane::CORVANE_TRUST_BY_CONFIG) : 0u);
}

bool CorvaneLibrary::GetTrustState(NSCorvane::IPemCorvaneReader* pReader,
                                   NSCorvane::CORVANE_TRUST_STATE* pState)
{
    return m_pfnGetTrustState && m_pfnGetTrustState(pReader, pState);
}

bool ForEachPiece(NSCorvane::IFile& file, const std::function<bool(const void*, size_t)>& fnPiece)
{
    const uint32_t uSize = file.Size();
    if (const void* pData = file.GetBuffer())
    {
        return fnPiece(pData, uSize);
    }
    if (uSize == 0)
    {
        return fnPiece(nullptr, 0);
    }
    if (file.Seek(0, SEEK_SET) != 0)
    {
        return false;
    }
    std::vector<char> vecPiece(std::min<uint32_t>(uSize, 1u << 20));
    uint64_t uDone = 0;
    while (uDone < uSize)
    {
        const int32_t nRead = file.Read(vecPiece.data(), static_cast<uint32_t>(vecPiece.size()));
        if (nRead <= 0 || !fnPiece(vecPiece.data(), static_cast<size_t>(nRead)))
        {
            return false;
        }
        uDone += static_cast<uint64_t>(nRead);
    }
    return true;
}
