// SPDX-License-Identifier: MIT
// What a reader may ask of a remote source beyond opening files: the current
// download speed, the speed limit, cancelling transfers and shutting down.
// Internal to the library; not part of the ABI.
#pragma once

#include <cstdint>

namespace NSCorvane
{

class IDownloadControl
{
public:
    // Bytes per second over the last second; 0 when nothing was received.
    virtual uint64_t GetCurrentSpeed() = 0;
    // 0 = unlimited. Takes effect for transfers already running.
    virtual bool SetLimitSpeed(uint64_t uBytesPerSecond) = 0;
    // Abandons every transfer in flight; their opens fail. Later opens work.
    virtual bool CancelDownloads() = 0;
    // Stops new opens, cancels, and waits until every open has left.
    virtual bool Shutdown() = 0;

protected:
    ~IDownloadControl() = default; // owned through the file system it belongs to
};

} // namespace NSCorvane
