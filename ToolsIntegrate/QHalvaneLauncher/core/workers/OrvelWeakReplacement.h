// Deferred file failures: a file outside the critical prefixes that could not
// be replaced is recorded here instead of failing the run, and offered for a
// retry later. Thread-safe; one collector per worker, cleared at each run.
#pragma once

#include <QString>

#include <map>
#include <mutex>
#include <vector>

struct WeakReplacementFailure
{
    QString strRelativePath;
    QString strLocalPath;
    QString strError;
    bool bRetried = false;
};

class WeakReplacementCollector
{
public:
    // Keyed by the normalised, lower-cased relative path; a later record of the
    // same file replaces the earlier one. A record without a path is dropped.
    void Record(const WeakReplacementFailure& failure);
    void Clear();
    // In key order.
    std::vector<WeakReplacementFailure> Snapshot() const;
    size_t Count() const;

private:
    mutable std::mutex m_mutex;
    std::map<QString, WeakReplacementFailure> m_mapFailures;
};
