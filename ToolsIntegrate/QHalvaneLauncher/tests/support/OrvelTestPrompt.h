// The user, in tests that drive the controller: answers every question from a
// script (or with its default) and records what was asked and offered.
#pragma once

#include "IOrvelUserPrompt.h"
#include "workers/OrvelWeakReplacementRetry.h"

#include <QMap>

#include <functional>

namespace OrvelTest
{

class ScriptedPrompt : public IOrvelUserPrompt
{
public:
    OrvelQuestion::Button Ask(const OrvelQuestion& question) override
    {
        vecAsked.push_back(question);
        if (fnBeforeAnswer)
            fnBeforeAnswer();
        return mapAnswers.value(question.eId, question.eDefault);
    }
    bool ChooseVersion(OrvelFileService*, quint32* puVersion) override
    {
        *puVersion = uChosenVersion;
        return uChosenVersion != 0;
    }
    // Retries for real, as the dialog does once the user closed what held the files.
    OrvelWeakRetryOutcome RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures,
                                                OrvelFileService* pService,
                                                const QString& strWorkPath) override
    {
        if (fnBeforeRetry)
            fnBeforeRetry();
        return {true, ::RetryWeakReplacements(pService, vecFailures, strWorkPath).vecStillFailed};
    }
    bool ChooseReconcileDirectories(const QString&, const QStringList& vecCandidates,
                                    QStringList* pvecSelected) override
    {
        vecOffered = vecCandidates;
        *pvecSelected = vecChosen;
        return bChoose;
    }
    // Confirms every entry of the plan (or none).
    bool ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                              QStringList* pvecDelete) override
    {
        for (const OrvelReconcileEntry& entry : plan.vecRevert)
            pvecRevert->append(entry.strRelativePath);
        for (const OrvelReconcileEntry& entry : plan.vecDelete)
            pvecDelete->append(entry.strRelativePath);
        return bConfirm;
    }

    QList<OrvelQuestion::Id> Asked() const
    {
        QList<OrvelQuestion::Id> vecIds;
        for (const OrvelQuestion& question : vecAsked)
            vecIds.push_back(question.eId);
        return vecIds;
    }
    bool WasAsked(OrvelQuestion::Id eId) const { return Asked().contains(eId); }

    QMap<int, OrvelQuestion::Button> mapAnswers;
    std::function<void()> fnBeforeAnswer; // e.g. the files change while the question is open
    std::function<void()> fnBeforeRetry;  // e.g. the user closes the program that held the files
    quint32 uChosenVersion = 0;
    bool bChoose = true;
    bool bConfirm = true;
    QStringList vecChosen;
    QStringList vecOffered;
    QList<OrvelQuestion> vecAsked;
};

} // namespace OrvelTest
