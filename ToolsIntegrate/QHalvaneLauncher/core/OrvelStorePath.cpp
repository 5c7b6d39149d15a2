#include "OrvelStorePath.h"

#include <QCoreApplication>
#include <QDir>

namespace OrvelStorePath
{

namespace
{

// Refusals reach the log panel and the error boxes.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelStorePath)
};

} // namespace

QString AsciiLower(const QString& strText)
{
    QString strOut = strText;
    for (QChar& ch : strOut)
    {
        const ushort uCode = ch.unicode();
        if (uCode >= 'A' && uCode <= 'Z')
            ch = QChar(static_cast<ushort>(uCode + ('a' - 'A')));
    }
    return strOut;
}

QString Normalise(const QString& strStorePath)
{
    QString strOut = AsciiLower(strStorePath);
    strOut.replace(QLatin1Char('\\'), QLatin1Char('/'));
    int nSkip = 0;
    while (nSkip < strOut.size() && strOut.at(nSkip) == QLatin1Char('/'))
        ++nSkip;
    return strOut.mid(nSkip);
}

QByteArray ToLibrary(const QString& strStorePath)
{
    return Normalise(strStorePath).toUtf8();
}

bool IsSafeRelative(const QString& strStorePath, QString* pstrError)
{
    auto refuse = [&](const QString& strWhy)
    {
        if (pstrError != nullptr)
            *pstrError = Text::tr("Unsafe store path refused: %1 (%2)").arg(strStorePath, strWhy);
        return false;
    };
    QString strPath = strStorePath;
    strPath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (strPath.isEmpty())
        return refuse(Text::tr("empty path"));
    if (strPath.contains(QChar(0)))
        return refuse(Text::tr("NUL character"));
    if (strPath.startsWith(QLatin1Char('/')))
        return refuse(Text::tr("absolute path"));
    if (strPath.size() >= 2 && strPath.at(1) == QLatin1Char(':'))
        return refuse(Text::tr("drive"));
    const QStringList vecParts = strPath.split(QLatin1Char('/'));
    for (const QString& strPart : vecParts)
    {
        if (strPart.isEmpty())
            return refuse(Text::tr("empty component"));
        if (strPart == QLatin1String(".") || strPart == QLatin1String(".."))
            return refuse(Text::tr("\"%1\" component").arg(strPart));
        // A colon inside a component names a stream or a drive on some systems.
        if (strPart.contains(QLatin1Char(':')))
            return refuse(Text::tr("\":\" in a name"));
    }
    return true;
}

bool JoinUnder(const QString& strRoot, const QString& strStorePath, QString* pstrLocalPath,
               QString* pstrError)
{
    if (!IsSafeRelative(strStorePath, pstrError))
        return false;
    const QString strCleanRoot = QDir::cleanPath(QDir(strRoot).absolutePath());
    const QString strJoined = QDir::cleanPath(strCleanRoot + QLatin1Char('/') + Normalise(strStorePath));
    const QString strPrefix =
        strCleanRoot.endsWith(QLatin1Char('/')) ? strCleanRoot : strCleanRoot + QLatin1Char('/');
    if (!strJoined.startsWith(strPrefix) || strJoined.size() == strPrefix.size())
    {
        if (pstrError != nullptr)
            *pstrError =
                Text::tr("Unsafe store path refused: %1 (leaves %2)").arg(strStorePath, strCleanRoot);
        return false;
    }
    if (pstrLocalPath != nullptr)
        *pstrLocalPath = strJoined;
    return true;
}

QString LauncherDirectory()
{
    static const QString s_strDir = AsciiLower(QStringLiteral("EditorTool/QHalvaneLauncher"));
    return s_strDir;
}

bool IsLauncherSelfPath(const QString& strNormalisedPath)
{
    const QString& strDir = LauncherDirectory();
    return strNormalisedPath == strDir ||
           (strNormalisedPath.size() > strDir.size() && strNormalisedPath.startsWith(strDir) &&
            strNormalisedPath.at(strDir.size()) == QLatin1Char('/'));
}

} // namespace OrvelStorePath
