// SPDX-License-Identifier: MIT
// Which fault a misbehaving server commits on each request: scripted per path,
// or drawn for a share of requests from a seed. A draw depends only on the
// seed, the path and how many times that path was asked before, so a run
// that failed is replayed by its seed whatever order its threads ask in.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace CorvaneTest
{

enum class RequestFault
{
    None,
    Status500,      // 500 Internal Server Error
    Status503,      // 503 Service Unavailable with Retry-After
    Status408,      // 408 Request Timeout, connection closed
    ShortBody,      // headers as for the whole body, half of it, then closed
    ResetMidBody,   // half of the body, then a connection reset
    Stall,          // a third of the body, silence for a while, then closed
    FlipBytes,      // a data package (or part of one) with one byte changed
    LengthTooLong,  // a Content-Length beyond the body, then closed
    LengthTooShort, // a Content-Length short of the body, then closed
    Trickle,        // the right answer, in small pieces with pauses
};

const char* FaultName(RequestFault eFault);
// Every fault but None.
std::vector<RequestFault> AllFaults();

struct FaultScriptOptions
{
    uint64_t uSeed = 1;
    // Share of requests (0..1) that get a fault drawn from vecKinds.
    double dShare = 0.0;
    std::vector<RequestFault> vecKinds = AllFaults();
    // By URI path ("/dat/…"): the faults of its first, second … request;
    // None in the list lets that request through. After the list, draws apply.
    std::map<std::string, std::vector<RequestFault>> mapScript;
    uint32_t uStallMs = 1500;
    // A trickle takes about this long for its body.
    uint32_t uTrickleMs = 300;
};

class FaultScript
{
public:
    explicit FaultScript(FaultScriptOptions options);

    // The fault for the next request of strPath; FlipBytes only for data packages.
    RequestFault Next(const std::string& strPath);
    // Where a FlipBytes fault changes a body of uSize bytes on strPath.
    size_t FlipOffset(const std::string& strPath, size_t uSize) const;
    // Off: every request is answered correctly from now on.
    void SetEnabled(bool bOn) { m_bEnabled.store(bOn); }

    const FaultScriptOptions& Options() const { return m_options; }
    // "<fault> <path>#<n>" for every fault committed, in order.
    std::vector<std::string> Committed() const;
    int Requests() const;
    // How many requests of one path got a fault.
    uint32_t FaultsOn(const std::string& strPath) const;

private:
    const FaultScriptOptions m_options;
    std::atomic<bool> m_bEnabled{true};
    mutable std::mutex m_mutex;
    std::map<std::string, uint32_t> m_mapSeen;
    std::vector<std::string> m_vecCommitted;
    int m_nRequests = 0;
};

} // namespace CorvaneTest
