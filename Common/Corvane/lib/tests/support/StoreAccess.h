// SPDX-License-Identifier: MIT
// Readers and packers made through the exported entry points and released at
// scope end, and the configuration of a store served from a URL.
#pragma once

#include <Corvane/PemCorvaneX64.h>

#include <memory>
#include <string>

namespace CorvaneTest
{

struct ReleaseDeleter
{
    template <class T> void operator()(T* p) const
    {
        if (p)
        {
            p->Release();
        }
    }
};
using ReaderPtr = std::unique_ptr<NSCorvane::IPemCorvaneReader, ReleaseDeleter>;
using PackerPtr = std::unique_ptr<NSCorvane::IPemCorvanePacker, ReleaseDeleter>;
using FilePtr = std::unique_ptr<NSCorvane::IFile, ReleaseDeleter>;

// A reader of a store directory; a test failure when none is made.
ReaderPtr OpenStoreReader(const std::string& strStore, uint32_t uVersion = NSCorvane::_INVALID_VER);
// A reader made from a configuration file; a test failure when none is made.
ReaderPtr OpenConfigReader(const std::string& strConfig, uint32_t uVersion = NSCorvane::_INVALID_VER);
// A new packer; a test failure when none is made.
PackerPtr NewPacker();

// Writes strFile: strCacheDir as the local directory and as the cache of one
// remote source at strUrl. strRemoteExtra goes into the remote's entry and
// strGlobalExtra into "global", each starting with ", ". Returns strFile.
std::string WriteRemoteConfig(const std::string& strFile, const std::string& strUrl,
                              const std::string& strCacheDir, const std::string& strRemoteExtra = "",
                              const std::string& strGlobalExtra = "");

} // namespace CorvaneTest
