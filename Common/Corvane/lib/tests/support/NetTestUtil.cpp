// SPDX-License-Identifier: MIT
#include "support/NetTestUtil.h"

#include "common/CorvaneMemory.h"
#include "fs/PemStreamFileSysImpl.h"

#include <gtest/gtest.h>

#include <random>

namespace CorvaneTest
{

ScopedCacheFileSys::ScopedCacheFileSys()
    : m_piOld(CorvaneUtil::gOption().piFileSys), m_piFileSys(NSCorvane::PemStreamFileSysImpl::Create(""))
{
    CorvaneUtil::gOption().piFileSys = m_piFileSys;
}

ScopedCacheFileSys::~ScopedCacheFileSys()
{
    CorvaneUtil::gOption().piFileSys = m_piOld;
    if (m_piFileSys)
    {
        m_piFileSys->Release();
    }
}

ScopedDownloader::ScopedDownloader(const NSCorvane::CorvaneRemoteInfo& info)
    : m_p(NSCorvane::PemHttpDownloader::Create())
{
    EXPECT_TRUE(m_p && m_p->InitlizeUrl(info));
}

ScopedDownloader::~ScopedDownloader()
{
    if (m_p)
    {
        m_p->Shutdown();
        m_p->Release();
    }
}

NSCorvane::CorvaneRemoteInfo RemoteInfo(const std::string& strUrl, const std::string& strCacheDir,
                                        uint32_t uCache)
{
    NSCorvane::CorvaneRemoteInfo info;
    info.strUrl = strUrl;
    info.strDir = strCacheDir;
    info.uCache = uCache;
    return info;
}

std::string TakeContent(NSCorvane::IFile* pif)
{
    if (!pif)
    {
        return "<null>";
    }
    std::string str(pif->Size(), '\0');
    if (!str.empty())
    {
        EXPECT_EQ(pif->Read(str.data(), static_cast<uint32_t>(str.size())), static_cast<int32_t>(str.size()));
    }
    pif->Release();
    return str;
}

std::string RandomBytes(size_t uSize, uint32_t uSeed)
{
    std::mt19937 rng(uSeed);
    std::string str(uSize, '\0');
    for (char& c : str)
    {
        c = static_cast<char>(rng() & 0xFF);
    }
    return str;
}

} // namespace CorvaneTest
