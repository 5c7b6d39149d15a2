// get-latest into a working path on a file system that is nearly full: it
// fails and says the disk is full, every file is old or new, and once space
// is freed the same command finishes. Needs a size-limited tmpfs (mount as
// root); skipped with a message where the machine does not allow one.
#include "OrvelCrashWorld.h"
#include "OrvelTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/statvfs.h>

using OrvelCrash::RunResult;
using OrvelCrash::Scenario;
using OrvelCrash::World;

namespace
{

const char kDiskSize[] = "size=8m";
// Left free: the small files fit, the 2.6 MB one does not.
const qint64 kLeftFree = 1500 * 1024;

qint64 FreeBytes(const QString& strPath)
{
    struct statvfs info = {};
    if (::statvfs(QFile::encodeName(strPath).constData(), &info) != 0)
        return -1;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

class FullDiskTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (m_bMounted)
            QProcess::execute(QStringLiteral("umount"), {World::Get().WorkPath()});
    }

    // Puts the run installation's working path on a small tmpfs of its own,
    // with the same files. False (and a message) when mounting is not allowed.
    bool MountSmallDisk(QString* pstrWhy)
    {
        World& world = World::Get();
        const QString strWork = world.WorkPath();
        const QString strAside = world.RunRoot() + QStringLiteral("/work.aside");
        if (!QDir().rename(strWork, strAside) || !QDir().mkpath(strWork))
        {
            *pstrWhy = QStringLiteral("cannot move the working path aside");
            return false;
        }
        QProcess mount;
        mount.setProcessChannelMode(QProcess::MergedChannels);
        mount.start(QStringLiteral("mount"),
                    {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                     QLatin1String(kDiskSize), QStringLiteral("tmpfs"), strWork});
        if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
            mount.exitCode() != 0)
        {
            *pstrWhy = QStringLiteral("a size-limited tmpfs cannot be mounted here (%1)")
                           .arg(QString::fromLocal8Bit(mount.readAll()).trimmed());
            return false;
        }
        m_bMounted = true;
        return QProcess::execute(QStringLiteral("cp"),
                                 {QStringLiteral("-a"), strAside + QStringLiteral("/."), strWork}) == 0 &&
               QDir(strAside).removeRecursively();
    }

    bool m_bMounted = false;
};

} // namespace

TEST_F(FullDiskTest, GetLatestFailsNamingTheDiskKeepsEveryFileWholeAndFinishesOnceSpaceIsFreed)
{
    World& world = World::Get();
    ASSERT_TRUE(world.Ready()) << world.Error().toStdString();
    const Scenario& scenario = world.Scenarios().at(1); // incremental from v1
    ASSERT_TRUE(world.Restore(scenario.strTemplate));
    QString strWhy;
    if (!MountSmallDisk(&strWhy))
    {
        if (!m_bMounted)
            GTEST_SKIP() << "full-disk test skipped: " << strWhy.toStdString();
        FAIL() << strWhy.toStdString();
    }

    // Fill the disk up to what is left free.
    const QString strFiller = world.WorkPath() + QStringLiteral("/.filler");
    const qint64 nFree = FreeBytes(world.WorkPath());
    ASSERT_GT(nFree, kLeftFree);
    {
        QFile filler(strFiller);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        ASSERT_EQ(filler.write(QByteArray(static_cast<int>(nFree - kLeftFree), 'f')), nFree - kLeftFree);
    }

    const RunResult full = world.Run(scenario.vecCommand);
    EXPECT_EQ(full.nExitCode, 1) << (full.strOut + full.strErr).toStdString();
    EXPECT_TRUE(full.strErr.contains(QStringLiteral("not enough disk space"))) << "the disk is named:\n"
                                                                               << full.strErr.toStdString();
    ASSERT_TRUE(QFile::remove(strFiller));
    const QStringList vecAfterFailure = world.CheckInterrupted(scenario);
    EXPECT_TRUE(vecAfterFailure.isEmpty()) << vecAfterFailure.join('\n').toStdString();
    EXPECT_TRUE(OrvelCrash::TempFiles(world.WorkPath()).isEmpty());

    const RunResult freed = world.Run(scenario.vecCommand);
    EXPECT_EQ(freed.nExitCode, 0) << (freed.strOut + freed.strErr).toStdString();
    const QStringList vecAfterRerun = world.CheckCompleted(scenario);
    EXPECT_TRUE(vecAfterRerun.isEmpty()) << vecAfterRerun.join('\n').toStdString();
}
