#include "OrvelPathGuard.h"

#include <QFileInfo>

bool OrvelResolvesInside(const QString& strTargetDir, const QString& strRelativePath)
{
    const QFileInfo root(strTargetDir);
    // A target that does not exist yet holds no links: all of it is made anew.
    if (!root.exists() && !root.isSymLink())
        return true;
    const QString strRoot = root.canonicalFilePath();
    if (strRoot.isEmpty())
        return false;
    // The deepest directory of the file's parent chain that exists is where the
    // write really lands; the missing rest is created beneath it.
    QString strDir = QFileInfo(strTargetDir + QLatin1Char('/') + strRelativePath).absolutePath();
    for (;;)
    {
        const QFileInfo info(strDir);
        if (info.isSymLink() && !info.exists())
            return false;
        if (info.exists())
            break;
        const QString strParent = info.absolutePath();
        if (strParent == strDir)
            return false;
        strDir = strParent;
    }
    const QString strResolved = QFileInfo(strDir).canonicalFilePath();
    return strResolved == strRoot || strResolved.startsWith(strRoot + QLatin1Char('/')) ||
           (strRoot.endsWith(QLatin1Char('/')) && strResolved.startsWith(strRoot));
}
