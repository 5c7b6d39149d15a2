// SPDX-License-Identifier: MIT
#include "support/StoreAccess.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace CorvaneTest
{

ReaderPtr OpenStoreReader(const std::string& strStore, uint32_t uVersion)
{
    NSCorvane::IPemCorvaneReader* p = nullptr;
    EXPECT_TRUE(g_NewCorvaneReader(&p, strStore.c_str(), uVersion)) << strStore;
    return ReaderPtr(p);
}

ReaderPtr OpenConfigReader(const std::string& strConfig, uint32_t uVersion)
{
    NSCorvane::IPemCorvaneReader* p = nullptr;
    EXPECT_TRUE(g_NewCorvaneReaderByConfig(&p, strConfig.c_str(), uVersion)) << strConfig;
    return ReaderPtr(p);
}

PackerPtr NewPacker()
{
    NSCorvane::IPemCorvanePacker* p = nullptr;
    EXPECT_TRUE(g_NewCorvanePacker(&p));
    return PackerPtr(p);
}

std::string WriteRemoteConfig(const std::string& strFile, const std::string& strUrl,
                              const std::string& strCacheDir, const std::string& strRemoteExtra,
                              const std::string& strGlobalExtra)
{
    WriteFileText(strFile, R"({"global": {"local": 1, "remote": 1)" + strGlobalExtra +
                               R"(}, "local": {"dir": ")" + strCacheDir +
                               R"("}, "remote": {"count": 1, "0": {"url": ")" + strUrl + R"(", "dir": ")" +
                               strCacheDir + R"(", "cache": 1)" + strRemoteExtra + "}}}");
    return strFile;
}

} // namespace CorvaneTest
