// The launcher's settings "launcher.ini" and its two version records, all beside
// the executable. One instance per process (instance()); tests build their own
// over a directory of their choice. Every setter writes only when the value
// changes. Thread-safe: the settings object is guarded by a mutex, and record
// files are opened per call.
#pragma once

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

struct LauncherPreloadItem
{
    QString strKey;
    QString strName;
    QDateTime dtCompletedAt;
};

class LauncherSettings
{
public:
    enum RunInBackground
    {
        RunInBackgroundAsk = 0,
        RunInBackgroundHide = 1,
        RunInBackgroundExit = 2,
    };

    // The settings beside the running executable; created on first use.
    static LauncherSettings& instance();

    explicit LauncherSettings(const QString& strAppDir);
    ~LauncherSettings();

    LauncherSettings(const LauncherSettings&) = delete;
    LauncherSettings& operator=(const LauncherSettings&) = delete;

    QString appDirectory() const { return m_strAppDir; }
    QString settingsFilePath() const;
    QString productRecordPath() const;
    QString launcherRecordPath() const;
    QString defaultWorkPath() const;

    // Trimmed; empty means the default directory; the cleaned absolute form.
    QString normaliseWorkPath(const QString& strEntry) const;

    QString workPath() const;
    bool hasWorkPath() const;
    void setWorkPath(const QString& strPath);

    RunInBackground runInBackground() const;
    void setRunInBackground(bool bHideToTray);

    QString language() const;
    void setLanguage(const QString& strLanguage);

    quint64 downloadLimit() const;
    void setDownloadLimit(quint64 uBytesPerSecond);

    QMap<QString, LauncherPreloadItem> completedPreloadItems() const;
    void markPreloadCompleted(const QString& strKey, const QString& strName, const QDateTime& dtCompletedAt);

    // Product record "_cache/veride.ini". read is false when there is no
    // usable record (missing file, missing key or a value that is not a number)
    // and when the record is of another working path: a record describes the
    // working path it was written for, which write stores with the version.
    bool readProductRecord(quint32* puVersion, QString* pstrTag) const;
    bool writeProductRecord(quint32 uVersion, const QString& strTag);
    void clearProductRecord();
    // Whether the record names a working path other than workPath();
    // *pstrRecordPath gets the one it names (empty: none).
    bool productRecordForOtherPath(QString* pstrRecordPath) const;
    // A record written before records named their path is taken as the
    // current working path's: it is stamped with it, so a later change of
    // the path leaves it behind. True when it was stamped now.
    bool adoptProductRecord();
    // A task that changes the working path marks the record before its first
    // write; writeProductRecord and clearProductRecord drop the mark. A mark
    // found later means a task was cut off: the working path may be between
    // the recorded version and uTarget, so the record claims nothing. A
    // record of another working path has no mark here. strTask names the task
    // ("download", "switch", "repair"), so that it can be finished later.
    bool markProductRecordPending(quint32 uTarget, const QString& strTask = QString());
    bool productRecordPending() const;
    // The mark's target (0 when unreadable) and task (empty when unnamed);
    // false when there is no mark.
    bool readProductRecordPending(quint32* puTarget, QString* pstrTask) const;

    // Launcher record "_cache/verlauncher.ini".
    QString launcherRecordTag() const;
    quint32 launcherRecordVersion() const;
    void setLauncherRecordTag(const QString& strTag);
    void setLauncherRecordVersion(quint32 uVersion);

private:
    QMap<QString, LauncherPreloadItem> completedPreloadItemsLocked() const;
    void writeLocked(const QString& strKey, const QVariant& value);

    QString m_strAppDir;
    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_pSettings;
};
