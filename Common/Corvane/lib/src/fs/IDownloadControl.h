// SPDX-License-Identifier: MIT
// What a reader may ask of a remote source beyond opening files: the current
// download speed, the speed limit, cancelling transfers, shutting down, and
// reading part of a file.
// Internal to the library; not part of the ABI.
#pragma once

#include <Corvane/CorvaneStream.h>
#include <Corvane/PemCorvaneX64.h>

#include <cstdint>

namespace NSCorvane
{

// How a read of part of a remote file ended.
enum class RangeReadResult
{
    Ok,        // the bytes asked, exactly
    UseWhole,  // not by range (turned off, refused by the server, or out of its reach): read the whole file
    Failed,    // a faulty or failed answer; another try may work
    Cancelled, // CancelDownloads or shutdown
    Skipped,   // the source is passed over for this task after a failure: ask the next one
};

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
    // Fetches uLength bytes at uOffset of the store-relative pcszFile with one
    // single-part Range request, never through or into the cache. Ok puts an
    // in-memory file of exactly those bytes in *ppFile (the caller releases
    // it); concurrent reads of one range share one request. Any thread.
    virtual RangeReadResult ReadRange(const char* pcszFile, uint32_t uOffset, uint32_t uLength,
                                      IFile** ppFile) = 0;

    // Adds this source's requests and received bytes since it was set up.
    virtual void AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts) = 0;

protected:
    ~IDownloadControl() = default; // owned through the file system it belongs to
};

} // namespace NSCorvane
