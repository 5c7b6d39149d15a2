// SPDX-License-Identifier: MIT
// Helpers for tests of remote sources: the cache file system that downloaders
// need, a downloader that is shut down and released at scope end, and
// whole-file reads.
#pragma once

#include "net/PemConfig.h"
#include "net/PemHttpDownloader.h"

#include <Corvane/CorvaneStream.h>

#include <string>

namespace CorvaneTest
{

// Installs a root-less local file system as gOption().piFileSys while alive.
class ScopedCacheFileSys
{
public:
    ScopedCacheFileSys();
    ~ScopedCacheFileSys();
    ScopedCacheFileSys(const ScopedCacheFileSys&) = delete;
    ScopedCacheFileSys& operator=(const ScopedCacheFileSys&) = delete;

private:
    NSCorvane::IStreamFileSys* m_piOld;
    NSCorvane::IStreamFileSys* m_piFileSys;
};

class ScopedDownloader
{
public:
    explicit ScopedDownloader(const NSCorvane::CorvaneRemoteInfo& info);
    ~ScopedDownloader();
    ScopedDownloader(const ScopedDownloader&) = delete;
    ScopedDownloader& operator=(const ScopedDownloader&) = delete;
    NSCorvane::PemHttpDownloader* operator->() const { return m_p; }
    NSCorvane::PemHttpDownloader* Get() const { return m_p; }

private:
    NSCorvane::PemHttpDownloader* m_p;
};

NSCorvane::CorvaneRemoteInfo RemoteInfo(const std::string& strUrl, const std::string& strCacheDir,
                                        uint32_t uCache);

// The whole content of pif, then releases it; "<null>" for null.
std::string TakeContent(NSCorvane::IFile* pif);

std::string RandomBytes(size_t uSize, uint32_t uSeed);

} // namespace CorvaneTest
