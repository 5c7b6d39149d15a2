#include "OrvelStoreProbe.h"

#include "OrvelCorvaneBinding.h"
#include "OrvelFileService.h"

#include <Corvane/PemCorvaneX64.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace
{

// The texts of this file, in the OrvelStoreProbe translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelStoreProbe)
};

QString LibraryLogPath()
{
    return QDir::current().filePath(QStringLiteral("PemCorvane.log"));
}

qint64 LogSize()
{
    return QFileInfo(LibraryLogPath()).size();
}

struct LoggedFailure
{
    QString strCause; // the last transfer cause
    // The reader went on past the store's version marker: the server
    // answered, a later read failed (the check's own error says which).
    bool bPastMarker = false;
};

LoggedFailure FailureLoggedSince(qint64 nFrom)
{
    LoggedFailure failure;
    QFile log(LibraryLogPath());
    if (!log.open(QIODevice::ReadOnly))
        return failure;
    // A log truncated meanwhile (a new manager) holds only new lines.
    if (nFrom <= log.size())
        log.seek(nFrom);
    const QStringList vecLines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    for (const QString& strLine : vecLines)
    {
        const QString strFound = OrvelTransferCauseFromLog(strLine);
        if (!strFound.isEmpty())
            failure.strCause = strFound;
        if (strLine.contains(QLatin1String("ReadIdxElement")))
            failure.bPastMarker = true;
    }
    return failure;
}

// The configuration with every cache directory replaced by strCacheDir.
bool WriteProbeConfig(const QJsonObject& config, const QString& strCacheDir, const QString& strPath)
{
    QJsonObject probe = config;
    QJsonObject local = probe.value(QStringLiteral("local")).toObject();
    local.insert(QStringLiteral("dir"), strCacheDir);
    probe.insert(QStringLiteral("local"), local);
    QJsonObject remote = probe.value(QStringLiteral("remote")).toObject();
    for (const QString& strKey : remote.keys())
    {
        if (!remote.value(strKey).isObject())
            continue;
        QJsonObject source = remote.value(strKey).toObject();
        source.insert(QStringLiteral("dir"), strCacheDir);
        remote.insert(strKey, source);
    }
    probe.insert(QStringLiteral("remote"), remote);
    // The probe asks whether a store answers, not whether it is signed: a
    // refused signature is the reader's own error, not an unreachable server.
    QJsonObject global = probe.value(QStringLiteral("global")).toObject();
    global.remove(QStringLiteral("trust"));
    probe.insert(QStringLiteral("global"), global);
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(QJsonDocument(probe).toJson()) > 0 && file.flush();
}

} // namespace

QString OrvelStoreProbeResult::Describe() const
{
    return QStringLiteral("%1: %2").arg(strUrl, strCause);
}

QString OrvelTransferCauseFromLog(const QString& strLine)
{
    static const QRegularExpression curlFailure(
        QStringLiteral("Download file fail, ret=(\\d+), error=([^,]*)"));
    static const QRegularExpression httpFailure(QStringLiteral("Download file fail, code is (\\d+)"));
    QRegularExpressionMatch match = curlFailure.match(strLine);
    if (match.hasMatch())
    {
        // libcurl's own texts name the step, not what a user can act on.
        switch (match.captured(1).toInt())
        {
        case 6: // CURLE_COULDNT_RESOLVE_HOST
            return Text::tr("host name not found");
        case 7: // CURLE_COULDNT_CONNECT
            return Text::tr("connection refused");
        case 28: // CURLE_OPERATION_TIMEDOUT
            return Text::tr("no answer in time");
        default:
            return match.captured(2).trimmed();
        }
    }
    match = httpFailure.match(strLine);
    if (!match.hasMatch())
        return QString();
    const int nCode = match.captured(1).toInt();
    if (nCode == 404)
        return Text::tr("HTTP 404: no store at this address");
    return Text::tr("HTTP %1").arg(nCode);
}

OrvelStoreProbeResult OrvelProbeStore(const QString& strConfigPath)
{
    OrvelStoreProbeResult result;
    QFile file(strConfigPath);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QJsonObject config = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonObject remote = config.value(QStringLiteral("remote")).toObject();
    const bool bRemote =
        config.value(QStringLiteral("global")).toObject().value(QStringLiteral("remote")).toInt();
    result.strUrl = remote.value(QStringLiteral("0")).toObject().value(QStringLiteral("url")).toString();
    if (!bRemote || result.strUrl.isEmpty())
        return result;

    QTemporaryDir dir;
    const QString strConfig = dir.filePath(QStringLiteral("probe.cfg"));
    OrvelCorvaneBinding::EntryPoints entry;
    QString strError;
    if (!dir.isValid() || !WriteProbeConfig(config, dir.filePath(QStringLiteral("cache")), strConfig) ||
        !OrvelCorvaneBinding::Bind(&entry, &strError))
        return result; // nothing learned: say nothing against the server

    const qint64 nLogBefore = LogSize();
    NSCorvane::IPemCorvaneReader* pReader = nullptr;
    const QByteArray path = QDir::fromNativeSeparators(strConfig).toUtf8();
    // The server's latest-version marker is the answer: a reader of lists
    // only reads no more (the index would be fetched here only to be dropped).
    if (entry.NewReader(true)(&pReader, path.constData(), NSCorvane::_INVALID_VER) && pReader != nullptr)
    {
        OrvelFileService::ReleaseCounted(pReader);
        return result;
    }
    const LoggedFailure failure = FailureLoggedSince(nLogBefore);
    if (failure.bPastMarker)
        return result;
    result.bReachable = false;
    result.strCause = failure.strCause.isEmpty() ? Text::tr("the answer is not a store") : failure.strCause;
    return result;
}
