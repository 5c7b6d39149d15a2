#include "platform/OrvelProcessSnapshot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace OrvelPlatform
{

namespace
{
// The kernel cuts comm to 15 bytes; a name of that length may be longer.
constexpr int kCommLimit = 15;

QString ReadComm(quint32 uPid)
{
    QFile file(QStringLiteral("/proc/%1/comm").arg(uPid));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll()).trimmed();
}
} // namespace

bool SnapshotProcesses(std::vector<ProcessEntry>* pvecOut, QString* pstrError)
{
    pvecOut->clear();
    QDir proc(QStringLiteral("/proc"));
    if (!proc.exists())
    {
        *pstrError = QStringLiteral("/proc is not available");
        return false;
    }
    const QStringList vecEntries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& strEntry : vecEntries)
    {
        bool bNumber = false;
        const quint32 uPid = strEntry.toUInt(&bNumber);
        if (!bNumber || uPid == 0)
            continue;
        ProcessEntry entry;
        entry.uPid = uPid;
        entry.strExecutableName = ReadComm(uPid);
        if (entry.strExecutableName.size() >= kCommLimit)
        {
            QString strImage;
            QString strIgnored;
            if (ProcessImagePath(uPid, &strImage, &strIgnored))
                entry.strExecutableName = QFileInfo(strImage).fileName();
        }
        if (!entry.strExecutableName.isEmpty())
            pvecOut->push_back(entry);
    }
    return true;
}

bool ProcessImagePath(quint32 uPid, QString* pstrPath, QString* pstrError)
{
    const QByteArray link = QStringLiteral("/proc/%1/exe").arg(uPid).toLocal8Bit();
    char szPath[PATH_MAX + 1];
    const ssize_t nLength = ::readlink(link.constData(), szPath, PATH_MAX);
    if (nLength < 0)
    {
        *pstrError = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(link),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    szPath[nLength] = '\0';
    *pstrPath = QString::fromLocal8Bit(szPath, static_cast<int>(nLength));
    return true;
}

QString ExecutableSuffix()
{
    return QString();
}

Qt::CaseSensitivity FileNameCaseSensitivity()
{
    return Qt::CaseSensitive;
}

} // namespace OrvelPlatform
