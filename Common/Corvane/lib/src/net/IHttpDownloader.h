// SPDX-License-Identifier: MIT
// Set-up and shutdown of a remote source. Slot order: destructor, Release,
// InitlizeUrl, Shutdown.
#pragma once

#include "net/PemConfig.h"

namespace NSCorvane
{

class IHttpDownloader
{
public:
    virtual ~IHttpDownloader() = default;
    // Deletes the object.
    virtual void Release() = 0;
    // Once, before the first open. False when already set up or when no file
    // system for the cache is configured.
    virtual bool InitlizeUrl(const CorvaneRemoteInfo& info) = 0;
    // Stops new opens, cancels transfers, waits for every open to leave. Always true.
    virtual bool Shutdown() = 0;
};

} // namespace NSCorvane
