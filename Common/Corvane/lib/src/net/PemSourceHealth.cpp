// SPDX-License-Identifier: MIT
#include "net/PemSourceHealth.h"

#include "common/CorvaneLog.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace NSCorvane
{

struct PemSourceHealth::Source
{
    enum class State
    {
        Untried,  // not asked yet in this task
        Trying,   // an admitted first attempt is under way
        Answered, // answered in this task
        Failed,   // passed over until a reset
    };
    std::string strUrl;
    State eState = State::Untried;
    std::string strReason;
};

namespace
{

using State = PemSourceHealth::Source::State;

// What the process knows about each base URL. Kept for the process's life:
// readers come and go within one task, the knowledge must not.
struct Memory
{
    std::mutex mtx;
    std::condition_variable cv;
    std::map<std::string, std::shared_ptr<PemSourceHealth::Source>> mapByUrl;
};

Memory& TheMemory()
{
    static Memory* s_pMemory = new Memory(); // never destroyed: readers may outlive static destruction
    return *s_pMemory;
}

void ResetSource(PemSourceHealth::Source& source)
{
    // An attempt under way keeps its turn; its outcome still counts.
    if (source.eState != State::Trying)
    {
        source.eState = State::Untried;
    }
    source.strReason.clear();
}

} // namespace

void PemSourceHealth::SetSources(const std::vector<std::string>& vecUrl)
{
    Memory& memory = TheMemory();
    std::lock_guard<std::mutex> lock(memory.mtx);
    m_vecSource.clear();
    for (const std::string& strUrl : vecUrl)
    {
        std::shared_ptr<Source>& spSource = memory.mapByUrl[strUrl];
        if (!spSource)
        {
            spSource = std::make_shared<Source>();
            spSource->strUrl = strUrl;
        }
        m_vecSource.push_back(spSource);
    }
}

size_t PemSourceHealth::Count() const
{
    return m_vecSource.size(); // fixed after set-up
}

bool PemSourceHealth::OtherUsable(size_t uIndex) const
{
    for (size_t i = 0; i < m_vecSource.size(); ++i)
    {
        if (i != uIndex && m_vecSource[i] != m_vecSource[uIndex] && m_vecSource[i]->eState != State::Failed)
        {
            return true;
        }
    }
    return false;
}

bool PemSourceHealth::IsUsable(size_t uIndex) const
{
    Memory& memory = TheMemory();
    std::lock_guard<std::mutex> lock(memory.mtx);
    return uIndex < m_vecSource.size() &&
           (m_vecSource[uIndex]->eState != State::Failed || !OtherUsable(uIndex));
}

bool PemSourceHealth::Admit(size_t uIndex)
{
    Memory& memory = TheMemory();
    std::unique_lock<std::mutex> lock(memory.mtx);
    if (uIndex >= m_vecSource.size())
    {
        return false;
    }
    Source& source = *m_vecSource[uIndex];
    // Waiting only pays while another source could take over; the last one is
    // asked by everybody at once, as without a second source.
    memory.cv.wait(lock, [&] { return source.eState != State::Trying || !OtherUsable(uIndex); });
    if (source.eState == State::Failed)
    {
        return !OtherUsable(uIndex);
    }
    if (source.eState == State::Untried && OtherUsable(uIndex))
    {
        source.eState = State::Trying;
    }
    return true;
}

void PemSourceHealth::MarkAnswered(size_t uIndex)
{
    Memory& memory = TheMemory();
    {
        std::lock_guard<std::mutex> lock(memory.mtx);
        if (uIndex >= m_vecSource.size() || m_vecSource[uIndex]->eState == State::Failed)
        {
            return; // a late answer of an attempt begun before the failure
        }
        m_vecSource[uIndex]->eState = State::Answered;
    }
    memory.cv.notify_all();
}

bool PemSourceHealth::MarkFailed(size_t uIndex, const std::string& strReason)
{
    Memory& memory = TheMemory();
    std::string strLine;
    bool bPassedOver = false;
    {
        std::lock_guard<std::mutex> lock(memory.mtx);
        if (uIndex >= m_vecSource.size())
        {
            return false;
        }
        Source& source = *m_vecSource[uIndex];
        if (source.eState == State::Failed)
        {
            return true; // concurrent attempts that began before the first failure
        }
        if (OtherUsable(uIndex))
        {
            source.eState = State::Failed;
            source.strReason = strReason;
            bPassedOver = true;
            strLine = "Source " + std::to_string(uIndex) + " (" + source.strUrl +
                      ") passed over for the rest of the task: " + strReason;
        }
        else if (source.eState == State::Trying)
        {
            // The last source stays in use: the next caller asks it again.
            source.eState = State::Untried;
        }
    }
    memory.cv.notify_all();
    if (bPassedOver)
    {
        CorvaneUtil::WriteLogLine(strLine.c_str());
    }
    return bPassedOver;
}

void PemSourceHealth::Release(size_t uIndex)
{
    Memory& memory = TheMemory();
    {
        std::lock_guard<std::mutex> lock(memory.mtx);
        if (uIndex >= m_vecSource.size() || m_vecSource[uIndex]->eState != State::Trying)
        {
            return;
        }
        m_vecSource[uIndex]->eState = State::Untried;
    }
    memory.cv.notify_all();
}

void PemSourceHealth::Reset()
{
    Memory& memory = TheMemory();
    {
        std::lock_guard<std::mutex> lock(memory.mtx);
        for (const std::shared_ptr<Source>& spSource : m_vecSource)
        {
            ResetSource(*spSource);
        }
    }
    memory.cv.notify_all();
}

void PemSourceHealth::ResetAll()
{
    Memory& memory = TheMemory();
    {
        std::lock_guard<std::mutex> lock(memory.mtx);
        for (auto& [strUrl, spSource] : memory.mapByUrl)
        {
            ResetSource(*spSource);
        }
    }
    memory.cv.notify_all();
}

std::string PemSourceHealth::FailureReason(size_t uIndex) const
{
    Memory& memory = TheMemory();
    std::lock_guard<std::mutex> lock(memory.mtx);
    return uIndex < m_vecSource.size() ? m_vecSource[uIndex]->strReason : std::string();
}

} // namespace NSCorvane
