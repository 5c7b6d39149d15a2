// LauncherLog naming, line format and retention; the two housekeeping cleaners
// on real trees with old modification times.
#include "LauncherHousekeeping.h"
#include "LauncherLog.h"
#include "OrvelTestSupport.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using OrvelTest::ReadFile;
using OrvelTest::SetModified;
using OrvelTest::WriteFile;

namespace
{
QString Stamp(int nDaysAgo)
{
    return QDate::currentDate().addDays(-nDaysAgo).toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral("_000000");
}

class LogTest : public ::testing::Test
{
protected:
    QString logs() const { return m_dir.path() + QStringLiteral("/_logs"); }
    QString logFile(const QString& strName) const { return logs() + QLatin1Char('/') + strName; }
    QTemporaryDir m_dir;
};
} // namespace

TEST_F(LogTest, OneFilePerRunWithTimestampedUtf8Lines)
{
    LauncherLog log(m_dir.path());
    log.initialise(QStringLiteral("launcher"), 14);
    const QString strPath = log.logFilePath();
    EXPECT_TRUE(
        QRegularExpression(
            QStringLiteral("^%1/launcher_\\d{8}_\\d{6}\\.log$").arg(QRegularExpression::escape(logs())))
            .match(strPath)
            .hasMatch())
        << strPath.toStdString();

    log.write(QStringLiteral("first"));
    log.write(QStringLiteral("zweite Zeile – 第二行"));
    EXPECT_EQ(log.logFilePath(), strPath) << "the run keeps one file";

    const QStringList vecLines = QString::fromUtf8(ReadFile(strPath)).split(QLatin1Char('\n'));
    ASSERT_EQ(vecLines.size(), 3);
    const QRegularExpression line(
        QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] (.*)$"));
    EXPECT_EQ(line.match(vecLines[0]).captured(1), QStringLiteral("first"));
    EXPECT_EQ(line.match(vecLines[1]).captured(1), QStringLiteral("zweite Zeile – 第二行"));
    EXPECT_TRUE(vecLines[2].isEmpty());
}

TEST_F(LogTest, DefaultPrefixFollowsTheApplicationName)
{
    const QString strSaved = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Halvane Test App"));
    EXPECT_TRUE(LauncherLog(m_dir.path()).logFilePath().contains(QStringLiteral("/halvane_test_app_")));
    QCoreApplication::setApplicationName(strSaved);

    // An empty prefix at initialise keeps the current one.
    LauncherLog log(m_dir.path());
    log.initialise(QStringLiteral("updater"), 14);
    log.initialise(QString(), 0);
    EXPECT_TRUE(QFileInfo(log.logFilePath()).fileName().startsWith(QStringLiteral("updater_")));
}

TEST_F(LogTest, InitialisePrunesOnlyOldFilesOfItsOwnPrefix)
{
    const QStringList vecRemoved = {QStringLiteral("launcher_%1.log").arg(Stamp(14)),
                                    QStringLiteral("launcher_%1.log").arg(Stamp(400))};
    const QStringList vecKept = {
        QStringLiteral("launcher_%1.log").arg(Stamp(13)),
        QStringLiteral("launcher_notes.log"),
        QStringLiteral("updater_%1.log").arg(Stamp(30)),
        QStringLiteral("launcher_2024x101_000000.log"),
        QStringLiteral("launcher_%1_old.log").arg(Stamp(30)),
        QStringLiteral("launcher_%1.txt").arg(Stamp(30)),
    };
    for (const QString& strName : vecRemoved + vecKept)
        WriteFile(logFile(strName), "x");

    LauncherLog log(m_dir.path());
    log.initialise(QStringLiteral("launcher"), 0); // below 1 means the default 14 days
    for (const QString& strName : vecRemoved)
        EXPECT_FALSE(QFileInfo::exists(logFile(strName))) << strName.toStdString();
    for (const QString& strName : vecKept)
        EXPECT_TRUE(QFileInfo::exists(logFile(strName))) << strName.toStdString();

    // A shorter retention reaches further.
    log.initialise(QStringLiteral("launcher"), 1);
    EXPECT_FALSE(QFileInfo::exists(logFile(vecKept[0])));
}

TEST_F(LogTest, CacheCleanerDeletesExpiredFilesAndEmptiedDirectories)
{
    const QString strCache = m_dir.path() + QStringLiteral("/_cache/ifse");
    const QDateTime dtOld = QDateTime::currentDateTime().addDays(-4);
    const QDateTime dtRecent = QDateTime::currentDateTime().addDays(-2);
    const QStringList vecOld = {QStringLiteral("a.pkg"), QStringLiteral("d1/b.pkg"),
                                QStringLiteral("d1/d2/c.pkg"), QStringLiteral("keep/old.pkg")};
    for (const QString& strName : vecOld)
    {
        WriteFile(strCache + QLatin1Char('/') + strName, "old");
        SetModified(strCache + QLatin1Char('/') + strName, dtOld);
    }
    WriteFile(strCache + QStringLiteral("/keep/recent.pkg"), "new");
    SetModified(strCache + QStringLiteral("/keep/recent.pkg"), dtRecent);
    // Hidden files are not visited, and they keep their directory alive.
    WriteFile(strCache + QStringLiteral("/hid/.lock"), "h");
    SetModified(strCache + QStringLiteral("/hid/.lock"), dtOld);
    ASSERT_TRUE(QDir().mkpath(strCache + QStringLiteral("/empty/deeper")));

    LauncherLog log(m_dir.path());
    EXPECT_EQ(LauncherHousekeeping::CleanCache(strCache, log), 4);
    for (const QString& strName : vecOld)
        EXPECT_FALSE(QFileInfo::exists(strCache + QLatin1Char('/') + strName)) << strName.toStdString();
    EXPECT_TRUE(QFileInfo::exists(strCache + QStringLiteral("/keep/recent.pkg")));
    EXPECT_TRUE(QFileInfo::exists(strCache + QStringLiteral("/hid/.lock")));
    EXPECT_FALSE(QFileInfo::exists(strCache + QStringLiteral("/d1")));
    EXPECT_FALSE(QFileInfo::exists(strCache + QStringLiteral("/empty")));
    EXPECT_TRUE(QFileInfo::exists(strCache)) << "the cache root itself stays";
    EXPECT_TRUE(ReadFile(log.logFilePath()).contains("Cache cleaner removed 4 expired file(s)"));

    // Nothing expired: nothing logged.
    const QByteArray before = ReadFile(log.logFilePath());
    EXPECT_EQ(LauncherHousekeeping::CleanCache(strCache, log), 0);
    EXPECT_EQ(LauncherHousekeeping::CleanCache(m_dir.path() + QStringLiteral("/missing"), log), 0);
    EXPECT_EQ(ReadFile(log.logFilePath()), before);
}

TEST_F(LogTest, LogCleanerDeletesOldLogsOfEveryPrefix)
{
    const QStringList vecRemoved = {
        QStringLiteral("launcher_%1.log").arg(Stamp(14)), QStringLiteral("updater_%1.log").arg(Stamp(20)),
        QStringLiteral("x_%1.log").arg(Stamp(100)), QStringLiteral("_%1.log").arg(Stamp(100))};
    const QStringList vecKept = {QStringLiteral("launcher_%1.log").arg(Stamp(13)),
                                 QStringLiteral("updater_%1.log").arg(Stamp(0)), QStringLiteral("notes.log"),
                                 QStringLiteral("x-%1.log").arg(Stamp(100)),
                                 QStringLiteral("x_%1.log.bak").arg(Stamp(100))};
    for (const QString& strName : vecRemoved + vecKept)
        WriteFile(logFile(strName), "x");

    LauncherLog log(m_dir.path());
    log.initialise(QStringLiteral("other"), 14);
    EXPECT_EQ(LauncherHousekeeping::CleanLogs(logs(), log), vecRemoved.size());
    for (const QString& strName : vecRemoved)
        EXPECT_FALSE(QFileInfo::exists(logFile(strName))) << strName.toStdString();
    for (const QString& strName : vecKept)
        EXPECT_TRUE(QFileInfo::exists(logFile(strName))) << strName.toStdString();
    EXPECT_TRUE(ReadFile(log.logFilePath()).contains("Log cleaner removed 4 expired file(s)"));
}
