#include "OrvelTestNginx.h"

#include "OrvelTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace OrvelTest
{

namespace
{

const char kNginx[] = "/usr/sbin/nginx";

sockaddr_in Loopback(quint16 uPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uPort);
    return addr;
}

// A port the kernel calls free now; nginx binds it a moment later, so a start
// that loses the race is retried with another.
quint16 FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof(addr);
    quint16 uPort = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        uPort = ntohs(addr.sin_port);
    ::close(fd);
    return uPort;
}

bool CanConnect(quint16 uPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in addr = Loopback(uPort);
    const bool bOk = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bOk;
}

} // namespace

Nginx::Nginx(const QString& strRoot, const QString& strDirectives)
    : m_strRoot(strRoot), m_strDirectives(strDirectives)
{
    for (int nTry = 0; nTry < 5 && !Running(); ++nTry)
    {
        const quint16 uPort = FreePort();
        if (uPort != 0)
            StartOnPort(uPort);
    }
    EXPECT_TRUE(Running()) << ReadFile(m_dir.filePath("error.log")).toStdString();
}

Nginx::~Nginx()
{
    Kill();
}

QString Nginx::BaseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_uPort);
}

bool Nginx::Start()
{
    return Running() || StartOnPort(m_uPort);
}

bool Nginx::StartOnPort(quint16 uPort)
{
    const QString strPrefix = m_dir.path();
    const QString strConf =
        QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\npid %1/nginx.pid;\n"
                       "error_log %1/error.log warn;\nevents { worker_connections 256; }\n"
                       "http {\n  log_format orvel '$request_method $uri $status $body_bytes_sent';\n"
                       "  default_type application/octet-stream;\n  keepalive_requests 100000;\n"
                       "  client_body_temp_path %1/tmp_body;\n  proxy_temp_path %1/tmp_proxy;\n"
                       "  fastcgi_temp_path %1/tmp_fastcgi;\n  uwsgi_temp_path %1/tmp_uwsgi;\n"
                       "  scgi_temp_path %1/tmp_scgi;\n"
                       "  server {\n    listen 127.0.0.1:%2;\n    root %3;\n    %4\n"
                       "    access_log %1/access.log orvel;\n    location / { }\n  }\n}\n")
            .arg(strPrefix)
            .arg(uPort)
            .arg(m_strRoot)
            .arg(m_strDirectives);
    WriteFile(m_dir.filePath("nginx.conf"), strConf.toUtf8());
    QFile::remove(m_dir.filePath("nginx.pid"));
    if (!QFile::exists(m_dir.filePath("access.log")))
        WriteFile(m_dir.filePath("access.log"), QByteArray());

    const QByteArray prefix = strPrefix.toLocal8Bit();
    const QByteArray conf = m_dir.filePath("nginx.conf").toLocal8Bit();
    const QByteArray errorLog = m_dir.filePath("error.log").toLocal8Bit();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
    {
        // A test that dies (a sanitizer report ends it at once) takes its
        // server along, and the server never holds the test's output open:
        // either would leave the test runner waiting for its full timeout.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int nNull = ::open("/dev/null", O_RDWR);
        if (nNull >= 0)
        {
            ::dup2(nNull, STDIN_FILENO);
            ::dup2(nNull, STDOUT_FILENO);
            ::dup2(nNull, STDERR_FILENO);
        }
        ::execl(kNginx, kNginx, "-p", prefix.constData(), "-c", conf.constData(), "-e", errorLog.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired())
    {
        int nStatus = 0;
        if (::waitpid(pid, &nStatus, WNOHANG) == pid)
            return false; // the port was taken meanwhile
        // Another test's server may answer on a port ours failed to take: only
        // our own pid file (written after the bind) says the port is ours.
        const bool bOurs =
            ReadFile(m_dir.filePath("nginx.pid")).trimmed() == QByteArray::number(static_cast<qint64>(pid));
        if (bOurs && CanConnect(uPort))
        {
            m_nPid = pid;
            m_uPort = uPort;
            return true;
        }
        QThread::msleep(10);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return false;
}

void Nginx::Freeze()
{
    if (m_nPid > 0)
        ::kill(static_cast<pid_t>(m_nPid), SIGSTOP);
}

void Nginx::Thaw()
{
    if (m_nPid > 0)
        ::kill(static_cast<pid_t>(m_nPid), SIGCONT);
}

void Nginx::Kill()
{
    if (m_nPid <= 0)
        return;
    ::kill(static_cast<pid_t>(m_nPid), SIGKILL);
    while (::waitpid(static_cast<pid_t>(m_nPid), nullptr, 0) < 0 && errno == EINTR)
    {
    }
    m_nPid = -1;
}

QStringList Nginx::AccessLog() const
{
    return QString::fromUtf8(ReadFile(m_dir.filePath("access.log")))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList Nginx::Gets(const QString& strPrefix) const
{
    QStringList vecOut;
    const QString strStart = QStringLiteral("GET ") + strPrefix;
    for (const QString& strLine : AccessLog())
    {
        if (strLine.startsWith(strStart))
            vecOut.push_back(strLine);
    }
    return vecOut;
}

bool Nginx::WaitForLog(const std::function<bool(const QStringList&)>& fnDone, int nDeadlineMs) const
{
    QDeadlineTimer deadline(nDeadlineMs);
    for (;;)
    {
        if (fnDone(AccessLog()))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
}

bool Nginx::Settle() const
{
    // nginx logs a request after its response, in one event loop: once a marker
    // asked for now is in the log, every request answered before it is too.
    static std::atomic<int> s_nMarker{0};
    const QString strMarker = QStringLiteral("/.orvel-log-marker-%1-%2")
                                  .arg(QCoreApplication::applicationPid())
                                  .arg(s_nMarker.fetch_add(1));
    QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                               QStringLiteral("/dev/null"), BaseUrl() + strMarker});
    return WaitForLog(
        [&](const QStringList& vecLines)
        {
            for (const QString& strLine : vecLines)
                if (strLine.contains(strMarker))
                    return true;
            return false;
        },
        20000);
}

void Nginx::ClearLog()
{
    Settle();
    // nginx keeps the file open in append mode, so truncating it in place is safe.
    QFile file(m_dir.filePath("access.log"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.close();
}

} // namespace OrvelTest
