#include "LauncherLog.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace
{
const char kStampFormat[] = "yyyyMMdd_HHmmss";
const int kStampLength = 15;

QString DefaultPrefix()
{
    QString strName = QCoreApplication::applicationName().toLower();
    strName.replace(QLatin1Char(' '), QLatin1Char('_'));
    return strName.isEmpty() ? QStringLiteral("app") : strName;
}
} // namespace

LauncherLog& LauncherLog::instance()
{
    static LauncherLog log(QCoreApplication::applicationDirPath());
    return log;
}

LauncherLog::LauncherLog(const QString& strAppDir)
    : m_strAppDir(QDir::cleanPath(QDir(strAppDir).absolutePath())), m_strPrefix(DefaultPrefix()),
      m_strRunStamp(QDateTime::currentDateTime().toString(kStampFormat))
{
}

QString LauncherLog::logDirectory() const
{
    return m_strAppDir + QStringLiteral("/_logs");
}

QString LauncherLog::logFilePath() const
{
    QMutexLocker lock(&m_mutex);
    return logFilePathLocked();
}

QString LauncherLog::logFilePathLocked() const
{
    return logDirectory() + QLatin1Char('/') + QStringLiteral("%1_%2.log").arg(m_strPrefix, m_strRunStamp);
}

void LauncherLog::initialise(const QString& strPrefix, int nRetentionDays)
{
    QMutexLocker lock(&m_mutex);
    if (!strPrefix.isEmpty())
        m_strPrefix = strPrefix;
    m_nRetentionDays = nRetentionDays > 0 ? nRetentionDays : kDefaultRetentionDays;
    QDir().mkpath(logDirectory());
    pruneLocked();
}

void LauncherLog::pruneLocked() const
{
    const QDir dir(logDirectory());
    if (!dir.exists() || m_nRetentionDays < 1)
        return;
    const QDate dtCutOff = QDate::currentDate().addDays(1 - m_nRetentionDays);
    const QStringList vecNames =
        dir.entryList(QStringList{m_strPrefix + QStringLiteral("_*.log")}, QDir::Files);
    const int nExpectedLength = m_strPrefix.size() + 1 + kStampLength + 4;
    for (const QString& strName : vecNames)
    {
        if (strName.size() != nExpectedLength)
            continue;
        const QDateTime dtStamp =
            QDateTime::fromString(strName.mid(m_strPrefix.size() + 1, kStampLength), kStampFormat);
        if (dtStamp.isValid() && dtStamp.date() < dtCutOff)
            QFile::remove(dir.filePath(strName));
    }
}

void LauncherLog::write(const QString& strMessage)
{
    QMutexLocker lock(&m_mutex);
    QDir().mkpath(logDirectory());
    QFile file(logFilePathLocked());
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << '[' << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) << "] "
           << strMessage << '\n';
}
