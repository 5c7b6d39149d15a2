#include "workers/LinkedPathCache.h"

#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace
{

// Junctions count too: like a symbolic link they lead out of the working path.
bool IsLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction();
}

} // namespace

bool LinkedPathCache::IsLinked(const QString& strRoot, const QString& strRelativePath)
{
    if (strRoot.isEmpty() || strRelativePath.isEmpty())
        return false;
    const QString strBase = QDir::cleanPath(strRoot);
    const QStringList vecParts = strRelativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString strPath = strBase;
    for (int i = 0; i + 1 < vecParts.size(); ++i)
    {
        strPath += QLatin1Char('/') + vecParts.at(i);
        if (IsLinkedDirectory(strPath))
            return true;
    }
    // The file itself is not cached: it is looked at once per run anyway.
    return IsLink(QFileInfo(strBase + QLatin1Char('/') + vecParts.join(QLatin1Char('/'))));
}

void LinkedPathCache::Clear()
{
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    m_setLinked.clear();
    m_setNotLinked.clear();
}

bool LinkedPathCache::IsLinkedDirectory(const QString& strDirectory)
{
    {
        std::shared_lock<std::shared_mutex> lock(m_mutex);
        if (m_setLinked.contains(strDirectory))
            return true;
        if (m_setNotLinked.contains(strDirectory))
            return false;
    }
    // A directory that does not exist yet is not a link; it is created by the download.
    const bool bLinked = IsLink(QFileInfo(strDirectory));
    std::unique_lock<std::shared_mutex> lock(m_mutex);
    (bLinked ? m_setLinked : m_setNotLinked).insert(strDirectory);
    return bLinked;
}
