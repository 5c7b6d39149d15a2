// One more attempt at files a task deferred as weak replacements (typically
// held open by a running tool), shared by the retry dialog, the controller and
// orvelsync. Each file goes through the file service's verified, atomic
// download into the working path (3 attempts, 200 ms back-off), never through
// a link and never outside the working path; nothing is deferred again.
// Everything written is flushed before the function returns. Runs on the
// calling thread; pService must not be used elsewhere meanwhile.
#pragma once

#include "workers/OrvelWeakReplacement.h"

#include <QString>

#include <atomic>
#include <functional>
#include <vector>

class OrvelFileService;

struct WeakRetryResult
{
    int nSucceeded = 0;
    // The failures that are still failures, in the order given, each with the
    // new error text and bRetried set.
    std::vector<WeakReplacementFailure> vecStillFailed;
};

// fnBeforeFile(i, n), 1-based, runs before each file (the dialog repaints
// there). pbCancel may be null; a cancel leaves the rest failed with
// "Stopped". pService null or not ready: every failure comes back
// with "Weak replacement retry skipped: target file service unavailable".
WeakRetryResult RetryWeakReplacements(OrvelFileService* pService,
                                      const std::vector<WeakReplacementFailure>& vecFailures,
                                      const QString& strWorkPath,
                                      const std::function<void(int, int)>& fnBeforeFile = {},
                                      const std::atomic_bool* pbCancel = nullptr);

// The failures of vecAll whose relative path (compared ignoring ASCII case)
// is not among vecSelected, order kept: what stays unresolved when only the
// selected ones are retried.
std::vector<WeakReplacementFailure>
WeakFailuresNotSelected(const std::vector<WeakReplacementFailure>& vecAll,
                        const std::vector<WeakReplacementFailure>& vecSelected);
