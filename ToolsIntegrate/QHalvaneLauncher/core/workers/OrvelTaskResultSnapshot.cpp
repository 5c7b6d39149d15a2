#include "workers/OrvelTaskResultSnapshot.h"

#include <utility>

void TaskResultSnapshot::Store(TaskResultData data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data = std::move(data);
}

TaskResultData TaskResultSnapshot::Read() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_data;
}

void TaskResultSnapshot::Clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_data = TaskResultData();
}
