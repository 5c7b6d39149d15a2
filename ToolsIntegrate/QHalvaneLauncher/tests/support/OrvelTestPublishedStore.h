// The suite set-up of the tests that run workers or the controller against a
// real store: Suite::MakeVersions() packed once per suite, served by a fresh
// nginx per test, launcher settings with a working path of the test's own,
// and file services on fresh caches. Also a worker run on a thread of its own,
// as the controller runs it.
#pragma once

#include "LauncherSettings.h"
#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"
#include "workers/OrvelOperationWorkerBase.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace OrvelTest
{

using Tree = QMap<QString, QByteArray>;

// What a worker run reported: Finished's success and counts (when it has
// them), the files it failed and the warnings it raised.
struct WorkerOutcome
{
    bool bFinished = false;
    bool bSuccess = false;
    int nFirst = 0;
    int nSecond = 0;
    QStringList vecFailedFiles;
    QStringList vecWarnings;
};

// The first version the suites start from: text and binary data, a resource,
// a program under a critical prefix, and nBulk files of 40 kB below
// strBulkDir that make a rate-limited run last long enough to be stopped.
inline Tree FirstVersion(int nBulk, const QString& strBulkDir = QStringLiteral("data/bulk"))
{
    Tree v1;
    v1[QStringLiteral("data/a.bin")] = Bytes(30000, 1);
    v1[QStringLiteral("data/b.txt")] = "b one";
    v1[QStringLiteral("res/c.dat")] = Bytes(20000, 2);
    v1[QStringLiteral("client/bin64/tool.dll")] = Bytes(10000, 3);
    for (int i = 0; i < nBulk; ++i)
        v1[QStringLiteral("%1/f%2.bin").arg(strBulkDir).arg(i, 2, 10, QLatin1Char('0'))] =
            Bytes(40000, 100 + i);
    return v1;
}

template <typename Suite> class PublishedStoreTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pStoreDir = new QTemporaryDir();
        s_vecVersions = Suite::MakeVersions();
        OrvelCorvaneBinding::SetLibraryDirectory(BinDir());
        ASSERT_TRUE(PublishVersions(s_vecVersions, StoreDir()));
    }
    static void TearDownTestSuite()
    {
        delete s_pStoreDir;
        s_pStoreDir = nullptr;
    }
    static QString StoreDir() { return s_pStoreDir->filePath(QStringLiteral("store")); }
    // Version n (from 1) as published.
    static const Tree& Version(int n) { return s_vecVersions[static_cast<size_t>(n - 1)]; }

    void SetUp() override
    {
        m_pServer = std::make_unique<Nginx>(StoreDir());
        ASSERT_TRUE(m_pServer->Running());
        m_pSettings = std::make_unique<LauncherSettings>(AppDir());
        m_pSettings->setWorkPath(WorkPath());
    }

    QString AppDir() const { return m_dir.filePath(QStringLiteral("app")); }
    QString WorkPath() const { return m_dir.filePath(QStringLiteral("work")); }
    QString Local(const QString& strRelative) const { return QDir(WorkPath()).filePath(strRelative); }

    // A service on a fresh cache (so every package it needs is fetched again).
    std::unique_ptr<OrvelFileService> NewService(quint32 uVersion, const QString& strUrl = QString())
    {
        const QString strName = QStringLiteral("cache%1").arg(++m_nCaches);
        const QString strConfig = m_dir.filePath(strName + QStringLiteral(".cfg"));
        WriteReaderConfig(strConfig, strUrl.isEmpty() ? m_pServer->BaseUrl() : strUrl,
                          m_dir.filePath(strName));
        auto pService = std::make_unique<OrvelFileService>();
        EXPECT_TRUE(pService->Initialize(strConfig, uVersion)) << pService->LastError().toStdString();
        return pService;
    }

    // A copy of the store without strRelative, in dir, served by a server of its own.
    static std::unique_ptr<Nginx> ServeDamagedCopy(const QTemporaryDir& dir, const QString& strRelative)
    {
        EXPECT_EQ(QProcess::execute(QStringLiteral("cp"),
                                    {QStringLiteral("-a"), StoreDir() + QStringLiteral("/."), dir.path()}),
                  0);
        EXPECT_TRUE(QFile::remove(dir.filePath(strRelative))) << strRelative.toStdString();
        return std::make_unique<Nginx>(dir.path());
    }

    // The published store served by a server that answers 503 to every
    // package: indexes and lists come, no file's content does.
    static std::unique_ptr<Nginx> ServePackagesUnavailable()
    {
        return std::make_unique<Nginx>(StoreDir(), QStringLiteral("location ~ \\.dat$ { return 503; }"));
    }

    // Runs the worker on a QThread of its own as the controller does;
    // fnWhileRunning runs on this thread meanwhile.
    template <typename Worker>
    WorkerOutcome Run(Worker* pWorker, const std::function<void(Worker*)>& fnWhileRunning = {})
    {
        WorkerOutcome outcome;
        std::mutex mutex;
        QObject::connect(
            pWorker, &OrvelOperationWorkerBase::FileFailed, pWorker,
            [&](const QString& strPath, const QString&)
            {
                std::lock_guard<std::mutex> lock(mutex);
                outcome.vecFailedFiles.push_back(strPath);
            },
            Qt::DirectConnection);
        QObject::connect(
            pWorker, &OrvelOperationWorkerBase::WarningRaised, pWorker,
            [&](const QString& strMessage)
            {
                std::lock_guard<std::mutex> lock(mutex);
                outcome.vecWarnings.push_back(strMessage);
            },
            Qt::DirectConnection);
        OnFinished(pWorker, &Worker::Finished,
                   [&](bool bSuccess, int nFirst, int nSecond)
                   {
                       std::lock_guard<std::mutex> lock(mutex);
                       outcome.bFinished = true;
                       outcome.bSuccess = bSuccess;
                       outcome.nFirst = nFirst;
                       outcome.nSecond = nSecond;
                   });
        const bool bDone = RunOnWorkerThread(
            pWorker,
            [&]
            {
                std::lock_guard<std::mutex> lock(mutex);
                return outcome.bFinished;
            },
            [&]
            {
                if (fnWhileRunning)
                    fnWhileRunning(pWorker);
            });
        EXPECT_TRUE(bDone) << "the worker did not finish";
        QObject::disconnect(pWorker, nullptr, pWorker, nullptr); // they refer to this frame
        std::lock_guard<std::mutex> lock(mutex);
        return outcome;
    }

    static inline QTemporaryDir* s_pStoreDir = nullptr;
    static inline std::vector<Tree> s_vecVersions;

    QTemporaryDir m_dir;
    std::unique_ptr<Nginx> m_pServer;
    std::unique_ptr<LauncherSettings> m_pSettings;

private:
    template <typename Worker, typename Record>
    static void OnFinished(Worker* pWorker, void (Worker::*pSignal)(bool), const Record& fnRecord)
    {
        QObject::connect(
            pWorker, pSignal, pWorker, [fnRecord](bool bSuccess) { fnRecord(bSuccess, 0, 0); },
            Qt::DirectConnection);
    }
    template <typename Worker, typename Record>
    static void OnFinished(Worker* pWorker, void (Worker::*pSignal)(bool, int, int), const Record& fnRecord)
    {
        QObject::connect(pWorker, pSignal, pWorker, fnRecord, Qt::DirectConnection);
    }

    int m_nCaches = 0;
};

} // namespace OrvelTest
