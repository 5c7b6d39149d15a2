// SPDX-License-Identifier: MIT
// Byte ranges for a whole task: the records it needs, joined where the gap
// between two costs less than a request of its own, and long ranges split so
// that several connections share one large file. Pure: no I/O, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace NSCorvane
{

// One record a task needs.
struct FetchRecord
{
    std::string strDat; // package, store-relative
    uint64_t uOffset = 0;
    uint64_t uLength = 0;
    uint32_t uOrder = 0; // where the task opens it
};

// One request: uLength bytes at uOffset of the range's package.
struct FetchPart
{
    uint64_t uOffset = 0;
    uint64_t uLength = 0;
};

struct FetchRange
{
    std::string strDat;
    uint64_t uStart = 0;
    uint64_t uEnd = 0;                 // past the last byte
    std::vector<size_t> vecRecord;     // indices into the planned records
    std::vector<FetchPart> vecPart;    // covering [uStart, uEnd) in order
    uint32_t uFirstOrder = UINT32_MAX; // the earliest open among its records
};

struct FetchPlanRules
{
    // A gap up to this joins two records: about what the link carries in a
    // round trip (bandwidth x delay), the cost of a request of its own.
    uint64_t uMaxGap = 256u << 10;
    // All joined gaps together stay within this share of the records' bytes.
    uint32_t uGapShareDivisor = 8;
    // Joining stops at this length; a single record may be longer.
    uint64_t uMaxJoined = 4u << 20;
    // A range longer than this is fetched in parts of about this size.
    uint64_t uPartSize = 4u << 20;
};

// The ranges for vecRecord, in the order the task first needs them. Records
// of one package that overlap (the same content under two paths) share a range.
std::vector<FetchRange> PlanFetchRanges(const std::vector<FetchRecord>& vecRecord,
                                        const FetchPlanRules& rules);

} // namespace NSCorvane
