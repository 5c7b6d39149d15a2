// SPDX-License-Identifier: MIT
// A remote source of a package store: serves store-relative paths from a base
// URL over HTTP(S), keeps what it fetched in a cache directory, answers
// existence queries, shares one download among concurrent opens of a path,
// limits the rate, measures the speed, cancels and shuts down.
//
// Open and Exists run on the callers' threads, any number at once. The factory
// calls Shutdown before Release; after Shutdown every call fails quietly.
#pragma once

#include "fs/IDownloadControl.h"
#include "net/HttpPrivateImpl.h"
#include "net/IHttpDownloader.h"

#include <Corvane/CorvaneStream.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace NSCorvane
{

class PemSourceHealth;
struct HttpOpenFlightState;

class PemHttpDownloader final : public IHttpDownloader, public IStreamFileSys, public IDownloadControl
{
public:
    // Null when out of memory.
    static PemHttpDownloader* Create();

    // IHttpDownloader and IStreamFileSys
    void Release() override;
    bool InitlizeUrl(const CorvaneRemoteInfo& info) override;
    bool Shutdown() override;

    // Before the first open: this source is number uIndex of pHealth, which
    // outlives it. Requests are then asked only while it admits the source,
    // and report each outcome to it. Without it every request is made.
    void SetSourceHealth(PemSourceHealth* pHealth, size_t uIndex);
    // For requests made outside the downloader (a fetch plan's): whether the
    // task still asks this source (never waits), and how such a request ended.
    bool SourceUsable() const;
    void SettleRequest(bool bCancelled, bool bSourceFailed, const std::string& strReason);

    // IStreamFileSys. Paths are store-relative; an absolute path or one with a
    // ".." component is refused before it is joined below the cache directory.
    // An option with SHO_RemoteFirst or SHO_RemoteOnly downloads now; others
    // read the cache copy first. The result is an in-memory file the caller releases.
    IFile* Open(const char* pcszFile, int nOption) override;
    bool Exists(const char* pcszFile, int nOption) override;
    // The cache directory.
    const char* GetRootDir() override { return m_strCacheDir.c_str(); }

    // IDownloadControl
    uint64_t GetCurrentSpeed() override;
    bool SetLimitSpeed(uint64_t uBytesPerSecond) override;
    bool CancelDownloads() override;
    // Range reads bypass the cache and are never written to it. A source whose
    // configuration turns them off, or whose server answered one with the whole
    // file, answers UseWhole from then on without a request.
    RangeReadResult ReadRange(const char* pcszFile, uint32_t uOffset, uint32_t uLength,
                              IFile** ppFile) override;
    void AddTransferCounts(CORVANE_TRANSFER_COUNTS& counts) override;

    // For the fetch scheduler: a GET of the store-relative pcszFile (uLength 0:
    // the whole file, else one range) that the caller's multi handle runs;
    // null before set-up, for an unsafe path or when out of memory.
    std::unique_ptr<HttpPrivateImpl::AsyncGet> NewAsyncGet(const char* pcszFile, uint64_t uOffset,
                                                           uint64_t uLength,
                                                           HttpPrivateImpl::AsyncGet::SinkFn fnSink);
    bool RangeOff() const { return m_bRangeOff.load(); }
    // The server answered a range with the whole file: no range requests from now on.
    void TurnRangeOff();
    // Requests a fetch plan keeps in flight to this source.
    uint32_t Connections() const { return m_uConnections; }
    // Where whole files fetched for the cache go; empty: not cached.
    std::string CachePathOf(const char* pcszFile) const;

private:
    PemHttpDownloader() = default;
    ~PemHttpDownloader() override;

    // The owner's side of a flight: cache copy or download, cache write, result.
    IFile* RunFlight(HttpPrivateImpl* pPrivate, const char* pcszFile, bool bRemote,
                     const std::shared_ptr<HttpOpenFlightState>& spState);
    // Downloads pcszFile now into strBody; logs why not.
    bool _OpenHttp(const char* pcszFile, std::string& strBody);
    bool _ExistsHttp(const char* pcszFile);
    // The owner's side of a range flight.
    RangeReadResult RunRangeFlight(HttpPrivateImpl* pPrivate, const char* pcszFile, uint32_t uOffset,
                                   uint32_t uLength, const std::string& strKey,
                                   const std::shared_ptr<HttpOpenFlightState>& spState);

    // Whether this source may be asked now (see PemSourceHealth::Admit).
    bool AdmitRequest();

    PemSourceHealth* m_pHealth = nullptr;
    size_t m_uHealthIndex = 0;
    std::string m_strUrl;
    std::string m_strCacheDir;
    uint32_t m_uCache = 0;
    uint32_t m_uConnections = 8;
    // Off by configuration, or since the server answered a range with the whole file.
    std::atomic<bool> m_bRangeOff{false};
    // Created by InitlizeUrl; kept until destruction so that no call racing a
    // Shutdown can reach freed state.
    HttpPrivateImpl* m_pd = nullptr;
};

} // namespace NSCorvane
