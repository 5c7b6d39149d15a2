// SPDX-License-Identifier: MIT
// The JSON configuration of a reader: a local cache directory and remote HTTP
// sources. Read once during set-up, only read afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace NSCorvane
{

// One remote source of a configuration.
struct CorvaneRemoteInfo
{
    std::string strUrl;         // "url": base URL of the store on the server
    std::string strDir;         // "dir": cache directory of this source
    uint32_t uCache = 0;        // "cache": non-zero also caches what remote-only opens fetch
    uint32_t uTimeoutMs = 3000; // a "timeout" key is not read
    uint64_t uLimitSpeed = 0;   // "limitspeed": bytes per second, 0 = unlimited
    // "cabundle": a PEM file of CA certificates trusted instead of the system
    // store (private CDNs, tests); empty: the CORVANE_CA_BUNDLE environment
    // variable, else the system store.
    std::string strCaBundle;
    // "stalltimeout": seconds below 1 byte/s after which a transfer is abandoned.
    uint32_t uStallSeconds = 30;
    // "range": 0 turns Range reads of single file records off for this source;
    // the reader then fetches and caches whole packages.
    uint32_t uRange = 1;
    // "connections": requests a fetch plan keeps in flight to this source at
    // once (1 to 64).
    uint32_t uConnections = 8;
};

class PemConfig
{
public:
    PemConfig() = default;
    virtual ~PemConfig() = default;

    // Parses the UTF-8 JSON file at pcszPath and fills the fields (the remote
    // list is appended to). False, with a log line naming the file, when the
    // file cannot be opened or parsed.
    bool Read(const char* pcszPath);

    const char* GetLocalDir() const { return m_strLocalDir.c_str(); }
    bool IsLocalEnabled() const { return m_nLocal != 0; }
    bool IsRemoteEnabled() const { return m_nRemote != 0; }
    int32_t ThreadCount() const { return m_nThreadCount; }
    const std::vector<CorvaneRemoteInfo>& Remotes() const { return m_vecRemote; }
    // "trust" in "global": the public keys whose signatures the store must
    // carry, as written (checked by the reader); empty: the store is not checked.
    const std::vector<std::string>& TrustEntries() const { return m_vecTrust; }

private:
    std::string m_strLocalDir;
    int32_t m_nLocal = 0;
    int32_t m_nRemote = 0;
    int32_t m_nThreadCount = 1; // accepted, unused by the library
    std::vector<CorvaneRemoteInfo> m_vecRemote;
    std::vector<std::string> m_vecTrust;
};

} // namespace NSCorvane
