// The controller's questions on a terminal: --yes answers each with its
// affirmative button; otherwise a person at a terminal is asked, and a script
// (standard input not a terminal) gets each question's default button. Weak
// replacements are retried --retry-weak times; what stays unresolved is kept
// for the summary.
#pragma once

#include "IOrvelUserPrompt.h"

class OrvelTerminalPrompt : public IOrvelUserPrompt
{
public:
    OrvelTerminalPrompt(bool bYes, int nWeakRetries);

    OrvelQuestion::Button Ask(const OrvelQuestion& question) override;
    bool ChooseVersion(OrvelFileService* pService, quint32* puVersion) override;
    OrvelWeakRetryOutcome RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures,
                                                OrvelFileService* pService,
                                                const QString& strWorkPath) override;

    bool ChooseReconcileDirectories(const QString& strWorkPath, const QStringList& vecCandidates,
                                    QStringList* pvecSelected) override;
    // Prints the plan; confirms all of it only when applying was asked for.
    bool ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                              QStringList* pvecDelete) override;

    // The directories of "reconcile DIR..." (relative to the working path),
    // and whether to apply the plan (--yes) or only print it.
    void SetReconcile(const QStringList& vecDirectories, bool bApply);

    const std::vector<WeakReplacementFailure>& Unresolved() const { return m_vecUnresolved; }

private:
    bool m_bYes;
    int m_nWeakRetries;
    std::vector<WeakReplacementFailure> m_vecUnresolved;
    QStringList m_vecReconcileDirs;
    bool m_bReconcileApply = false;
};
