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
                                           const std::function<IFile*(IFile*&, uint32_t, bool)>& fnDecode,
                                           bool* pbCancelled, bool bOnceMore)
{
    *pbCancelled = false;
    if (element.uElemLen < sizeof(CORVANE_FILE_HEADER))
    {
        return nullptr; // not a record: the package path reports it
    }
    bool bFailed = false;
    const auto fnRecords = [this]
    {
        std::map<std::string, std::vector<CORVANE_IDX_ELEMENT>> mapByPackage;
        std::string strDat;
        for (const CORVANE_IDX_ELEMENT& each : m_vecElement)
        {
            if (each.uElemLen >= sizeof(CORVANE_FILE_HEADER) &&
                NSCorvaneReader::IdxValue_2_Path(strDat, each.uElemIdx, each.uVer))
            {
                mapByPackage[strDat].push_back(each);
            }
        }
        return mapByPackage;
    };
    const auto fnFetch = [this](const std::string& strDat, uint32_t uOffset, uint32_t uLength, IFile** ppFile,
                                bool* pbSpanCancelled)
    {
        for (IDownloadControl* piSource : m_fileFactory.Downloaders())
        {
            const RangeReadResult eResult = piSource->ReadRange(strDat.c_str(), uOffset, uLength, ppFile);
            *pbSpanCancelled = eResult == RangeReadResult::Cancelled;
            if (eResult == RangeReadResult::Ok || *pbSpanCancelled)
            {
                return eResult == RangeReadResult::Ok;
            }
        }
        return false;
    };
    IFile* pifJoined =
        bOnceMore ? nullptr : m_joiner.Take(strDatFile, element, fnRecords, fnFetch, pbCancelled);
    if (IFile* pifRecord = pifJoined)
    {
        IFile* pifOut = fnDecode(pifRecord, 0, true);
        if (pifRecord)
        {
            pifRecord->Release();
        }
        if (pifOut)
        {
            return pifOut;
        }
        bFailed = true;
        ReportRecordFailure("Record of a joined range failed its checks", strDatFile, element, 0);
    }
    if (*pbCancelled)
    {
        return nullptr;
    }
    bFailed = bFailed || bOnceMore;
    for (int nAttempt = bOnceMore ? kRangeAttempts : 1; nAttempt <= kRangeAttempts; ++nAttempt)
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
            if (eResult == RangeReadResult::UseWhole || eResult == RangeReadResult::Skipped)
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
            if (pifRecord)
            {
                pifRecord->Release();
            }
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

} // namespace NSCorvane
