// SPDX-License-Identifier: MIT
#include "fetch/PemFetchPlanner.h"

#include <algorithm>
#include <numeric>

namespace NSCorvane
{

namespace
{

void SplitIntoParts(FetchRange& range, uint64_t uPartSize)
{
    const uint64_t uLength = range.uEnd - range.uStart;
    const uint64_t uParts = uPartSize ? std::max<uint64_t>(1, (uLength + uPartSize - 1) / uPartSize) : 1;
    const uint64_t uEach = (uLength + uParts - 1) / uParts;
    for (uint64_t uAt = range.uStart; uAt < range.uEnd; uAt += uEach)
    {
        range.vecPart.push_back({uAt, std::min(uEach, range.uEnd - uAt)});
    }
}

} // namespace

std::vector<FetchRange> PlanFetchRanges(const std::vector<FetchRecord>& vecRecord,
                                        const FetchPlanRules& rules)
{
    std::vector<size_t> vecByPlace(vecRecord.size());
    std::iota(vecByPlace.begin(), vecByPlace.end(), size_t{0});
    std::sort(vecByPlace.begin(), vecByPlace.end(),
              [&](size_t a, size_t b)
              {
                  const FetchRecord& ra = vecRecord[a];
                  const FetchRecord& rb = vecRecord[b];
                  if (ra.strDat != rb.strDat)
                  {
                      return ra.strDat < rb.strDat;
                  }
                  return ra.uOffset != rb.uOffset ? ra.uOffset < rb.uOffset : ra.uLength < rb.uLength;
              });

    // The gap before each record (0 when it touches or overlaps the ones
    // before), for records that follow another of their package.
    uint64_t uRecordBytes = 0;
    std::vector<uint64_t> vecGap(vecByPlace.size(), UINT64_MAX);
    uint64_t uReach = 0;
    for (size_t i = 0; i < vecByPlace.size(); ++i)
    {
        const FetchRecord& record = vecRecord[vecByPlace[i]];
        const bool bSamePackage = i > 0 && vecRecord[vecByPlace[i - 1]].strDat == record.strDat;
        if (bSamePackage)
        {
            vecGap[i] = record.uOffset > uReach ? record.uOffset - uReach : 0;
            uRecordBytes += record.uOffset + record.uLength > uReach
                                ? record.uOffset + record.uLength - std::max(uReach, record.uOffset)
                                : 0;
            uReach = std::max(uReach, record.uOffset + record.uLength);
        }
        else
        {
            uRecordBytes += record.uLength;
            uReach = record.uOffset + record.uLength;
        }
    }

    // The smallest gaps first, until the share for gaps is used up.
    std::vector<bool> vecJoin(vecByPlace.size(), false);
    std::vector<size_t> vecCandidate;
    for (size_t i = 0; i < vecGap.size(); ++i)
    {
        if (vecGap[i] == 0)
        {
            vecJoin[i] = true;
        }
        else if (vecGap[i] <= rules.uMaxGap)
        {
            vecCandidate.push_back(i);
        }
    }
    std::sort(vecCandidate.begin(), vecCandidate.end(),
              [&](size_t a, size_t b) { return vecGap[a] < vecGap[b]; });
    const uint64_t uGapBudget = rules.uGapShareDivisor ? uRecordBytes / rules.uGapShareDivisor : 0;
    uint64_t uGapUsed = 0;
    for (size_t i : vecCandidate)
    {
        if (uGapUsed + vecGap[i] > uGapBudget)
        {
            break;
        }
        uGapUsed += vecGap[i];
        vecJoin[i] = true;
    }

    std::vector<FetchRange> vecRange;
    for (size_t i = 0; i < vecByPlace.size(); ++i)
    {
        const size_t uIndex = vecByPlace[i];
        const FetchRecord& record = vecRecord[uIndex];
        const uint64_t uEnd = record.uOffset + record.uLength;
        bool bJoined = false;
        if (i > 0 && vecJoin[i] && !vecRange.empty())
        {
            FetchRange& last = vecRange.back();
            const uint64_t uNewEnd = std::max(last.uEnd, uEnd);
            // Overlapping records always share; others only up to the length.
            if (record.uOffset < last.uEnd || uNewEnd - last.uStart <= rules.uMaxJoined)
            {
                last.uEnd = uNewEnd;
                bJoined = true;
            }
        }
        if (!bJoined)
        {
            FetchRange range;
            range.strDat = record.strDat;
            range.uStart = record.uOffset;
            range.uEnd = uEnd;
            vecRange.push_back(std::move(range));
        }
        FetchRange& range = vecRange.back();
        range.vecRecord.push_back(uIndex);
        range.uFirstOrder = std::min(range.uFirstOrder, record.uOrder);
    }
    for (FetchRange& range : vecRange)
    {
        SplitIntoParts(range, rules.uPartSize);
    }
    std::stable_sort(vecRange.begin(), vecRange.end(),
                     [](const FetchRange& a, const FetchRange& b) { return a.uFirstOrder < b.uFirstOrder; });
    return vecRange;
}

} // namespace NSCorvane
