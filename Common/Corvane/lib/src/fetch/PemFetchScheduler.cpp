// SPDX-License-Identifier: MIT
#include "fetch/PemFetchScheduler.h"

#include "common/CorvaneCheck.h"
#include "fetch/PemFetchPlan.h"

#include <algorithm>

namespace NSCorvane
{

namespace
{

// What joins two records before any transfer was measured.
constexpr uint64_t kFirstGap = 256u << 10;
constexpr uint64_t kMinGap = 16u << 10;
constexpr uint64_t kMaxGap = 4u << 20;

} // namespace

PemFetchScheduler::PemFetchScheduler() = default;

PemFetchScheduler::~PemFetchScheduler()
{
    End();
}

std::shared_ptr<PemFetchPlan> PemFetchScheduler::CurrentPlan()
{
    std::lock_guard<std::mutex> lock(m_mtx);
    return m_spPlan;
}

uint64_t PemFetchScheduler::GapLimit()
{
    std::lock_guard<std::mutex> lock(m_mtx);
    if (m_dBandwidth <= 0 || m_dRoundTrip <= 0)
    {
        return kFirstGap;
    }
    return std::clamp(static_cast<uint64_t>(m_dBandwidth * m_dRoundTrip), kMinGap, kMaxGap);
}

bool PemFetchScheduler::Install(const std::shared_ptr<PemFetchPlan>& spPlan)
{
    End();
    CORVANE_CHECK(spPlan->Start());
    std::lock_guard<std::mutex> lock(m_mtx);
    m_spPlan = spPlan;
    return true;
}

bool PemFetchScheduler::StartRecords(std::vector<FetchRecord> vecRecord, std::vector<uint64_t> vecKey,
                                     const std::vector<PemHttpDownloader*>& vecSource,
                                     std::vector<uint32_t> vecToldAtOnce)
{
    CORVANE_CHECK(!vecSource.empty() && vecRecord.size() == vecKey.size());
    try
    {
        uint64_t uBound = 0;
        uint64_t uSpill = 0;
        {
            std::lock_guard<std::mutex> lock(m_mtx);
            uBound = m_uMemoryBound;
            uSpill = m_uSpillBytes;
        }
        FetchPlanRules rules;
        rules.uMaxGap = GapLimit();
        // A record that goes to disk is a range of its own.
        rules.uMaxJoined = std::min(rules.uMaxJoined, uSpill - 1);
        std::vector<FetchRange> vecRange = PlanFetchRanges(vecRecord, rules);
        auto spPlan = std::make_shared<PemFetchPlan>(
            std::move(vecRecord), std::move(vecKey), std::move(vecRange), /*bPackages=*/false, vecSource,
            uBound, uSpill,
            [this](double dRoundTrip, double dBandwidth)
            {
                // A slow average: one odd request does not change the plan's joins.
                std::lock_guard<std::mutex> lock(m_mtx);
                m_dRoundTrip = m_dRoundTrip > 0 ? 0.8 * m_dRoundTrip + 0.2 * dRoundTrip : dRoundTrip;
                if (dBandwidth > 0)
                {
                    m_dBandwidth = m_dBandwidth > 0 ? 0.8 * m_dBandwidth + 0.2 * dBandwidth : dBandwidth;
                }
            });
        spPlan->TellAtOnce(vecToldAtOnce);
        return Install(spPlan);
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
}

bool PemFetchScheduler::StartPackages(std::vector<std::string> vecPackage, std::vector<uint64_t> vecSizeHint,
                                      const std::vector<PemHttpDownloader*>& vecSource)
{
    CORVANE_CHECK(!vecSource.empty() && vecPackage.size() == vecSizeHint.size());
    try
    {
        std::vector<FetchRange> vecRange(vecPackage.size());
        for (size_t i = 0; i < vecPackage.size(); ++i)
        {
            vecRange[i].strDat = std::move(vecPackage[i]);
            vecRange[i].uEnd = vecSizeHint[i];
            vecRange[i].uFirstOrder = static_cast<uint32_t>(i);
        }
        auto spPlan = std::make_shared<PemFetchPlan>(std::vector<FetchRecord>(), std::vector<uint64_t>(),
                                                     std::move(vecRange), /*bPackages=*/true, vecSource, 0,
                                                     UINT64_MAX, PemFetchPlan::LinkFn());
        return Install(spPlan);
    }
    catch (...)
    {
        CORVANE_REPORT("std::bad_alloc");
        return false;
    }
}

void PemFetchScheduler::End()
{
    std::shared_ptr<PemFetchPlan> spPlan;
    {
        std::lock_guard<std::mutex> lock(m_mtx);
        spPlan.swap(m_spPlan);
    }
    if (spPlan)
    {
        spPlan->Stop(false);
    }
}

void PemFetchScheduler::Cancel()
{
    if (std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan())
    {
        spPlan->Stop(true);
    }
}

FetchTake PemFetchScheduler::TakeRecord(uint64_t uKey, IFile** ppFile)
{
    *ppFile = nullptr;
    std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan();
    return spPlan ? spPlan->TakeRecord(uKey, ppFile) : FetchTake::NotPlanned;
}

FetchTake PemFetchScheduler::WaitPackage(const std::string& strDat)
{
    std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan();
    return spPlan ? spPlan->WaitPackage(strDat) : FetchTake::NotPlanned;
}

int PemFetchScheduler::NextArrival(uint32_t* puOrder, uint32_t uWaitMs)
{
    std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan();
    return spPlan ? spPlan->NextArrival(puOrder, uWaitMs) : 2;
}

void PemFetchScheduler::NoteChecked()
{
    if (std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan())
    {
        spPlan->NoteChecked();
    }
}

void PemFetchScheduler::Progress(CORVANE_FETCH_PROGRESS& progress)
{
    progress.uBytesPlanned = 0;
    progress.uBytesDone = 0;
    progress.uFilesPlanned = 0;
    progress.uFilesReady = 0;
    if (std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan())
    {
        spPlan->Progress(progress);
    }
}

void PemFetchScheduler::SetMemoryBound(uint64_t uBytes)
{
    std::lock_guard<std::mutex> lock(m_mtx);
    m_uMemoryBound = uBytes;
}

void PemFetchScheduler::SetSpillThreshold(uint64_t uBytes)
{
    std::lock_guard<std::mutex> lock(m_mtx);
    m_uSpillBytes = uBytes;
}

uint64_t PemFetchScheduler::HighWater()
{
    std::shared_ptr<PemFetchPlan> spPlan = CurrentPlan();
    return spPlan ? spPlan->HighWater() : 0;
}

} // namespace NSCorvane
