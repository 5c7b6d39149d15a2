// SPDX-License-Identifier: MIT
#include "fs/PemFileStreamFactory.h"

#include "common/CorvaneCheck.h"
#include "fs/PemStreamFileSysImpl.h"

#include <Corvane/CorvaneRecords.h>

#include <cstring>

namespace NSCorvane
{

namespace
{

enum class Route
{
    None,
    LocalOnly,
    RemoteOnly,
    LocalFirst,
    RemoteFirst,
};

Route RouteOf(int nOption)
{
    if (nOption <= 0)
    {
        return Route::LocalFirst;
    }
    // The first bit set in this order decides.
    if (nOption & SHO_LocalOnly)
    {
        return Route::LocalOnly;
    }
    if (nOption & SHO_RemoteOnly)
    {
        return Route::RemoteOnly;
    }
    if (nOption & SHO_LocalFirst)
    {
        return Route::LocalFirst;
    }
    if (nOption & SHO_RemoteFirst)
    {
        return Route::RemoteFirst;
    }
    return Route::None;
}

// Calls fnQuery on each file system of the route, local ones with SHO_LocalOnly
// and remote ones with SHO_RemoteOnly, until one answers.
template <class Result, class Query>
Result QueryRoute(Route eRoute, const std::vector<IStreamFileSys*>& vecLocal,
                  const std::vector<IStreamFileSys*>& vecRemote, Query fnQuery)
{
    auto fnEach = [&](const std::vector<IStreamFileSys*>& vecFileSys, int nOption) -> Result
    {
        for (IStreamFileSys* piFileSys : vecFileSys)
        {
            if (Result result = fnQuery(piFileSys, nOption))
            {
                return result;
            }
        }
        return Result();
    };
    switch (eRoute)
    {
    case Route::LocalOnly:
        return fnEach(vecLocal, SHO_LocalOnly);
    case Route::RemoteOnly:
        return fnEach(vecRemote, SHO_RemoteOnly);
    case Route::LocalFirst:
        if (Result result = fnEach(vecLocal, SHO_LocalOnly))
        {
            return result;
        }
        return fnEach(vecRemote, SHO_RemoteOnly);
    case Route::RemoteFirst:
        if (Result result = fnEach(vecRemote, SHO_RemoteOnly))
        {
            return result;
        }
        return fnEach(vecLocal, SHO_LocalOnly);
    case Route::None:
        break;
    }
    return Result();
}

} // namespace

PemFileStreamFactory::~PemFileStreamFactory()
{
    // The factory owns its file systems; a reader that never called Release must not leak them.
    Release();
}

bool PemFileStreamFactory::SetupByRootDir(const char* pcszDir)
{
    CORVANE_CHECK(pcszDir && *pcszDir);
    CORVANE_CHECK(std::strlen(pcszDir) <= PemStreamFileSysImpl::kMaxRootLength);
    PemStreamFileSysImpl* pFileSys = PemStreamFileSysImpl::Create(pcszDir);
    CORVANE_CHECK(pFileSys);
    try
    {
        m_vecAll.push_back(pFileSys);
    }
    catch (...)
    {
        pFileSys->Release();
        CORVANE_REPORT("m_vecAll.push_back(pFileSys)");
        return false;
    }
    try
    {
        m_vecLocal.push_back(pFileSys);
    }
    catch (...)
    {
        m_vecAll.pop_back();
        pFileSys->Release();
        CORVANE_REPORT("m_vecLocal.push_back(pFileSys)");
        return false;
    }
    return true;
}

void PemFileStreamFactory::AddRemote(IStreamFileSys* piRemote, std::function<void()> fnShutdown)
{
    CORVANE_CHECK_VOID(piRemote);
    try
    {
        m_vecAll.push_back(piRemote);
    }
    catch (...)
    {
        piRemote->Release();
        CORVANE_REPORT("m_vecAll.push_back(piRemote)");
        return;
    }
    try
    {
        m_vecRemote.push_back(piRemote);
        m_vecShutdown.push_back(std::move(fnShutdown));
    }
    catch (...)
    {
        if (m_vecRemote.size() > m_vecShutdown.size())
        {
            m_vecRemote.pop_back();
        }
        m_vecAll.pop_back();
        piRemote->Release();
        CORVANE_REPORT("m_vecRemote.push_back(piRemote)");
    }
}

bool PemFileStreamFactory::AddDownloader(IStreamFileSys* piRemote, IDownloadControl* piControl)
{
    CORVANE_CHECK(piRemote && piControl);
    try
    {
        m_vecDownloader.reserve(m_vecDownloader.size() + 1);
    }
    catch (...)
    {
        piRemote->Release();
        CORVANE_REPORT("m_vecDownloader.reserve(m_vecDownloader.size() + 1)");
        return false;
    }
    const size_t uBefore = m_vecRemote.size();
    AddRemote(piRemote, [piControl] { piControl->Shutdown(); });
    CORVANE_CHECK(m_vecRemote.size() == uBefore + 1);
    m_vecDownloader.push_back(piControl); // capacity reserved above
    return true;
}

IFile* PemFileStreamFactory::Open(const char* pcszPath, int nOption)
{
    return QueryRoute<IFile*>(RouteOf(nOption), m_vecLocal, m_vecRemote,
                              [pcszPath](IStreamFileSys* piFileSys, int nFsOption)
                              { return piFileSys->Open(pcszPath, nFsOption); });
}

bool PemFileStreamFactory::Exists(const char* pcszPath, int nOption)
{
    return QueryRoute<bool>(RouteOf(nOption), m_vecLocal, m_vecRemote,
                            [pcszPath](IStreamFileSys* piFileSys, int nFsOption)
                            { return piFileSys->Exists(pcszPath, nFsOption); });
}

bool PemFileStreamFactory::WouldFetch(const char* pcszPath, int nOption)
{
    if (m_vecRemote.empty())
    {
        return false;
    }
    switch (RouteOf(nOption))
    {
    case Route::RemoteOnly:
    case Route::RemoteFirst:
        return true;
    case Route::LocalFirst:
        return !Exists(pcszPath, SHO_LocalOnly);
    case Route::LocalOnly:
    case Route::None:
        break;
    }
    return false;
}

bool PemFileStreamFactory::Release()
{
    // Remote sources stop their transfers before anything is deleted, so no
    // download is left running against a released file system.
    for (std::function<void()>& fnShutdown : m_vecShutdown)
    {
        try
        {
            if (fnShutdown)
            {
                fnShutdown();
            }
        }
        catch (...)
        {
            CORVANE_REPORT("fnShutdown()");
        }
    }
    for (IStreamFileSys* piFileSys : m_vecAll)
    {
        piFileSys->Release();
    }
    m_vecAll.clear();
    m_vecLocal.clear();
    m_vecRemote.clear();
    m_vecShutdown.clear();
    m_vecDownloader.clear();
    return true;
}

} // namespace NSCorvane
