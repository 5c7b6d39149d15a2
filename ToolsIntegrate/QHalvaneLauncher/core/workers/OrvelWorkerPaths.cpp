#include "workers/OrvelWorkerPaths.h"

#include "OrvelStorePath.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator64>
#include <QSet>

#include <random>

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

void ShuffleFileOrder(QStringList* pList)
{
    if (pList->size() < 2)
        return;
    std::mt19937 generator(static_cast<quint32>(QRandomGenerator64::global()->generate()));
    for (int i = 1; i < pList->size(); ++i)
    {
        std::uniform_int_distribution<int> pick(0, i);
        pList->swapItemsAt(i, pick(generator));
    }
}
