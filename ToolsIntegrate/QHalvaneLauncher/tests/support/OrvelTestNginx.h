// A real nginx serving a directory on a free 127.0.0.1 port, for tests that
// sync from a content server. Its access log names every request; Kill stops
// it at once (a server that dies), Start brings it back on the same port.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace OrvelTest
{

class Nginx
{
public:
    // Starts serving strRoot; Running() says whether that worked.
    // strDirectives go into the server block (e.g. "max_ranges 0;").
    explicit Nginx(const QString& strRoot, const QString& strDirectives = QString());
    ~Nginx();
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool Running() const { return m_nPid > 0; }
    QString BaseUrl() const;
    // Starts again on the port of the first start.
    bool Start();
    // SIGKILL, no goodbye: open connections break.
    void Kill();
    // SIGSTOP / SIGCONT: connections are accepted by the kernel but nothing
    // answers until Thaw (a server that hangs).
    void Freeze();
    void Thaw();

    // "<method> <uri> <status> <bytes>" per request, in order.
    QStringList AccessLog() const;
    // GET requests (any status) whose URI starts with strPrefix.
    QStringList Gets(const QString& strPrefix) const;
    // Polls the log until fnDone holds for it or nDeadlineMs passes: nginx
    // writes a line only after the response, so counting right away races.
    bool WaitForLog(const std::function<bool(const QStringList&)>& fnDone, int nDeadlineMs = 10000) const;
    // Waits until every request answered so far is in the access log.
    bool Settle() const;
    // Settles, then empties the log.
    void ClearLog();

private:
    bool StartOnPort(quint16 uPort);

    QTemporaryDir m_dir;
    QString m_strRoot;
    QString m_strDirectives;
    qint64 m_nPid = -1;
    quint16 m_uPort = 0;
};

} // namespace OrvelTest
