#include "workers/OrvelWorkerPaths.h"

#include "OrvelStorePath.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator64>
#include <QSet>

#include <algorithm>
#include <utility>
#include <vector>

QString NormalizeRelativePath(const QString& strPath)
{
    // Separators first, so that "a\..\b" is cleaned like "a/../b".
    QString strClean = QDir::cleanPath(QString(strPath).replace(QLatin1Char('\\'), QLatin1Char('/')));
    if (strClean == QLatin1String(".") || strClean == QLatin1String("/"))
        return QString();
    int nLead = 0;
    while (nLead < strClean.size() && strClean.at(nLead) == QLatin1Char('/'))
        ++nLead;
    return strClean.mid(nLead);
}

bool IsCriticalReplacementPath(const QString& strPath)
{
    const QString strLower = OrvelStorePath::AsciiLower(NormalizeRelativePath(strPath));
    if (strLower.isEmpty())
        return false;
    static const char* const kPrefixes[] = {"editortool/", "client/bin64/", "client/cachedshaders/",
                                            "client/cachedshaders_mb/"};
    for (const char* pszPrefix : kPrefixes)
    {
        if (strLower.startsWith(QLatin1String(pszPrefix)))
            return true;
    }
    return false;
}

bool IsLauncherSelfPath(const QString& strPath)
{
    return OrvelStorePath::IsLauncherSelfPath(strPath);
}

QStringList FilterLauncherSelfPaths(const QStringList& vecPaths)
{
    QStringList vecOut;
    vecOut.reserve(vecPaths.size());
    for (const QString& strPath : vecPaths)
    {
        if (!strPath.isEmpty() && !IsLauncherSelfPath(strPath))
            vecOut.push_back(strPath);
    }
    return vecOut;
}

void AppendUnseen(const QStringList& vecFrom, QStringList* pOut, QSet<QString>* pSeen)
{
    for (const QString& strEntry : vecFrom)
    {
        if (strEntry.isEmpty() || pSeen->contains(strEntry))
            continue;
        pSeen->insert(strEntry);
        pOut->push_back(strEntry);
    }
}

bool LocalPathTaken(const QString& strLocal)
{
    const QFileInfo info(strLocal);
    return info.exists() || info.isSymLink();
}

void OrderForFetch(QStringList* pList, const std::function<qint64(const QString&)>& fnSize)
{
    if (pList->size() < 2)
        return;
    const int nStart = static_cast<int>(QRandomGenerator64::global()->bounded(pList->size()));
    std::rotate(pList->begin(), pList->begin() + nStart, pList->end());
    std::vector<std::pair<qint64, QString>> vecLarge;
    QStringList vecRest;
    vecRest.reserve(pList->size());
    for (const QString& strPath : *pList)
    {
        const qint64 nSize = fnSize(strPath);
        if (nSize >= kLargeFetchBytes)
            vecLarge.emplace_back(nSize, strPath);
        else
            vecRest.push_back(strPath);
    }
    std::stable_sort(vecLarge.begin(), vecLarge.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    pList->clear();
    for (const auto& large : vecLarge)
        pList->push_back(large.second);
    pList->append(vecRest);
}
