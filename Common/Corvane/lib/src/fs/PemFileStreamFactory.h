// SPDX-License-Identifier: MIT
// How a reader reaches all of its file systems: local directories and remote
// sources, routed by a CORVANE_OPTION. Lists are built during set-up and only
// read afterwards, so Open/Exists may run on many threads at once.
#pragma once

#include <Corvane/CorvaneStream.h>

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
    void AddRemote(IStreamFileSys* piRemote);

    IFile* Open(const char* pcszPath, int nOption);
    bool Exists(const char* pcszPath, int nOption);

    // Shuts remote sources down, then releases every file system. Always true.
    bool Release();

    const std::vector<IStreamFileSys*>& LocalFileSystems() const { return m_vecLocal; }
    const std::vector<IStreamFileSys*>& RemoteFileSystems() const { return m_vecRemote; }

private:
    std::vector<IStreamFileSys*> m_vecAll;
    std::vector<IStreamFileSys*> m_vecLocal;
    std::vector<IStreamFileSys*> m_vecRemote;
};

} // namespace NSCorvane
