// SPDX-License-Identifier: MIT
// How a reader reaches all of its file systems: local directories and remote
// sources, routed by a CORVANE_OPTION. Lists are built during set-up and only
// read afterwards, so Open/Exists may run on many threads at once.
#pragma once

#include "fs/IDownloadControl.h"

#include <Corvane/CorvaneStream.h>

#include <functional>
#include <vector>

namespace NSCorvane
{

class PemFileStreamFactory
{
public:
    PemFileStreamFactory() = default;
    virtual ~PemFileStreamFactory();
    PemFileStreamFactory(const PemFileStreamFactory&) = delete;
    PemFileStreamFactory& operator=(const PemFileStreamFactory&) = delete;

    // Adds a local file system rooted at pcszDir (refused when empty or longer than 259 bytes).
    bool SetupByRootDir(const char* pcszDir);
    // Adds a remote source; the factory owns it and releases it in Release().
    // fnShutdown (may be empty) is the source's shutdown: Release() calls it before
    // any file system is released. A failure to add releases piRemote.
    void AddRemote(IStreamFileSys* piRemote, std::function<void()> fnShutdown = {});
    // Adds a downloader: piRemote is its file system, piControl the same object's
    // download control (speed, limit, cancel; its Shutdown runs in Release()).
    // False when it could not be added (piRemote is then released).
    bool AddDownloader(IStreamFileSys* piRemote, IDownloadControl* piControl);

    IFile* Open(const char* pcszPath, int nOption);
    bool Exists(const char* pcszPath, int nOption);
    // Whether an Open with nOption would ask a remote source for pcszPath before
    // any local copy: always on remote-first and remote-only routes, on a
    // local-first route when no local file system holds the file.
    bool WouldFetch(const char* pcszPath, int nOption);

    // Shuts remote sources down, then releases every file system. Always true.
    // The destructor calls it too, so file systems never outlive their factory.
    bool Release();

    const std::vector<IStreamFileSys*>& LocalFileSystems() const { return m_vecLocal; }
    const std::vector<IStreamFileSys*>& RemoteFileSystems() const { return m_vecRemote; }
    const std::vector<IDownloadControl*>& Downloaders() const { return m_vecDownloader; }

private:
    std::vector<IStreamFileSys*> m_vecAll;
    std::vector<IStreamFileSys*> m_vecLocal;
    std::vector<IStreamFileSys*> m_vecRemote;
    std::vector<std::function<void()>> m_vecShutdown; // one per remote source
    std::vector<IDownloadControl*> m_vecDownloader;   // remote sources that download
};

} // namespace NSCorvane
