// The run log: one file per process run in "_logs" beside the executable, named
// "<prefix>_<yyyyMMdd_HHmmss>.log" after the moment of first use. Every member is
// safe to call from any thread. Logging never fails loudly: a line that cannot
// be written is dropped.
#pragma once

#include <QMutex>
#include <QString>

class LauncherLog
{
public:
    static constexpr int kDefaultRetentionDays = 14;

    // The log beside the running executable; created on first use.
    static LauncherLog& instance();

    explicit LauncherLog(const QString& strAppDir);

    LauncherLog(const LauncherLog&) = delete;
    LauncherLog& operator=(const LauncherLog&) = delete;

    // A non-empty prefix replaces the current one; a retention below 1 means 14
    // days. Creates "_logs" and deletes this prefix's files older than the
    // retention.
    void initialise(const QString& strPrefix, int nRetentionDays);
    void write(const QString& strMessage);
    QString logFilePath() const;
    QString logDirectory() const;

private:
    QString logFilePathLocked() const;
    void pruneLocked() const;

    QString m_strAppDir;
    QString m_strPrefix;
    QString m_strRunStamp;
    int m_nRetentionDays = kDefaultRetentionDays;
    mutable QMutex m_mutex;
};
