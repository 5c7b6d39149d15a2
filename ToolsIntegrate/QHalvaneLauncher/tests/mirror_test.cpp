// A studio's mirror between orvelsync and the store (scripts/mirror.sh over
// the template in deploy/nginx), installs through two sources whose first one
// fails, and the upload order of scripts/publish-store.sh: the real scripts,
// nginx, programs and files, on loopback ports.
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{
using Tree = QMap<QString, QByteArray>;
const int kDeadlineMs = 120000;

struct ProgramRun
{
    int nExitCode = -1;
    QString strOut;
};

ProgramRun RunProgram(const QString& strProgram, const QStringList& vecArgs,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(strProgram, vecArgs);
    ProgramRun result;
    if (!process.waitForStarted() || !process.waitForFinished(kDeadlineMs))
    {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "did not finish: " << strProgram.toStdString() << ' '
                      << vecArgs.join(QLatin1Char(' ')).toStdString();
        return result;
    }
    result.nExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.strOut = QString::fromLocal8Bit(process.readAll());
    return result;
}

QString Script(const char* pcszName)
{
    return QStringLiteral(CORVANE_TEST_SOURCE_DIR "/scripts/") + QLatin1String(pcszName);
}

sockaddr_in Loopback(uint16_t uPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uPort);
    return addr;
}

// A loopback port bound a moment ago and let go: free now, and refused until
// somebody listens on it.
uint16_t FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof(addr);
    uint16_t uPort = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        uPort = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return uPort;
}

bool Accepts(uint16_t uPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Loopback(uPort);
    const bool bOk = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    if (fd >= 0)
        ::close(fd);
    return bOk;
}

class MirrorTest : public ::testing::Test
{
protected:
    QString path(const QString& strName) const { return m_dir.path() + QLatin1Char('/') + strName; }

    void SetUp() override
    {
        for (int i = 0; i < 12; ++i)
            m_v1[QStringLiteral("bulk/f%1.bin").arg(i)] = OrvelTest::Bytes(150000 + 20000 * i, 100 + i);
        m_v1[QStringLiteral("data/b.txt")] = "b one";
        m_v2 = m_v1;
        m_v2[QStringLiteral("bulk/f3.bin")] = OrvelTest::Bytes(300000, 7);
        m_v2[QStringLiteral("data/new.txt")] = "new in two";
        OrvelTest::WriteTree(path(QStringLiteral("tree1")), m_v1);
        OrvelTest::WriteTree(path(QStringLiteral("tree2")), m_v2);
        ASSERT_TRUE(OrvelTest::PackVersion(path(QStringLiteral("tree1")), path(QStringLiteral("store")), 1));
    }

    // get-latest into a new installation and working path; the exit code.
    int Install(const QString& strName, const QStringList& vecServers)
    {
        QStringList vecArgs{QStringLiteral("get-latest"),
                            QStringLiteral("--yes"),
                            QStringLiteral("--quiet"),
                            QStringLiteral("--app-dir"),
                            path(strName + QStringLiteral("/app")),
                            QStringLiteral("--work-path"),
                            path(strName + QStringLiteral("/work"))};
        for (const QString& strServer : vecServers)
            vecArgs << QStringLiteral("--server") << strServer;
        const ProgramRun run = RunProgram(OrvelTest::BinDir() + QStringLiteral("/orvelsync"), vecArgs);
        EXPECT_EQ(run.nExitCode, 0) << run.strOut.toStdString();
        return run.nExitCode;
    }
    Tree Installed(const QString& strName) const
    {
        return OrvelTest::ReadTree(path(strName + QStringLiteral("/work")));
    }

    QTemporaryDir m_dir;
    Tree m_v1;
    Tree m_v2;
};

} // namespace

TEST_F(MirrorTest, TheMirrorScriptChecksItsConfigurationAndServesInstallsFromItsCache)
{
    OrvelTest::Nginx origin(path(QStringLiteral("store")));
    ASSERT_TRUE(origin.Running());
    uint16_t uPort = FreePort();
    QString strListen = QStringLiteral("127.0.0.1:%1").arg(uPort);
    const auto fnArgs = [&]
    {
        return QStringList{QStringLiteral("--origin"), origin.BaseUrl() + QLatin1Char('/'),
                           QStringLiteral("--listen"), strListen,
                           QStringLiteral("--cache"),  path(QStringLiteral("mirror"))};
    };

    ProgramRun check = RunProgram(Script("mirror.sh"), fnArgs() + QStringList{QStringLiteral("--check")});
    EXPECT_EQ(check.nExitCode, 0) << check.strOut.toStdString();
    // Bad input is refused before nginx is asked.
    check =
        RunProgram(Script("mirror.sh"), QStringList{QStringLiteral("--origin"), QStringLiteral("ftp://x"),
                                                    QStringLiteral("--listen"), strListen,
                                                    QStringLiteral("--cache"), path(QStringLiteral("m2"))});
    EXPECT_EQ(check.nExitCode, 2);
    EXPECT_TRUE(check.strOut.contains(QStringLiteral("--origin needs an http or https URL")))
        << check.strOut.toStdString();

    // The port was free a moment ago; another program may take it first, then try another.
    QProcess mirror;
    mirror.setProcessChannelMode(QProcess::ForwardedChannels);
    for (int nTry = 0; nTry < 3 && mirror.state() != QProcess::Running; ++nTry)
    {
        if (nTry > 0)
        {
            uPort = FreePort();
            strListen = QStringLiteral("127.0.0.1:%1").arg(uPort);
        }
        mirror.start(Script("mirror.sh"), fnArgs());
        ASSERT_TRUE(mirror.waitForStarted());
        ASSERT_TRUE(OrvelTest::WaitUntil(
            [&] { return Accepts(uPort) || mirror.state() == QProcess::NotRunning; }, 30000));
    }
    ASSERT_EQ(mirror.state(), QProcess::Running);
    const QString strMirror = QStringLiteral("http://") + strListen;

    ASSERT_EQ(Install(QStringLiteral("a"), {strMirror}), 0);
    EXPECT_EQ(Installed(QStringLiteral("a")), m_v1);
    ASSERT_GT(origin.Gets(QStringLiteral("/dat/")).size(), 0);

    // A second machine is served from the mirror's cache: the origin sees nothing of it.
    origin.ClearLog();
    ASSERT_EQ(Install(QStringLiteral("b"), {strMirror}), 0);
    EXPECT_EQ(Installed(QStringLiteral("b")), m_v1);
    EXPECT_EQ(origin.Gets(QStringLiteral("/dat/")), QStringList());

    // Ctrl-C stops it.
    ::kill(static_cast<pid_t>(mirror.processId()), SIGINT);
    EXPECT_TRUE(mirror.waitForFinished(30000));
    EXPECT_FALSE(Accepts(uPort));
}

TEST_F(MirrorTest, AnInstallCompletesFromTheSecondSourceWhenTheFirstFails)
{
    OrvelTest::Nginx origin(path(QStringLiteral("store")));
    ASSERT_TRUE(origin.Running());

    // Every source given must be a server URL.
    const ProgramRun usage =
        RunProgram(OrvelTest::BinDir() + QStringLiteral("/orvelsync"),
                   {QStringLiteral("status"), QStringLiteral("--app-dir"), path(QStringLiteral("u")),
                    QStringLiteral("--server"), origin.BaseUrl(), QStringLiteral("--server"),
                    QStringLiteral("ftp://mirror")});
    EXPECT_EQ(usage.nExitCode, 2);
    EXPECT_TRUE(usage.strOut.contains(QStringLiteral("--server needs an http or https URL: ftp://mirror")))
        << usage.strOut.toStdString();

    // Nobody listens on the first source.
    const QString strDead = QStringLiteral("http://127.0.0.1:%1").arg(FreePort());
    ASSERT_EQ(Install(QStringLiteral("dead"), {strDead, origin.BaseUrl()}), 0);
    EXPECT_EQ(Installed(QStringLiteral("dead")), m_v1);

    // The first source answers every request with 502, as a mirror whose own
    // origin is out of reach: it is asked once by the start-up decision and
    // once by the update, not once per file or per reader.
    OrvelTest::Nginx bad(path(QStringLiteral("store")), QStringLiteral("return 502;"));
    ASSERT_TRUE(bad.Running());
    ASSERT_EQ(Install(QStringLiteral("bad"), {bad.BaseUrl(), origin.BaseUrl()}), 0);
    EXPECT_EQ(Installed(QStringLiteral("bad")), m_v1);
    ASSERT_TRUE(bad.Settle());
    const QStringList vecBad = bad.AccessLog();
    EXPECT_EQ(vecBad.size(), 2) << vecBad.join(QLatin1Char('\n')).toStdString();
    for (const QString& strLine : vecBad)
        EXPECT_TRUE(strLine.contains(QStringLiteral(" 502 "))) << strLine.toStdString();
}

TEST_F(MirrorTest, ClientsReadingDuringAnUploadNeverMeetAVersionWithMissingFiles)
{
    const QString strServed = path(QStringLiteral("served"));
    ProgramRun publish = RunProgram(Script("publish-store.sh"), {path(QStringLiteral("store")), strServed});
    ASSERT_EQ(publish.nExitCode, 0) << publish.strOut.toStdString();
    ASSERT_TRUE(OrvelTest::PackVersion(path(QStringLiteral("tree2")), path(QStringLiteral("store")), 2));
    OrvelTest::Nginx server(strServed);
    ASSERT_TRUE(server.Running());
    OrvelTest::WriteReaderConfig(path(QStringLiteral("client.cfg")), server.BaseUrl(),
                                 path(QStringLiteral("cache")));

    // After each copy step a client reads the latest version through nginx in
    // full: its version number, and every package of it, checked.
    const QString strWrap = path(QStringLiteral("wrap"));
    ASSERT_TRUE(QDir().mkpath(strWrap));
    const QString strSeen = path(QStringLiteral("seen.txt"));
    const QString strCorvane = OrvelTest::BinDir() + QStringLiteral("/corvane");
    OrvelTest::WriteFile(
        strWrap + QStringLiteral("/rsync"),
        QStringLiteral("#!/bin/sh\n/usr/bin/rsync \"$@\" || exit $?\n"
                       "rm -rf '%1' && mkdir -p '%1'\n"
                       "v=$('%2' info --config '%3' | sed -n 's/^version: *//p')\n"
                       "'%2' fetch --config '%3' >/dev/null 2>&1 || { echo \"$v broken\" >>'%4'; exit 1; }\n"
                       "echo \"$v whole\" >>'%4'\n")
            .arg(path(QStringLiteral("cache")), strCorvane, path(QStringLiteral("client.cfg")), strSeen)
            .toUtf8());
    QFile::setPermissions(strWrap + QStringLiteral("/rsync"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), strWrap + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    publish = RunProgram(Script("publish-store.sh"), {path(QStringLiteral("store")), strServed}, env);
    EXPECT_EQ(publish.nExitCode, 0) << publish.strOut.toStdString();
    EXPECT_EQ(QString::fromUtf8(OrvelTest::ReadFile(strSeen)), QStringLiteral("1 whole\n1 whole\n2 whole\n"));

    // The same check catches the wrong order: the marker first, its files not yet there.
    const QString strWrong = path(QStringLiteral("wrong"));
    publish = RunProgram(Script("publish-store.sh"), {path(QStringLiteral("store")), strWrong});
    ASSERT_EQ(publish.nExitCode, 0);
    ASSERT_TRUE(QDir(strWrong + QStringLiteral("/dat/v2")).removeRecursively());
    OrvelTest::Nginx wrong(strWrong);
    ASSERT_TRUE(wrong.Running());
    OrvelTest::WriteReaderConfig(path(QStringLiteral("wrong.cfg")), wrong.BaseUrl(),
                                 path(QStringLiteral("cache2")));
    const ProgramRun fetch = RunProgram(
        strCorvane, {QStringLiteral("fetch"), QStringLiteral("--config"), path(QStringLiteral("wrong.cfg"))});
    EXPECT_NE(fetch.nExitCode, 0) << fetch.strOut.toStdString();
}
