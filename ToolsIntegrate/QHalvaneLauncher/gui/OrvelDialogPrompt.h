// The window's answers to the controller's questions: message boxes, the
// version browse dialog and the weak-replacement dialog, each modal over the
// given parent. Runs on the GUI thread.
#pragma once

#include "IOrvelUserPrompt.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class OrvelDialogPrompt : public IOrvelUserPrompt
{
public:
    // pParent (not owned) may go away before the prompt; boxes then have no parent.
    explicit OrvelDialogPrompt(QWidget* pParent) : m_pParent(pParent) {}

    // A question box with translated Yes and No, No as the default.
    static QMessageBox::StandardButton AskYesNo(QWidget* pParent, const QString& strTitle,
                                                const QString& strText);

    OrvelQuestion::Button Ask(const OrvelQuestion& question) override;
    bool ChooseVersion(OrvelFileService* pService, quint32* puVersion) override;
    bool ChooseReconcileDirectories(const QString& strWorkPath, const QStringList& vecCandidates,
                                    QStringList* pvecSelected) override;
    bool ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                              QStringList* pvecDelete) override;
    OrvelWeakRetryOutcome RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures,
                                                OrvelFileService* pService,
                                                const QString& strWorkPath) override;

private:
    QPointer<QWidget> m_pParent;
};
