#include "OrvelWriteBatch.h"

#include "OrvelCrashPoint.h"
#include "OrvelFileError.h"
#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <mutex>

namespace
{

// Up to this many files an fsync each is cheaper than flushing the whole file
// system; above it one file-system sync costs one journal commit instead of one
// per file.
constexpr int kPerFileSyncLimit = 16;

} // namespace

OrvelWriteBatch::OrvelWriteBatch(const QString& strRoot) : m_strRoot(strRoot) {}

void OrvelWriteBatch::AddFile(const QString& strPath)
{
    const QString strDir = QFileInfo(strPath).absolutePath();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_setFiles.insert(strPath);
        m_setDirs.insert(strDir);
    }
    // One file done, the next not begun.
    OrvelCrashPoint::Reached("batch.file-added");
}

void OrvelWriteBatch::AddDirectory(const QString& strDir)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_setDirs.insert(strDir);
}

int OrvelWriteBatch::PendingFiles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_setFiles.size();
}

bool OrvelWriteBatch::Flush(QString* pstrError)
{
    OrvelCrashPoint::Reached("batch.flush");
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_setFiles.isEmpty() && m_setDirs.isEmpty())
        return true;
    int nCode = 0;
    if (m_setFiles.size() > kPerFileSyncLimit && OrvelPlatform::SyncFileSystemOf(m_strRoot, &nCode))
    {
        m_setFiles.clear();
        m_setDirs.clear();
        return true;
    }
    for (auto it = m_setFiles.begin(); it != m_setFiles.end();)
    {
        // A file replaced or removed again since is no longer ours to flush.
        if (!QFileInfo::exists(*it))
        {
            it = m_setFiles.erase(it);
            continue;
        }
        if (!OrvelPlatform::SyncPath(*it, false, &nCode))
        {
            if (pstrError != nullptr)
                *pstrError = OrvelFileError::Format(
                    QCoreApplication::translate("OrvelFileService", "flush local file"), *it, QString(),
                    nCode, false);
            return false;
        }
        it = m_setFiles.erase(it);
    }
    for (auto it = m_setDirs.begin(); it != m_setDirs.end();)
    {
        if (QFileInfo(*it).isDir() && !OrvelPlatform::SyncPath(*it, true, &nCode))
        {
            if (pstrError != nullptr)
                *pstrError =
                    OrvelFileError::Format(QCoreApplication::translate("OrvelFileService", "flush directory"),
                                           *it, QString(), nCode, false);
            return false;
        }
        it = m_setDirs.erase(it);
    }
    return true;
}
