// Whether the store of a reader configuration answers now, and why not. The
// library reads a store's version marker from the server first and falls back
// to its cache, so a reader that opens says nothing about the server: the
// probe opens one with the same sources over an empty cache of its own. The
// library tells a transfer's cause only in its log ("PemCorvane.log" in the
// current directory), so the cause is read from the lines that attempt added.
// Blocks while it talks to the server; thread-safe.
#pragma once

#include <QString>

struct OrvelStoreProbeResult
{
    // Also true when the configuration names no server (a local store).
    bool bReachable = true;
    QString strUrl;   // the first remote source
    QString strCause; // "connection refused", "HTTP 404: no store at this address", ...
    // "URL: cause".
    QString Describe() const;
};

OrvelStoreProbeResult OrvelProbeStore(const QString& strConfigPath);

// The cause a library log line gives for a failed transfer; empty when the
// line is about something else.
QString OrvelTransferCauseFromLog(const QString& strLine);
