// SPDX-License-Identifier: MIT
// Single file records read by HTTP range: a file whose package is not cached
// costs its own record, not the whole package.
#include "reader/PemCorvaneReader.h"

#include "common/CorvaneCheck.h"
#include "format/CorvaneEnvelope.h"
#include "fs/PemStreamBufferFile.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace NSCorvane
{

namespace
{

// Two reads of a record, then the whole package: a record damaged on the way
// is rare, a server that damages every one is not helped by asking again.
constexpr int kRangeAttempts = 2;

// A joined span must fit in memory next to its decoded records.
constexpr uint32_t kMaxSpan = 16u << 20;

// Bytes of a package that OpenFiles fetched for the records it opens next on
// this thread; OpenFile takes a record from here before asking the server.
struct PrefetchedSpan
{
    const std::string* pstrDatFile = nullptr;
    uint32_t uOffset = 0;
    IFile* pifSpan = nullptr;
};
thread_local PrefetchedSpan t_span;

// The record's bytes when the span of this thread holds them.
IFile* RecordFromSpan(const std::string& strDatFile, const CORVANE_IDX_ELEMENT& element)
{
    const PrefetchedSpan& span = t_span;
    if (!span.pifSpan || *span.pstrDatFile != strDatFile || element.uElemOfs < span.uOffset ||
        static_cast<uint64_t>(element.uElemOfs - span.uOffset) + element.uElemLen > span.pifSpan->Size())
    {
        return nullptr;
    }
    const auto* pbySpan = static_cast<const uint8_t*>(span.pifSpan->GetBuffer());
    return pbySpan ? PemStreamBufferFile::CreateCopy(pbySpan + (element.uElemOfs - span.uOffset),
                                                     element.uElemLen)
                   : nullptr;
}

void ReportRecordFailure(const char* pcszWhat, const std::string& strDatFile,
                         const CORVANE_IDX_ELEMENT& element, int nAttempt)
{
    char szText[512];
    std::snprintf(szText, sizeof(szText), "%s, package=%s offset=%u length=%u attempt=%d/%d", pcszWhat,
                  strDatFile.c_str(), element.uElemOfs, element.uElemLen, nAttempt, kRangeAttempts);
    CORVANE_REPORT(szText);
}

} // namespace

IFile* PemCorvaneReader::ReadRecordByRange(const std::string& strDatFile, const CORVANE_IDX_ELEMENT& element,
                                           const std::function<IFile*(IFile*, uint32_t, bool)>& fnDecode,
                                           bool* pbCancelled)
{
    *pbCancelled = false;
    if (element.uElemLen < sizeof(CORVANE_FILE_HEADER))
    {
        return nullptr; // not a record: the package path reports it
    }
    bool bFailed = false;
    if (IFile* pifRecord = RecordFromSpan(strDatFile, element))
    {
        IFile* pifOut = fnDecode(pifRecord, 0, true);
        pifRecord->Release();
        if (pifOut)
        {
            return pifOut;
        }
        bFailed = true;
        ReportRecordFailure("Record of a joined range failed its checks", strDatFile, element, 0);
    }
    for (int nAttempt = 1; nAttempt <= kRangeAttempts; ++nAttempt)
    {
        bool bAsked = false;
        for (IDownloadControl* piSource : m_fileFactory.Downloaders())
        {
            IFile* pifRecord = nullptr;
            const RangeReadResult eResult =
                piSource->ReadRange(strDatFile.c_str(), element.uElemOfs, element.uElemLen, &pifRecord);
            if (eResult == RangeReadResult::Cancelled)
            {
                *pbCancelled = true;
                return nullptr;
            }
            if (eResult == RangeReadResult::UseWhole)
            {
                continue;
            }
            bAsked = true;
            if (eResult == RangeReadResult::Failed)
            {
                bFailed = true;
                ReportRecordFailure("Record range read failed", strDatFile, element, nAttempt);
                continue;
            }
            IFile* pifOut = fnDecode(pifRecord, 0, true);
            pifRecord->Release();
            if (pifOut)
            {
                return pifOut;
            }
            bFailed = true;
            ReportRecordFailure("Record read by range failed its checks", strDatFile, element, nAttempt);
        }
        if (!bAsked)
        {
            break; // no source serves ranges (any more)
        }
    }
    if (bFailed)
    {
        ReportRecordFailure("Record range reads failed, reading the whole package", strDatFile, element,
                            kRangeAttempts);
    }
    return nullptr;
}

void PemCorvaneReader::OpenFiles(const std::vector<std::string>& vecPath, uint32_t uMaxGap,
                                 const std::function<void(size_t, IFile*)>& fnDeliver)
{
    struct Item
    {
        size_t uIndex;
        CORVANE_IDX_ELEMENT element;
    };
    // Files whose package must be fetched, by package; the others are opened at once.
    std::map<std::string, std::vector<Item>> mapByPackage;
    for (size_t i = 0; i < vecPath.size(); ++i)
    {
        const CORVANE_IDX_ELEMENT* pElement = FindElement(vecPath[i].c_str());
        std::string strDatFile;
        if (pElement && NSCorvaneReader::IdxValue_2_Path(strDatFile, pElement->uElemIdx, pElement->uVer) &&
            pElement->uElemLen >= sizeof(CORVANE_FILE_HEADER) &&
            m_fileFactory.WouldFetch(strDatFile.c_str(), m_nDefaultOption))
        {
            mapByPackage[strDatFile].push_back({i, *pElement});
            continue;
        }
        fnDeliver(i, OpenFile(vecPath[i].c_str(), -1));
    }
    for (auto& [strDatFile, vecItem] : mapByPackage)
    {
        std::sort(vecItem.begin(), vecItem.end(),
                  [](const Item& a, const Item& b) { return a.element.uElemOfs < b.element.uElemOfs; });
        // Which records join the span of the one before: the smallest gaps
        // first, as long as all gap bytes fetched for this package stay within
        // a twentieth of its records' own bytes.
        std::vector<bool> vecJoin(vecItem.size(), false);
        std::vector<std::pair<uint64_t, size_t>> vecGap;
        uint64_t uRecordBytes = 0;
        uint64_t uRunEnd = 0;
        for (size_t i = 0; i < vecItem.size(); ++i)
        {
            const CORVANE_IDX_ELEMENT& element = vecItem[i].element;
            if (i > 0)
            {
                const uint64_t uGap = element.uElemOfs > uRunEnd ? element.uElemOfs - uRunEnd : 0;
                if (uGap <= uMaxGap)
                {
                    vecGap.emplace_back(uGap, i);
                }
            }
            uRecordBytes += element.uElemLen;
            uRunEnd = std::max<uint64_t>(uRunEnd, uint64_t{element.uElemOfs} + element.uElemLen);
        }
        std::sort(vecGap.begin(), vecGap.end());
        uint64_t uGapBytes = 0;
        for (const auto& [uGap, i] : vecGap)
        {
            if ((uGapBytes + uGap) * 20 > uRecordBytes)
            {
                break;
            }
            uGapBytes += uGap;
            vecJoin[i] = true;
        }
        for (size_t uFirst = 0; uFirst < vecItem.size();)
        {
            const uint64_t uStart = vecItem[uFirst].element.uElemOfs;
            uint64_t uEnd = uStart + vecItem[uFirst].element.uElemLen;
            size_t uLast = uFirst + 1;
            for (; uLast < vecItem.size() && vecJoin[uLast]; ++uLast)
            {
                const CORVANE_IDX_ELEMENT& next = vecItem[uLast].element;
                const uint64_t uNextEnd = std::max<uint64_t>(uEnd, uint64_t{next.uElemOfs} + next.uElemLen);
                if (uNextEnd - uStart > kMaxSpan)
                {
                    break;
                }
                uEnd = uNextEnd;
            }
            IFile* pifSpan = nullptr;
            bool bCancelled = false;
            if (uLast - uFirst > 1)
            {
                for (IDownloadControl* piSource : m_fileFactory.Downloaders())
                {
                    const RangeReadResult eResult =
                        piSource->ReadRange(strDatFile.c_str(), static_cast<uint32_t>(uStart),
                                            static_cast<uint32_t>(uEnd - uStart), &pifSpan);
                    bCancelled = eResult == RangeReadResult::Cancelled;
                    if (eResult == RangeReadResult::Ok || bCancelled)
                    {
                        break;
                    }
                }
            }
            // Each record goes through OpenFile: its checks, its retries, its
            // whole-package fallback, taking its bytes from the span when it can.
            struct SpanScope
            {
                IFile* pifSpan;
                ~SpanScope()
                {
                    t_span = PrefetchedSpan();
                    if (pifSpan)
                    {
                        pifSpan->Release();
                    }
                }
            } scope{pifSpan};
            t_span = {&strDatFile, static_cast<uint32_t>(uStart), pifSpan};
            for (size_t i = uFirst; i < uLast; ++i)
            {
                fnDeliver(vecItem[i].uIndex,
                          bCancelled ? nullptr : OpenFile(vecPath[vecItem[i].uIndex].c_str(), -1));
            }
            uFirst = uLast;
        }
    }
}

} // namespace NSCorvane
