#include "workers/OrvelStaleFiles.h"

#include "OrvelFileService.h"
#include "OrvelLocalWrite.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"
#include "platform/OrvelNativeFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSet>

namespace
{

// The texts of this file, in the OrvelStaleFiles translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelStaleFiles)
};

} // namespace

OrvelStaleFiles::OrvelStaleFiles() = default;
OrvelStaleFiles::~OrvelStaleFiles() = default;

void OrvelStaleFiles::Clear()
{
    m_pBaseline.reset();
    m_vecCandidates.clear();
    m_linkedPaths.Clear();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecRemoved.clear();
    m_vecKept.clear();
    m_vecKeptReasons.clear();
}

bool OrvelStaleFiles::Collect(std::unique_ptr<OrvelFileService> pBaseline, const QStringList& vecTarget,
                              QString* pstrError)
{
    Clear();
    if (!pBaseline)
    {
        *pstrError = Text::tr("File service unavailable");
        return false;
    }
    QStringList vecBaseline;
    if (!pBaseline->ListAllFilesFiltered(&vecBaseline, pstrError))
        return false;
    QSet<QString> setTarget;
    for (const QString& strPath : vecTarget)
        setTarget.insert(OrvelStorePath::Normalise(strPath));
    for (const QString& strPath : qAsConst(vecBaseline))
    {
        if (!strPath.isEmpty() && !setTarget.contains(OrvelStorePath::Normalise(strPath)))
            m_vecCandidates.push_back(strPath);
    }
    // The same order in every run, whatever order the store lists in.
    m_vecCandidates.sort();
    m_pBaseline = std::move(pBaseline);
    return true;
}

OrvelStaleFiles::Outcome OrvelStaleFiles::RemoveOne(const QString& strWorkPath, int nIndex,
                                                    OrvelWriteBatch* pBatch, QString* pstrDetail)
{
    const QString strRelative = m_vecCandidates.at(nIndex);
    const auto keep = [&](const QString& strReason)
    {
        *pstrDetail = strReason;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_vecKept.push_back(strRelative);
        m_vecKeptReasons.push_back(strReason);
        return Kept;
    };

    QString strLocal;
    QString strError;
    if (!OrvelStorePath::JoinUnder(strWorkPath, strRelative, &strLocal, &strError))
        return keep(strError);
    const QFileInfo before(strLocal);
    if (!before.exists() && !before.isSymLink())
        return Absent;
    if (m_linkedPaths.IsLinked(strWorkPath, OrvelStorePath::Normalise(strRelative)) || before.isSymLink())
        return keep(Text::tr("it is reached through a link"));
    if (!before.isFile())
        return keep(Text::tr("it is not a regular file"));

    const FileCompareResult compare = m_pBaseline->CompareLocalFile(strRelative, strLocal);
    if (!compare.ok)
        return keep(Text::tr("it could not be compared with the store: %1").arg(compare.error));
    if (!compare.same)
        return keep(Text::tr("it is not what the store published (made or changed here)"));
    // Written to while it was hashed: whatever it holds now is the user's.
    const QFileInfo after(strLocal);
    if (after.size() != before.size() || after.lastModified() != before.lastModified())
        return keep(Text::tr("it changed while it was compared"));

    if (!OrvelPlatform::RemoveFile(strLocal))
    {
        *pstrDetail = Text::tr("Failed to remove a file the target version does not hold: %1").arg(strLocal);
        return Failed;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vecRemoved.push_back(strRelative);
    if (pBatch != nullptr)
        pBatch->AddDirectory(before.absolutePath());
    OrvelLocalWrite::PruneEmptyDirectories(strWorkPath, strLocal, pBatch);
    return Removed;
}

QStringList OrvelStaleFiles::RemovedFiles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecRemoved;
}

QStringList OrvelStaleFiles::KeptFiles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecKept;
}

QStringList OrvelStaleFiles::KeptReasons() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_vecKeptReasons;
}
