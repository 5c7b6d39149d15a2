#include "OrvelDialogPrompt.h"

#include "OrvelDirectoryReconcileDialog.h"
#include "OrvelReconcilePlanDialog.h"
#include "OrvelVersionBrowseDialog.h"
#include "OrvelWeakReplacementDialog.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace
{

QMessageBox::StandardButton ToBox(OrvelQuestion::Button eButton)
{
    switch (eButton)
    {
    case OrvelQuestion::Yes:
        return QMessageBox::Yes;
    case OrvelQuestion::No:
        return QMessageBox::No;
    case OrvelQuestion::Ok:
        break;
    }
    return QMessageBox::Ok;
}

// Qt's own button texts are not translated here; these are.
QString ButtonText(OrvelQuestion::Button eButton)
{
    switch (eButton)
    {
    case OrvelQuestion::Yes:
        return QCoreApplication::translate("OrvelDialogPrompt", "Yes");
    case OrvelQuestion::No:
        return QCoreApplication::translate("OrvelDialogPrompt", "No");
    case OrvelQuestion::Ok:
        break;
    }
    return QCoreApplication::translate("OrvelDialogPrompt", "OK");
}

} // namespace

QMessageBox::StandardButton OrvelDialogPrompt::AskYesNo(QWidget* pParent, const QString& strTitle,
                                                        const QString& strText)
{
    QMessageBox box(QMessageBox::Question, strTitle, strText, QMessageBox::NoButton, pParent);
    box.addButton(QMessageBox::Yes)->setText(ButtonText(OrvelQuestion::Yes));
    box.addButton(QMessageBox::No)->setText(ButtonText(OrvelQuestion::No));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

OrvelQuestion::Button OrvelDialogPrompt::Ask(const OrvelQuestion& question)
{
    QMessageBox box(question.eIcon == OrvelQuestion::IconWarning ? QMessageBox::Warning
                                                                 : QMessageBox::Question,
                    question.strTitle, question.strText, QMessageBox::NoButton, m_pParent.data());
    for (OrvelQuestion::Button eButton : question.vecButtons)
        box.addButton(ToBox(eButton))->setText(ButtonText(eButton));
    box.setDefaultButton(ToBox(question.eDefault));
    const int nAnswer = box.exec();
    for (OrvelQuestion::Button eButton : question.vecButtons)
    {
        if (nAnswer == ToBox(eButton))
            return eButton;
    }
    // Closed without a button (Esc on a box without No): the safe default.
    return question.eDefault;
}

bool OrvelDialogPrompt::ChooseVersion(OrvelFileService* pService, quint32* puVersion)
{
    OrvelVersionBrowseDialog dialog(pService, m_pParent.data());
    if (dialog.exec() != QDialog::Accepted || dialog.SelectedVersion() == 0)
        return false;
    *puVersion = dialog.SelectedVersion();
    return true;
}

OrvelWeakRetryOutcome
OrvelDialogPrompt::RetryWeakReplacements(const std::vector<WeakReplacementFailure>& vecFailures,
                                         OrvelFileService* pService, const QString& strWorkPath)
{
    OrvelWeakReplacementDialog dialog(vecFailures, pService, strWorkPath, m_pParent.data());
    OrvelWeakRetryOutcome outcome;
    outcome.bRetried = dialog.exec() == QDialog::Accepted;
    outcome.vecUnresolved = dialog.UnresolvedFailures();
    return outcome;
}

bool OrvelDialogPrompt::ChooseReconcileDirectories(const QString& strWorkPath,
                                                   const QStringList& vecCandidates,
                                                   QStringList* pvecSelected)
{
    return OrvelDirectoryReconcileDialog::Ask(m_pParent.data(), strWorkPath, vecCandidates, pvecSelected);
}

bool OrvelDialogPrompt::ConfirmReconcilePlan(const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                                             QStringList* pvecDelete)
{
    return OrvelReconcilePlanDialog::Ask(m_pParent.data(), plan, pvecRevert, pvecDelete);
}
