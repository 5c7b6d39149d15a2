#include "workers/OrvelChangedFiles.h"

void OrvelChangedFiles::Add(const QString& strRelative, bool bCreated)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_setChanged.contains(strRelative))
        return;
    m_setChanged.insert(strRelative);
    m_vecChanged.push_back(strRelative);
    if (bCreated)
        m_vecCreated.push_back(strRelative);
}

void OrvelChangedFiles::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecChanged.clear();
    m_vecCreated.clear();
    m_setChanged.clear();
}

QStringList OrvelChangedFiles::Changed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecChanged;
}

QStringList OrvelChangedFiles::Created() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecCreated;
}
