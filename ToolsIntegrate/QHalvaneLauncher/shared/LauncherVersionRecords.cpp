// The product and launcher version records of LauncherSettings. Each call opens
// its own QSettings on the record file, so the start-up thread may read them.
#include "LauncherSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace
{
const char kVersionKey[] = "General/currSyncVersion";
const char kTagKey[] = "General/currSyncGuid";

std::unique_ptr<QSettings> OpenRecord(const QString& strPath)
{
    auto pRecord = std::make_unique<QSettings>(strPath, QSettings::IniFormat);
    pRecord->setIniCodec("UTF-8");
    return pRecord;
}

bool EnsureCacheDir(const QString& strRecordPath)
{
    return QDir().mkpath(QFileInfo(strRecordPath).absolutePath());
}
} // namespace

bool LauncherSettings::readProductRecord(quint32* puVersion, QString* pstrTag) const
{
    const QFileInfo info(productRecordPath());
    if (!info.exists() || !info.isFile())
        return false;
    auto pRecord = OpenRecord(info.filePath());
    if (!pRecord->contains(kVersionKey))
        return false;
    bool bOk = false;
    const quint32 uVersion = pRecord->value(kVersionKey).toString().toUInt(&bOk);
    if (!bOk)
        return false;
    if (puVersion != nullptr)
        *puVersion = uVersion;
    if (pstrTag != nullptr)
        *pstrTag = pRecord->value(kTagKey).toString();
    return true;
}

bool LauncherSettings::writeProductRecord(quint32 uVersion, const QString& strTag)
{
    if (!EnsureCacheDir(productRecordPath()))
        return false;
    auto pRecord = OpenRecord(productRecordPath());
    pRecord->setValue(kVersionKey, uVersion);
    pRecord->setValue(kTagKey, strTag);
    pRecord->sync();
    return pRecord->status() == QSettings::NoError;
}

void LauncherSettings::clearProductRecord()
{
    const QString strPath = productRecordPath();
    if (!QFileInfo::exists(strPath))
        return;
    {
        auto pRecord = OpenRecord(strPath);
        pRecord->remove(QStringLiteral("General"));
        pRecord->sync();
    }
    if (QFileInfo(strPath).size() == 0)
        QFile::remove(strPath);
}

QString LauncherSettings::launcherRecordTag() const
{
    return OpenRecord(launcherRecordPath())->value(kTagKey).toString().trimmed();
}

quint32 LauncherSettings::launcherRecordVersion() const
{
    bool bOk = false;
    const quint32 uVersion = OpenRecord(launcherRecordPath())->value(kVersionKey).toString().toUInt(&bOk);
    return bOk ? uVersion : 0;
}

void LauncherSettings::setLauncherRecordTag(const QString& strTag)
{
    auto pRecord = OpenRecord(launcherRecordPath());
    if (pRecord->contains(kTagKey) && pRecord->value(kTagKey).toString() == strTag)
        return;
    EnsureCacheDir(launcherRecordPath());
    pRecord->setValue(kTagKey, strTag);
    pRecord->sync();
}

void LauncherSettings::setLauncherRecordVersion(quint32 uVersion)
{
    auto pRecord = OpenRecord(launcherRecordPath());
    bool bOk = false;
    const quint32 uStored = pRecord->value(kVersionKey).toString().toUInt(&bOk);
    if (pRecord->contains(kVersionKey) && bOk && uStored == uVersion)
        return;
    EnsureCacheDir(launcherRecordPath());
    pRecord->setValue(kVersionKey, uVersion);
    pRecord->sync();
}
