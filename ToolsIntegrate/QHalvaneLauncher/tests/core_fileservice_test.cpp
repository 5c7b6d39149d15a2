// The file service against a real store served by nginx, with the real library.
#include "core_test_env.h"

#include "OrvelFileError.h"
#include "OrvelFileService.h"
#include "OrvelLocalWrite.h"
#include "OrvelStorePath.h"
#include "OrvelWriteBatch.h"

#include "LauncherSettings.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <clocale>

#include <fcntl.h>
#include <unistd.h>

using OrvelCoreTest::ServedStore;
using OrvelCoreTest::Tree;

namespace
{

const QByteArray kInfo("launcher resources\n");

Tree VersionOne()
{
    return Tree{{QStringLiteral("Data/Info.TXT"), kInfo},
                {QStringLiteral("data/big.bin"), OrvelTest::Bytes(300000, 7)},
                {QStringLiteral("client/bin64/tool.dll"), OrvelTest::Bytes(5000, 8)},
                {QStringLiteral("bin/hello.sh"), QByteArray("#!/bin/sh\necho hello\n")},
                {QStringLiteral("EditorTool/QHalvaneLauncher/QHalvaneLauncher"), QByteArray("launcher v1")},
                {QStringLiteral("EditorTool/QHalvaneLauncher/orvelupdater.exe"), QByteArray("updater v1")},
                {QStringLiteral("EditorTool/QHalvaneLauncher/lib/libextra.so"), QByteArray("extra v1")}};
}

class FileServiceTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pStore = new ServedStore;
        ASSERT_TRUE(s_pStore->Publish({VersionOne()}));
    }
    static void TearDownTestSuite()
    {
        delete s_pStore;
        s_pStore = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(s_pStore, nullptr);
        ASSERT_TRUE(m_dir.isValid());
        m_strAppDir = s_pStore->MakeAppDir(QStringLiteral("app-%1").arg(++s_nApp));
        m_strWork = m_dir.filePath(QStringLiteral("Work Path"));
        ASSERT_TRUE(QDir().mkpath(m_strWork));
        ASSERT_TRUE(
            m_service.Initialize(ServedStore::ConfigPath(m_strAppDir), OrvelFileService::kLatestVersion))
            << m_service.LastError().toStdString();
    }
    FileServiceStatus Download(const QString& strStorePath, OrvelWriteBatch* pBatch = nullptr)
    {
        return m_service.DownloadToLocalFile(
            strStorePath, m_strWork + QLatin1Char('/') + OrvelStorePath::Normalise(strStorePath), nullptr,
            nullptr, m_strWork, pBatch);
    }

    static ServedStore* s_pStore;
    static int s_nApp;
    QTemporaryDir m_dir;
    QString m_strAppDir;
    QString m_strWork;
    OrvelFileService m_service;
};

ServedStore* FileServiceTest::s_pStore = nullptr;
int FileServiceTest::s_nApp = 0;

TEST_F(FileServiceTest, QueriesListsAndHashesAgreeWithTheStore)
{
    EXPECT_EQ(m_service.CurrentVersion(), 1u);
    const PakInfoResult info = m_service.ReadPakInfo();
    EXPECT_EQ(info.status, PakInfoResult::StatusOk) << info.error.toStdString();
    EXPECT_EQ(info.releaseText, QStringLiteral("release 1"));
    EXPECT_FALSE(info.tag.isEmpty());

    // Any letter case and separator reaches the lower-case store path.
    EXPECT_TRUE(m_service.RemoteFileExists(QStringLiteral("DATA\\Info.txt")));
    // A Turkish locale lower-cases "I" to a dotless letter; store paths never.
    if (std::setlocale(LC_ALL, "tr_TR.UTF-8") != nullptr)
    {
        EXPECT_TRUE(m_service.RemoteFileExists(QStringLiteral("DATA/INFO.TXT")));
        std::setlocale(LC_ALL, "C");
    }
    EXPECT_FALSE(m_service.RemoteFileExists(QStringLiteral("data/none.txt")));
    EXPECT_EQ(m_service.LastError(), QStringLiteral("Remote file not found: data/none.txt"));
    QString strText;
    ASSERT_TRUE(m_service.ReadRemoteText(QStringLiteral("data/info.txt"), &strText));
    EXPECT_EQ(strText.toUtf8(), kInfo);

    const QStringList vecAll = m_service.ListAllFiles();
    EXPECT_EQ(vecAll.size(), 7);
    EXPECT_TRUE(vecAll.contains(QStringLiteral("client/bin64/tool.dll")));
    const QStringList vecFiltered = m_service.ListAllFilesFiltered();
    EXPECT_EQ(vecFiltered.size(), 4);
    for (const QString& strPath : vecFiltered)
        EXPECT_FALSE(strPath.startsWith(QStringLiteral("editortool/"))) << strPath.toStdString();
    EXPECT_EQ(m_service.ListFiles(QStringLiteral("Data"), false).size(), 2);
    EXPECT_FALSE(m_service.ListDataFiles().isEmpty());

    const QString strLocal = m_dir.filePath(QStringLiteral("info.txt"));
    OrvelTest::WriteFile(strLocal, kInfo);
    const FileServiceValue local = m_service.HashLocalFile(strLocal);
    const FileServiceValue remote = m_service.RemoteFileHash(QStringLiteral("data/info.txt"));
    ASSERT_TRUE(local.ok && remote.ok);
    EXPECT_EQ(local.value, remote.value);
    EXPECT_EQ(m_service.HashBytes(kInfo).value, remote.value);

    // Same size, other content: only the hash tells.
    FileCompareResult compare = m_service.CompareLocalFile(QStringLiteral("data/info.txt"), strLocal);
    EXPECT_TRUE(compare.ok && compare.same);
    QByteArray changed = kInfo;
    changed[0] = 'L';
    OrvelTest::WriteFile(strLocal, changed);
    compare = m_service.CompareLocalFile(QStringLiteral("data/info.txt"), strLocal);
    EXPECT_TRUE(compare.ok && !compare.same);
    compare = m_service.CompareLocalFile(QStringLiteral("data/info.txt"),
                                         m_dir.filePath(QStringLiteral("missing")));
    EXPECT_TRUE(compare.ok && !compare.same);
}

TEST_F(FileServiceTest, ALargeLocalFileHashesInPiecesToTheStoresHash)
{
    // Past the size whose buffer a thread keeps: read piece by piece.
    const QByteArray data = OrvelTest::Bytes((64 << 20) + 4097, 9);
    const QString strLarge = m_dir.filePath(QStringLiteral("large.bin"));
    OrvelTest::WriteFile(strLarge, data);
    const FileServiceValue whole = m_service.HashBytes(data);
    ASSERT_TRUE(whole.ok);
    const FileServiceValue value = m_service.HashLocalFile(strLarge);
    ASSERT_TRUE(value.ok) << value.error.toStdString();
    EXPECT_EQ(value.value, whole.value);
}

TEST_F(FileServiceTest, HashingAFileOverTheLimitFailsWithItsOwnMessage)
{
    const QString strHuge = m_dir.filePath(QStringLiteral("huge.bin"));
    QFile huge(strHuge);
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(OrvelFileService::kWholeFileLimit)); // sparse: no disk used
    huge.close();
    const FileServiceValue value = m_service.HashLocalFile(strHuge);
    EXPECT_FALSE(value.ok);
    EXPECT_EQ(value.error, QStringLiteral("File too large for hashing: %1").arg(strHuge));
    EXPECT_EQ(m_service.HashLocalFile(m_dir.filePath(QStringLiteral("nope"))).error,
              QStringLiteral("File not found: %1").arg(m_dir.filePath(QStringLiteral("nope"))));
}

TEST_F(FileServiceTest, DownloadWritesNewAndExistingFilesWholeAndDurablyInABatch)
{
    OrvelWriteBatch batch(m_strWork);
    ASSERT_TRUE(Download(QStringLiteral("data/big.bin"), &batch).ok) << m_service.LastError().toStdString();
    OrvelTest::WriteFile(m_strWork + QStringLiteral("/data/info.txt"), QByteArray("old text"));
    const QFile::Permissions mode0750 =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    ASSERT_TRUE(QFile::setPermissions(m_strWork + QStringLiteral("/data/info.txt"), mode0750));
    ASSERT_TRUE(Download(QStringLiteral("Data/Info.TXT"), &batch).ok) << m_service.LastError().toStdString();
    ASSERT_TRUE(Download(QStringLiteral("bin/hello.sh"), &batch).ok) << m_service.LastError().toStdString();
    EXPECT_EQ(batch.PendingFiles(), 3);
    QString strError;
    EXPECT_TRUE(batch.Flush(&strError)) << strError.toStdString();
    EXPECT_EQ(batch.PendingFiles(), 0);

    EXPECT_EQ(OrvelTest::ReadFile(m_strWork + QStringLiteral("/data/big.bin")),
              VersionOne().value("data/big.bin"));
    // Store paths are lower case in the working path.
    EXPECT_EQ(OrvelTest::ReadFile(m_strWork + QStringLiteral("/data/info.txt")), kInfo);
    EXPECT_TRUE(OrvelTest::TempFilesBelow(m_strWork).isEmpty());
    EXPECT_TRUE(m_service.LastError().isEmpty());
    // A replaced file keeps its mode; a new script or program can be started.
    EXPECT_EQ(QFileInfo(m_strWork + QStringLiteral("/data/info.txt")).permissions() &
                  ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              mode0750);
    EXPECT_FALSE(QFileInfo(m_strWork + QStringLiteral("/data/big.bin")).permissions() & QFile::ExeOwner);
    QProcess hello;
    hello.start(m_strWork + QStringLiteral("/bin/hello.sh"), QStringList());
    ASSERT_TRUE(hello.waitForFinished(10000)) << "a new script must be executable";
    EXPECT_EQ(hello.readAllStandardOutput(), QByteArray("hello\n"));

    // A cancelled download stops before anything is written.
    const std::atomic_bool bCancel{true};
    const QString strTool = m_strWork + QStringLiteral("/client/bin64/tool.dll");
    const FileServiceStatus status = m_service.DownloadToLocalFile(QStringLiteral("client/bin64/tool.dll"),
                                                                   strTool, &bCancel, nullptr, m_strWork);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error, QStringLiteral("Download cancelled: client/bin64/tool.dll"));
    EXPECT_FALSE(QFileInfo::exists(strTool));
}

TEST_F(FileServiceTest, DownloadRefusesPathsThatLeaveTheWorkingPathAndNeverFollowsLinks)
{
    const QString strOutside = m_dir.filePath(QStringLiteral("outside"));
    OrvelTest::WriteFile(strOutside + QStringLiteral("/info.txt"), QByteArray("not yours"));
    for (const QString& strBad :
         {QStringLiteral("../outside/info.txt"), QStringLiteral("/etc/passwd"),
          QStringLiteral("c:/data/info.txt"), QStringLiteral("data/../../outside/info.txt")})
    {
        const FileServiceStatus status = m_service.DownloadToLocalFile(
            strBad, m_strWork + QLatin1Char('/') + strBad, nullptr, nullptr, m_strWork);
        EXPECT_FALSE(status.ok) << strBad.toStdString();
        EXPECT_TRUE(status.error.startsWith(QStringLiteral("Unsafe store path refused: ")))
            << status.error.toStdString();
    }

    // A directory inside the working path that links outside it.
    ASSERT_TRUE(QFile::link(strOutside, m_strWork + QStringLiteral("/data")));
    FileServiceStatus status = Download(QStringLiteral("data/info.txt"));
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.error.startsWith(QStringLiteral("Refused to write through a symbolic link")))
        << status.error.toStdString();
    EXPECT_EQ(OrvelTest::ReadFile(strOutside + QStringLiteral("/info.txt")), QByteArray("not yours"));

    // A link at the target itself is replaced by the file, its target untouched.
    ASSERT_TRUE(QFile::remove(m_strWork + QStringLiteral("/data")));
    ASSERT_TRUE(QDir().mkpath(m_strWork + QStringLiteral("/data")));
    ASSERT_TRUE(
        QFile::link(strOutside + QStringLiteral("/info.txt"), m_strWork + QStringLiteral("/data/info.txt")));
    status = Download(QStringLiteral("data/info.txt"));
    ASSERT_TRUE(status.ok) << status.error.toStdString();
    EXPECT_FALSE(QFileInfo(m_strWork + QStringLiteral("/data/info.txt")).isSymLink());
    EXPECT_EQ(OrvelTest::ReadFile(m_strWork + QStringLiteral("/data/info.txt")), kInfo);
    EXPECT_EQ(OrvelTest::ReadFile(strOutside + QStringLiteral("/info.txt")), QByteArray("not yours"));
}

TEST(LocalWriteContainTest, ASiblingWhoseNameExtendsTheRootsIsOutsideIt)
{
    QTemporaryDir dir;
    const QString strRoot = dir.filePath(QStringLiteral("game"));
    const QString strSibling = dir.filePath(QStringLiteral("game2/f"));
    ASSERT_TRUE(QDir().mkpath(strRoot));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(strSibling).path()));
    QString strError;
    EXPECT_TRUE(OrvelLocalWrite::CheckContained(strRoot, strRoot + QStringLiteral("/f"), &strError))
        << strError.toStdString();
    for (const QString& strRootSpelling : {strRoot, strRoot + QLatin1Char('/')})
    {
        EXPECT_FALSE(OrvelLocalWrite::CheckContained(strRootSpelling, strSibling, &strError));
        EXPECT_EQ(strError, QStringLiteral("Refused to write outside the working path: %1").arg(strSibling));
    }
}

TEST_F(FileServiceTest, FailedReplacementsKeepTheTargetAndSayWhy)
{
    // A read-only target is kept, as the system it was made for keeps it.
    const QString strTarget = m_strWork + QStringLiteral("/data/info.txt");
    OrvelTest::WriteFile(strTarget, QByteArray("keep me"));
    ASSERT_TRUE(QFile::setPermissions(strTarget, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    FileServiceStatus status = Download(QStringLiteral("data/info.txt"));
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error,
              QStringLiteral("Failed to replace local file: %1 (target file is read-only)").arg(strTarget));
    EXPECT_EQ(m_service.LastError(), status.error);
    EXPECT_EQ(OrvelTest::ReadFile(strTarget), QByteArray("keep me"));
    EXPECT_TRUE(OrvelTest::TempFilesBelow(m_strWork).isEmpty());

    // A directory nobody may change, root included: EPERM is "access denied".
    const QString strLocked = m_strWork + QStringLiteral("/client/bin64");
    ASSERT_TRUE(QDir().mkpath(strLocked));
    if (!OrvelTest::SetImmutable(strLocked, true))
        GTEST_SKIP() << "immutable flag not supported here";
    status = Download(QStringLiteral("client/bin64/tool.dll"));
    OrvelTest::SetImmutable(strLocked, false);
    EXPECT_FALSE(status.ok);
    EXPECT_TRUE(status.error.startsWith(
        QStringLiteral("Failed to create local file: %1/tool.dll (access denied; ").arg(strLocked)))
        << status.error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(strLocked + QStringLiteral("/tool.dll")));
}

TEST(FileServiceHashTest, ContentThatDoesNotMatchTheStoresHashIsNeverWritten)
{
    ServedStore honest;
    ServedStore other;
    ASSERT_TRUE(honest.Publish({Tree{{QStringLiteral("a.bin"), OrvelTest::Bytes(4096, 1)}}}));
    ASSERT_TRUE(other.Publish({Tree{{QStringLiteral("a.bin"), OrvelTest::Bytes(4096, 2)}}}));
    // The server now hands out another store's package, sound in itself, where
    // the index expects its own content.
    const QString strPackage = QStringLiteral("/dat/v1/0/0.dat");
    ASSERT_TRUE(QFile::remove(honest.StoreDir() + strPackage));
    ASSERT_TRUE(QFile::copy(other.StoreDir() + strPackage, honest.StoreDir() + strPackage));

    OrvelFileService service;
    ASSERT_TRUE(service.Initialize(ServedStore::ConfigPath(honest.MakeAppDir(QStringLiteral("app"))),
                                   OrvelFileService::kLatestVersion));
    const QString strWork = honest.Path(QStringLiteral("work"));
    QDir().mkpath(strWork);
    const FileServiceStatus status = service.DownloadToLocalFile(
        QStringLiteral("a.bin"), strWork + QStringLiteral("/a.bin"), nullptr, nullptr, strWork);
    EXPECT_FALSE(status.ok);
    // The library hands the content out; only the service's hash check stops it.
    EXPECT_EQ(status.error, QStringLiteral("Downloaded content does not match the store's hash: a.bin"));
    EXPECT_TRUE(QDir(strWork).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

// Large files come from the library decoded as they are read, without a
// buffer: they are written piece by piece, and one whose content turns out
// wrong at its end is never put in place.
TEST(FileServiceHashTest, ALargeFileIsWrittenInPiecesAndOneThatEndsWrongLeavesTheTargetAsItWas)
{
    const int nLarge = (16 << 20) + 12345; // past the size the library streams from
    ServedStore honest;
    ServedStore other;
    ASSERT_TRUE(honest.Publish({Tree{{QStringLiteral("huge.bin"), OrvelTest::Bytes(nLarge, 1)}}}));
    ASSERT_TRUE(other.Publish({Tree{{QStringLiteral("huge.bin"), OrvelTest::Bytes(nLarge, 2)}}}));
    OrvelFileService service;
    ASSERT_TRUE(service.Initialize(ServedStore::ConfigPath(honest.MakeAppDir(QStringLiteral("app"))),
                                   OrvelFileService::kLatestVersion));
    const QString strWork = honest.Path(QStringLiteral("work"));
    const QString strTarget = strWork + QStringLiteral("/huge.bin");
    QDir().mkpath(strWork);
    FileServiceStatus status =
        service.DownloadToLocalFile(QStringLiteral("huge.bin"), strTarget, nullptr, nullptr, strWork);
    ASSERT_TRUE(status.ok) << status.error.toStdString();
    EXPECT_TRUE(OrvelTest::ReadFile(strTarget) == OrvelTest::Bytes(nLarge, 1));

    // The server now hands out the other store's package, sound in itself.
    const QString strPackage = QStringLiteral("/dat/v1/0/0.dat");
    ASSERT_TRUE(QFile::remove(honest.StoreDir() + strPackage));
    ASSERT_TRUE(QFile::copy(other.StoreDir() + strPackage, honest.StoreDir() + strPackage));
    OrvelFileService fresh; // nothing of the honest package cached
    ASSERT_TRUE(fresh.Initialize(ServedStore::ConfigPath(honest.MakeAppDir(QStringLiteral("app2"))),
                                 OrvelFileService::kLatestVersion));
    OrvelTest::WriteFile(strTarget, QByteArray("kept"));
    status = fresh.DownloadToLocalFile(QStringLiteral("huge.bin"), strTarget, nullptr, nullptr, strWork);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error, QStringLiteral("Failed to read file: huge.bin"));
    EXPECT_EQ(OrvelTest::ReadFile(strTarget), QByteArray("kept"));
    EXPECT_TRUE(OrvelTest::TempFilesBelow(strWork).isEmpty());
}

TEST(FileErrorTest, AProgramThatRunsIsInUse)
{
    // Writing into a running program fails with ETXTBSY on this system.
    QTemporaryDir dir;
    const QString strProgram = dir.filePath(QStringLiteral("sleeper"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), strProgram));
    QProcess sleeper;
    sleeper.start(strProgram, {QStringLiteral("30")});
    ASSERT_TRUE(sleeper.waitForStarted());
    const int nFd = ::open(QFile::encodeName(strProgram).constData(), O_WRONLY);
    const int nCode = errno;
    sleeper.kill();
    sleeper.waitForFinished();
    ASSERT_LT(nFd, 0);
    const QString strError =
        OrvelFileError::Format(QStringLiteral("write local file"), strProgram, QString(), nCode, true);
    EXPECT_TRUE(strError.startsWith(
        QStringLiteral("Failed to write local file: %1 (file is in use by another process; ")
            .arg(strProgram)))
        << strError.toStdString();
    EXPECT_TRUE(strError.endsWith(QStringLiteral("(error code: %1))").arg(nCode))) << strError.toStdString();
    EXPECT_EQ(OrvelFileError::Format(QStringLiteral("x"), strProgram, QString(), 0, false),
              QStringLiteral("Failed to x: %1").arg(strProgram));
}

TEST(FileServiceBindingTest, AMissingLibraryFailsEveryInitializeTheSameWay)
{
    // The binding is process-wide: look for the library in an empty directory
    // in a child process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // a fresh process, not a fork of a bound one
    EXPECT_EXIT(
        {
            QTemporaryDir empty;
            OrvelCorvaneBinding::SetLibraryDirectory(empty.path());
            const QString strExpected = QStringLiteral("Failed to load dynamic library: %1 (error code: ")
                                            .arg(OrvelCorvaneBinding::LibraryPath());
            OrvelFileService first;
            OrvelFileService second;
            const bool bOk = !first.Initialize(QStringLiteral("/none.cfg"), 1) &&
                             !second.Initialize(QStringLiteral("/none.cfg"), 1) &&
                             first.LastError().startsWith(strExpected) &&
                             second.LastError() == first.LastError() &&
                             first.ReadPakInfo().error == QStringLiteral("Corvane reader not initialized");
            std::_Exit(bOk ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(FileServiceTest, LauncherCheckReportsChangedFilesButNeverTheUpdater)
{
    // The launcher's files carry their built names; the store has them in lower case.
    OrvelTest::WriteFile(m_strAppDir + QStringLiteral("/QHalvaneLauncher"), QByteArray("launcher v1"));
    OrvelTest::WriteFile(m_strAppDir + QStringLiteral("/orvelupdater.exe"), QByteArray("an older updater"));
    LauncherSettings settings(m_strAppDir);
    LauncherCheckResult check = OrvelFileService::CheckLauncherUpdate(m_strAppDir, settings);
    ASSERT_TRUE(check.success) << check.error.toStdString();
    EXPECT_TRUE(check.hasUpdate);
    EXPECT_TRUE(check.cacheCleared);
    EXPECT_EQ(check.changedFiles, QStringList{QStringLiteral("editortool/qhalvanelauncher/lib/libextra.so")});
    EXPECT_EQ(settings.launcherRecordVersion(), 1u);
    EXPECT_FALSE(settings.launcherRecordTag().isEmpty());

    // Recorded now: the cache stays; with the file in place nothing is left to update.
    OrvelTest::WriteFile(m_strAppDir + QStringLiteral("/lib/libextra.so"), QByteArray("extra v1"));
    check = OrvelFileService::CheckLauncherUpdate(m_strAppDir, settings);
    ASSERT_TRUE(check.success) << check.error.toStdString();
    EXPECT_FALSE(check.cacheCleared);
    EXPECT_FALSE(check.hasUpdate);

    // Same tag, another version: the launcher cache is emptied again.
    settings.setLauncherRecordVersion(7);
    OrvelTest::WriteFile(m_strAppDir + QStringLiteral("/_cache/ifslauncher/stale"), QByteArray("x"));
    check = OrvelFileService::CheckLauncherUpdate(m_strAppDir, settings);
    ASSERT_TRUE(check.success) << check.error.toStdString();
    EXPECT_TRUE(check.cacheCleared);
    EXPECT_FALSE(QFileInfo::exists(m_strAppDir + QStringLiteral("/_cache/ifslauncher/stale")));
    EXPECT_TRUE(QFileInfo(m_strAppDir + QStringLiteral("/_cache/ifslauncher")).isDir());
    EXPECT_EQ(settings.launcherRecordVersion(), 1u);
}

} // namespace
