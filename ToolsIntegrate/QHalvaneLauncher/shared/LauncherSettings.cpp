#include "LauncherSettings.h"

#include "LauncherIni.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace
{
const QString kWorkPathKey = QStringLiteral("WorkPath");
const QString kRunInBackgroundKey = QStringLiteral("RunInBackground");
const QString kLanguageKey = QStringLiteral("Language");
const QString kDownloadLimitKey = QStringLiteral("DownloadLimitBytesPerSec");
const char kPreloadArray[] = "PreloadCompletedItems";
const char kDefaultLanguage[] = "zh_CN";
} // namespace

LauncherSettings& LauncherSettings::instance()
{
    static LauncherSettings settings(QCoreApplication::applicationDirPath());
    return settings;
}

LauncherSettings::LauncherSettings(const QString& strAppDir)
    : m_strAppDir(QDir::cleanPath(QDir(strAppDir).absolutePath())),
      m_pSettings(std::make_unique<QSettings>(settingsFilePath(), QSettings::IniFormat))
{
    m_pSettings->setIniCodec("UTF-8");
}

LauncherSettings::~LauncherSettings() = default;

QString LauncherSettings::settingsFilePath() const
{
    return m_strAppDir + QStringLiteral("/launcher.ini");
}

QString LauncherSettings::productRecordPath() const
{
    return m_strAppDir + QStringLiteral("/_cache/veride.ini");
}

QString LauncherSettings::launcherRecordPath() const
{
    return m_strAppDir + QStringLiteral("/_cache/verlauncher.ini");
}

QString LauncherSettings::defaultWorkPath() const
{
    return m_strAppDir + QStringLiteral("/IDE");
}

QString LauncherSettings::normaliseWorkPath(const QString& strEntry) const
{
    const QString strTrimmed = strEntry.trimmed();
    if (strTrimmed.isEmpty())
        return defaultWorkPath();
    return QDir::cleanPath(QFileInfo(strTrimmed).absoluteFilePath());
}

void LauncherSettings::writeLocked(const QString& strKey, const QVariant& value)
{
    LauncherIni::SetValue(*m_pSettings, strKey, value);
    m_pSettings->sync();
}

QString LauncherSettings::workPath() const
{
    QMutexLocker lock(&m_mutex);
    if (!LauncherIni::Contains(*m_pSettings, kWorkPathKey))
        return defaultWorkPath();
    const QString strValue = LauncherIni::Value(*m_pSettings, kWorkPathKey).toString();
    // An empty value stays empty, so the working-path checks refuse it.
    if (strValue.trimmed().isEmpty())
        return QString();
    return QDir::cleanPath(QFileInfo(strValue).absoluteFilePath());
}

bool LauncherSettings::hasWorkPath() const
{
    QMutexLocker lock(&m_mutex);
    return LauncherIni::Contains(*m_pSettings, kWorkPathKey);
}

void LauncherSettings::setWorkPath(const QString& strPath)
{
    const QString strNew = normaliseWorkPath(strPath);
    const bool bPresent = hasWorkPath();
    if (bPresent && workPath() == strNew)
        return;
    QMutexLocker lock(&m_mutex);
    writeLocked(kWorkPathKey, strNew);
}

LauncherSettings::RunInBackground LauncherSettings::runInBackground() const
{
    QMutexLocker lock(&m_mutex);
    if (!LauncherIni::Contains(*m_pSettings, kRunInBackgroundKey))
        return RunInBackgroundAsk;
    return LauncherIni::Value(*m_pSettings, kRunInBackgroundKey).toBool() ? RunInBackgroundHide
                                                                          : RunInBackgroundExit;
}

void LauncherSettings::setRunInBackground(bool bHideToTray)
{
    const RunInBackground eNew = bHideToTray ? RunInBackgroundHide : RunInBackgroundExit;
    if (runInBackground() == eNew)
        return;
    QMutexLocker lock(&m_mutex);
    writeLocked(kRunInBackgroundKey, bHideToTray);
}

QString LauncherSettings::language() const
{
    QMutexLocker lock(&m_mutex);
    return LauncherIni::Value(*m_pSettings, kLanguageKey, QString::fromLatin1(kDefaultLanguage)).toString();
}

void LauncherSettings::setLanguage(const QString& strLanguage)
{
    QMutexLocker lock(&m_mutex);
    if (LauncherIni::Contains(*m_pSettings, kLanguageKey) &&
        LauncherIni::Value(*m_pSettings, kLanguageKey).toString() == strLanguage)
        return;
    writeLocked(kLanguageKey, strLanguage);
}

quint64 LauncherSettings::downloadLimit() const
{
    QMutexLocker lock(&m_mutex);
    return LauncherIni::Value(*m_pSettings, kDownloadLimitKey, 0).toULongLong();
}

void LauncherSettings::setDownloadLimit(quint64 uBytesPerSecond)
{
    QMutexLocker lock(&m_mutex);
    if (LauncherIni::Contains(*m_pSettings, kDownloadLimitKey) &&
        LauncherIni::Value(*m_pSettings, kDownloadLimitKey).toULongLong() == uBytesPerSecond)
        return;
    writeLocked(kDownloadLimitKey, uBytesPerSecond);
}

QMap<QString, LauncherPreloadItem> LauncherSettings::completedPreloadItems() const
{
    QMutexLocker lock(&m_mutex);
    return completedPreloadItemsLocked();
}

QMap<QString, LauncherPreloadItem> LauncherSettings::completedPreloadItemsLocked() const
{
    QMap<QString, LauncherPreloadItem> mapItems;
    const int nCount = m_pSettings->beginReadArray(kPreloadArray);
    for (int i = 0; i < nCount; ++i)
    {
        m_pSettings->setArrayIndex(i);
        LauncherPreloadItem item;
        item.strKey = m_pSettings->value(QStringLiteral("key")).toString().trimmed();
        if (item.strKey.isEmpty())
            continue;
        item.strName = m_pSettings->value(QStringLiteral("name")).toString().trimmed();
        item.dtCompletedAt = QDateTime::fromString(
            m_pSettings->value(QStringLiteral("completedAt")).toString().trimmed(), Qt::ISODate);
        mapItems.insert(item.strKey, item);
    }
    m_pSettings->endArray();
    return mapItems;
}

void LauncherSettings::markPreloadCompleted(const QString& strKey, const QString& strName,
                                            const QDateTime& dtCompletedAt)
{
    const QString strTrimmedKey = strKey.trimmed();
    if (strTrimmedKey.isEmpty())
        return;
    QMutexLocker lock(&m_mutex);
    QMap<QString, LauncherPreloadItem> mapItems = completedPreloadItemsLocked();
    mapItems.insert(strTrimmedKey, LauncherPreloadItem{strTrimmedKey, strName.trimmed(), dtCompletedAt});

    m_pSettings->remove(kPreloadArray);
    // QMap iterates in ascending key order, which keeps the file stable.
    m_pSettings->beginWriteArray(kPreloadArray, mapItems.size());
    int nIndex = 0;
    for (const LauncherPreloadItem& item : qAsConst(mapItems))
    {
        m_pSettings->setArrayIndex(nIndex++);
        m_pSettings->setValue(QStringLiteral("key"), item.strKey);
        m_pSettings->setValue(QStringLiteral("name"), item.strName);
        m_pSettings->setValue(QStringLiteral("completedAt"), item.dtCompletedAt.toString(Qt::ISODate));
    }
    m_pSettings->endArray();
    m_pSettings->sync();
}
