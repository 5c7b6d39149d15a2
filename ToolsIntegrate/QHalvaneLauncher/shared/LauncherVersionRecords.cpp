// The product and launcher version records of LauncherSettings. Each call opens
// its own QSettings on the record file, so the start-up thread may read them.
#include "LauncherSettings.h"

#include "LauncherIni.h"
#include "OrvelCrashPoint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace
{
const QString kVersionKey = QStringLiteral("currSyncVersion");
const QString kTagKey = QStringLiteral("currSyncGuid");
const QString kPendingKey = QStringLiteral("pendingSyncVersion");
const QString kPendingTaskKey = QStringLiteral("pendingSyncTask");
// The working path the record describes; a record without it predates the key.
const QString kWorkPathKey = QStringLiteral("syncWorkPath");

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

QString CleanPath(const QString& strPath)
{
    return strPath.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(strPath).absoluteFilePath());
}

// The working path a record names; empty when it names none.
QString RecordWorkPath(QSettings& record)
{
    return CleanPath(LauncherIni::Value(record, kWorkPathKey).toString().trimmed());
}
} // namespace

bool LauncherSettings::productRecordForOtherPath(QString* pstrRecordPath) const
{
    if (!QFileInfo(productRecordPath()).isFile())
        return false;
    const QString strRecorded = RecordWorkPath(*OpenRecord(productRecordPath()));
    if (pstrRecordPath != nullptr)
        *pstrRecordPath = strRecorded;
    return !strRecorded.isEmpty() && strRecorded != CleanPath(workPath());
}

bool LauncherSettings::adoptProductRecord()
{
    if (!QFileInfo(productRecordPath()).isFile() || workPath().isEmpty())
        return false;
    auto pRecord = OpenRecord(productRecordPath());
    if (!LauncherIni::Contains(*pRecord, kVersionKey) || LauncherIni::Contains(*pRecord, kWorkPathKey))
        return false;
    LauncherIni::SetValue(*pRecord, kWorkPathKey, CleanPath(workPath()));
    pRecord->sync();
    return pRecord->status() == QSettings::NoError;
}

bool LauncherSettings::readProductRecord(quint32* puVersion, QString* pstrTag) const
{
    const QFileInfo info(productRecordPath());
    if (!info.exists() || !info.isFile() || productRecordForOtherPath(nullptr))
        return false;
    auto pRecord = OpenRecord(info.filePath());
    if (!LauncherIni::Contains(*pRecord, kVersionKey))
        return false;
    bool bOk = false;
    const quint32 uVersion = LauncherIni::Value(*pRecord, kVersionKey).toString().toUInt(&bOk);
    if (!bOk)
        return false;
    if (puVersion != nullptr)
        *puVersion = uVersion;
    if (pstrTag != nullptr)
        *pstrTag = LauncherIni::Value(*pRecord, kTagKey).toString();
    return true;
}

bool LauncherSettings::writeProductRecord(quint32 uVersion, const QString& strTag)
{
    if (!EnsureCacheDir(productRecordPath()))
        return false;
    auto pRecord = OpenRecord(productRecordPath());
    LauncherIni::SetValue(*pRecord, kVersionKey, uVersion);
    LauncherIni::SetValue(*pRecord, kTagKey, strTag);
    LauncherIni::SetValue(*pRecord, kWorkPathKey, CleanPath(workPath()));
    LauncherIni::Remove(*pRecord, kPendingKey);
    LauncherIni::Remove(*pRecord, kPendingTaskKey);
    OrvelCrashPoint::Reached("records.before-write");
    pRecord->sync();
    OrvelCrashPoint::Reached("records.written");
    return pRecord->status() == QSettings::NoError;
}

bool LauncherSettings::markProductRecordPending(quint32 uTarget, const QString& strTask)
{
    if (!EnsureCacheDir(productRecordPath()))
        return false;
    auto pRecord = OpenRecord(productRecordPath());
    LauncherIni::SetValue(*pRecord, kPendingKey, uTarget);
    if (strTask.isEmpty())
        LauncherIni::Remove(*pRecord, kPendingTaskKey);
    else
        LauncherIni::SetValue(*pRecord, kPendingTaskKey, strTask);
    pRecord->sync();
    OrvelCrashPoint::Reached("records.pending-written");
    return pRecord->status() == QSettings::NoError;
}

bool LauncherSettings::productRecordPending() const
{
    if (!QFileInfo(productRecordPath()).isFile() || productRecordForOtherPath(nullptr))
        return false;
    return LauncherIni::Contains(*OpenRecord(productRecordPath()), kPendingKey);
}

bool LauncherSettings::readProductRecordPending(quint32* puTarget, QString* pstrTask) const
{
    if (!productRecordPending())
        return false;
    auto pRecord = OpenRecord(productRecordPath());
    bool bOk = false;
    const quint32 uTarget = LauncherIni::Value(*pRecord, kPendingKey).toString().toUInt(&bOk);
    if (puTarget != nullptr)
        *puTarget = bOk ? uTarget : 0;
    if (pstrTask != nullptr)
        *pstrTask = LauncherIni::Value(*pRecord, kPendingTaskKey).toString().trimmed();
    return true;
}

void LauncherSettings::clearProductRecord()
{
    const QString strPath = productRecordPath();
    if (!QFileInfo::exists(strPath))
        return;
    {
        auto pRecord = OpenRecord(strPath);
        pRecord->remove(QStringLiteral("General"));
        LauncherIni::Remove(*pRecord, kVersionKey);
        LauncherIni::Remove(*pRecord, kTagKey);
        LauncherIni::Remove(*pRecord, kPendingKey);
        LauncherIni::Remove(*pRecord, kPendingTaskKey);
        LauncherIni::Remove(*pRecord, kWorkPathKey);
        pRecord->sync();
    }
    if (QFileInfo(strPath).size() == 0)
        QFile::remove(strPath);
}

QString LauncherSettings::launcherRecordTag() const
{
    return LauncherIni::Value(*OpenRecord(launcherRecordPath()), kTagKey).toString().trimmed();
}

quint32 LauncherSettings::launcherRecordVersion() const
{
    bool bOk = false;
    const quint32 uVersion =
        LauncherIni::Value(*OpenRecord(launcherRecordPath()), kVersionKey).toString().toUInt(&bOk);
    return bOk ? uVersion : 0;
}

void LauncherSettings::setLauncherRecordTag(const QString& strTag)
{
    auto pRecord = OpenRecord(launcherRecordPath());
    if (LauncherIni::Contains(*pRecord, kTagKey) &&
        LauncherIni::Value(*pRecord, kTagKey).toString() == strTag)
        return;
    EnsureCacheDir(launcherRecordPath());
    LauncherIni::SetValue(*pRecord, kTagKey, strTag);
    pRecord->sync();
}

void LauncherSettings::setLauncherRecordVersion(quint32 uVersion)
{
    auto pRecord = OpenRecord(launcherRecordPath());
    bool bOk = false;
    const quint32 uStored = LauncherIni::Value(*pRecord, kVersionKey).toString().toUInt(&bOk);
    if (LauncherIni::Contains(*pRecord, kVersionKey) && bOk && uStored == uVersion)
        return;
    EnsureCacheDir(launcherRecordPath());
    LauncherIni::SetValue(*pRecord, kVersionKey, uVersion);
    pRecord->sync();
}
