// SPDX-License-Identifier: MIT
// The reader over remote sources: set-up from a configuration, verified
// package downloads, and the download controls.
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"
#include "net/CorvaneRemoteSetup.h"
#include "net/PemConfig.h"

namespace NSCorvane
{

bool PemCorvaneReader::SetupByConfig(const char* pcszConfigFile, uint32_t uVersion)
{
    PemConfig config;
    CORVANE_CHECK(config.Read(pcszConfigFile));
    CORVANE_CHECK(SetupFactoryByConfig(m_fileFactory, &config, &m_sourceHealth));
    CORVANE_CHECK(AddConfiguredKeys(config.TrustEntries()));
    return LoadVersion(uVersion);
}

bool PemCorvaneReader::SyncDownloadDataFile(const char* pcszDatPath)
{
    CORVANE_CHECK(pcszDatPath && *pcszDatPath);
    // The path comes from a store list and may end in a delete: it must stay
    // below the store's directories.
    CORVANE_CHECK(CorvaneUtil::IsSafeRelativePath(pcszDatPath));
    auto fnLocalCheck = [&]() -> bool
    {
        IFile* pifData = m_fileFactory.Open(pcszDatPath, SHO_LocalOnly);
        if (!pifData)
        {
            return false;
        }
        const bool bOk = NSCorvaneReader::CheckStreamDatFile(pifData);
        pifData->Release();
        return bOk;
    };
    // Downloads the package and checks the downloaded bytes in memory, then
    // makes sure the cache now holds a copy of the same size: the copy was
    // written from those very bytes (atomically; a copy torn by a crash fails
    // its check when it is next read and is fetched again), so reading it all
    // back again would only cost a second pass over the package. A package
    // that fails is not kept: a damaged copy must never pass for a verified
    // one, and a retry fetches it again.
    auto fnCloudDownloadChecked = [&]() -> bool
    {
        IFile* pifData = m_fileFactory.Open(pcszDatPath, SHO_RemoteOnly);
        CORVANE_CHECK(pifData);
        const bool bValid = NSCorvaneReader::CheckStreamDatFile(pifData);
        const uint32_t uSize = pifData->Size();
        pifData->Release();
        bool bCached = false;
        if (bValid)
        {
            if (IFile* pifLocal = m_fileFactory.Open(pcszDatPath, SHO_LocalOnly))
            {
                bCached = pifLocal->Size() == uSize;
                pifLocal->Release();
            }
        }
        if (!bValid || !bCached)
        {
            if (!m_fileFactory.RemoteFileSystems().empty())
            {
                DiskDelete(pcszDatPath);
            }
            CORVANE_CHECK(bValid);
            CORVANE_CHECK(bCached);
        }
        return true;
    };

    // A package of the fetch plan was checked as it was written to the
    // cache: reading it back to check it again would cost a second pass.
    const FetchTake eTake = m_fetch.WaitPackage(pcszDatPath);
    if (eTake == FetchTake::Cancelled)
    {
        return false;
    }
    if (eTake == FetchTake::Ready)
    {
        return true;
    }
    if (!m_fileFactory.Exists(pcszDatPath, SHO_LocalOnly))
    {
        CORVANE_CHECK(fnCloudDownloadChecked());
        return true;
    }
    if (fnLocalCheck())
    {
        return true;
    }
    // Without a remote source the local copy is the store itself, not a cache:
    // deleting it would destroy the only copy, so report it and keep it.
    CORVANE_CHECK(!m_fileFactory.RemoteFileSystems().empty());
    // The cached copy is damaged: drop it so that a retry fetches it afresh.
    CORVANE_CHECK(DiskDelete(pcszDatPath));
    CORVANE_CHECK(fnCloudDownloadChecked());
    return true;
}

uint64_t PemCorvaneReader::GetDownloadSpeed()
{
    for (IDownloadControl* piControl : m_fileFactory.Downloaders())
    {
        const uint64_t uSpeed = piControl->GetCurrentSpeed();
        if (uSpeed != 0)
        {
            return uSpeed;
        }
    }
    return 0;
}

void PemCorvaneReader::AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts)
{
    for (IDownloadControl* piControl : m_fileFactory.Downloaders())
    {
        piControl->AddTransferCounts(counts);
    }
}

bool PemCorvaneReader::SetLimitSpeed(uint64_t uBytesPerSecond)
{
    bool bAll = true;
    for (IDownloadControl* piControl : m_fileFactory.Downloaders())
    {
        bAll = piControl->SetLimitSpeed(uBytesPerSecond) && bAll;
    }
    return bAll;
}

bool PemCorvaneReader::CancelDownloads()
{
    bool bAll = true;
    for (IDownloadControl* piControl : m_fileFactory.Downloaders())
    {
        bAll = piControl->CancelDownloads() && bAll;
    }
    m_fetch.Cancel();
    return bAll;
}

} // namespace NSCorvane
