// The test nginx (CorvaneTest::NginxServer) with a Qt face, for tests that
// sync from a content server. Its access log names every request; Kill stops
// it at once (a server that dies), Start brings it back on the same port.
#pragma once

#include "support/NginxServer.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace OrvelTest
{

class Nginx
{
public:
    // Starts serving strRoot; Running() says whether that worked.
    // strDirectives go into the server block (e.g. "max_ranges 0;").
    explicit Nginx(const QString& strRoot, const QString& strDirectives = QString());
    ~Nginx() { Kill(); }
    Nginx(const Nginx&) = delete;
    Nginx& operator=(const Nginx&) = delete;

    bool Running() const { return m_server.Running(); }
    QString BaseUrl() const { return QString::fromStdString(m_server.BaseUrl()); }
    // Starts again on the port of the first start.
    bool Start() { return m_server.Start(); }
    // SIGKILL, no goodbye: open connections break.
    void Kill() { m_server.Kill(); }
    // SIGSTOP / SIGCONT: connections are accepted by the kernel but nothing
    // answers until Thaw (a server that hangs).
    void Freeze() { m_server.Freeze(); }
    void Thaw() { m_server.Thaw(); }

    // "<method> <uri> <status> <bytes>" per request, in order, as the log stands.
    QStringList AccessLog() const;
    // GET requests (any status) whose URI starts with strPrefix.
    QStringList Gets(const QString& strPrefix) const;
    // Polls the log until fnDone holds for it or nDeadlineMs passes: nginx
    // writes a line only after the response, so counting right away races.
    bool WaitForLog(const std::function<bool(const QStringList&)>& fnDone, int nDeadlineMs = 10000) const;
    // Waits until every request answered so far is in the access log.
    bool Settle() const { return m_server.SettleLog(); }
    // Settles, then empties the log.
    void ClearLog() { m_server.ClearLog(); }

private:
    CorvaneTest::NginxServer m_server;
};

} // namespace OrvelTest
