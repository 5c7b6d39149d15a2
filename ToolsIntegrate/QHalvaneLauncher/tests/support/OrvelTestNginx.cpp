#include "OrvelTestNginx.h"

namespace OrvelTest
{

namespace
{

// Our clients send at most one plain "bytes=a-b" range, so the Range field is
// the last one and never holds a space.
QStringList WithoutRange(const std::vector<std::string>& vecLines)
{
    QStringList vecOut;
    for (const std::string& strLine : vecLines)
        vecOut.push_back(QString::fromStdString(strLine.substr(0, strLine.rfind(' '))));
    return vecOut;
}

} // namespace

Nginx::Nginx(const QString& strRoot, const QString& strDirectives)
    : m_server(strRoot.toStdString(), false, true, strDirectives.toStdString())
{
}

QStringList Nginx::AccessLog() const
{
    return WithoutRange(m_server.AccessLogLinesNow());
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
    return m_server.WaitForLog([&](const std::vector<std::string>& vecLines)
                               { return fnDone(WithoutRange(vecLines)); },
                               std::chrono::milliseconds(nDeadlineMs));
}

} // namespace OrvelTest
