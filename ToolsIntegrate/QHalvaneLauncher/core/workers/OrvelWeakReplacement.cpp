#include "workers/OrvelWeakReplacement.h"

#include "OrvelStorePath.h"
#include "workers/OrvelWorkerPaths.h"

void WeakReplacementCollector::Record(const WeakReplacementFailure& failure)
{
    const QString strKey = OrvelStorePath::AsciiLower(NormalizeRelativePath(failure.strRelativePath));
    if (strKey.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapFailures[strKey] = failure;
}

void WeakReplacementCollector::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mapFailures.clear();
}

std::vector<WeakReplacementFailure> WeakReplacementCollector::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<WeakReplacementFailure> vecOut;
    vecOut.reserve(m_mapFailures.size());
    for (const auto& entry : m_mapFailures)
        vecOut.push_back(entry.second);
    return vecOut;
}

size_t WeakReplacementCollector::Count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mapFailures.size();
}
