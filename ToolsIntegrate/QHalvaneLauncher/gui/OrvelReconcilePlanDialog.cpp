#include "OrvelReconcilePlanDialog.h"

#include "OrvelCheckTree.h"

#include <QLabel>
#include <QLocale>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

namespace
{

void CollectCheckedFiles(const QStandardItem* pItem, QStringList* pvecOut)
{
    for (int i = 0; i < pItem->rowCount(); ++i)
    {
        const QStandardItem* pChild = pItem->child(i);
        if (pChild->data(OrvelCheckTree::kIsFileRole).toBool())
        {
            if (pChild->checkState() == Qt::Checked)
                pvecOut->append(pChild->data(Qt::UserRole).toString());
        }
        else if (pChild->checkState() != Qt::Unchecked)
            CollectCheckedFiles(pChild, pvecOut);
    }
}

} // namespace

OrvelReconcilePlanDialog::OrvelReconcilePlanDialog(const OrvelReconcilePlan& plan, QWidget* pParent)
    : QDialog(pParent)
{
    setWindowTitle(tr("Confirm Directory Reconcile Plan"));
    resize(680, 520);

    auto* pLabel = new QLabel(
        tr("Select the files to revert to the server version or delete from the local directory."), this);
    pLabel->setWordWrap(true);
    m_pModel = new QStandardItemModel(this);
    m_pView = OrvelCheckTree::MakeView(m_pModel, tr("File Name"), this);
    m_pRevertGroup = AddGroup(tr("Revert to server version"), plan.vecRevert);
    m_pDeleteGroup = AddGroup(tr("Delete extra local files"), plan.vecDelete);
    m_pView->expandAll();
    connect(m_pModel, &QStandardItemModel::itemChanged, this, &OrvelReconcilePlanDialog::OnItemChanged);

    OrvelCheckTree::LayOut(this, pLabel, m_pView, tr("Apply Selected Changes"), tr("No"));
}

QStandardItem* OrvelReconcilePlanDialog::AddGroup(const QString& strTitle,
                                                  const QVector<OrvelReconcileEntry>& vecEntries)
{
    QStandardItem* pGroup = OrvelCheckTree::MakeItem(strTitle, QString(), false);
    m_pModel->appendRow(pGroup);
    const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
    const QLocale locale;
    for (const OrvelReconcileEntry& entry : vecEntries)
    {
        const QStringList vecParts = entry.strRelativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QStandardItem* pParent = pGroup;
        QString strPath;
        for (int i = 0; i + 1 < vecParts.size(); ++i)
        {
            strPath = strPath.isEmpty() ? vecParts.at(i) : strPath + QLatin1Char('/') + vecParts.at(i);
            QStandardItem* pDir = nullptr;
            for (int j = 0; j < pParent->rowCount() && pDir == nullptr; ++j)
            {
                QStandardItem* pChild = pParent->child(j);
                if (!pChild->data(OrvelCheckTree::kIsFileRole).toBool() &&
                    pChild->data(Qt::UserRole).toString() == strPath)
                    pDir = pChild;
            }
            if (pDir == nullptr)
            {
                pDir = OrvelCheckTree::MakeItem(vecParts.at(i), strPath, false);
                pDir->setIcon(folder);
                pParent->appendRow(pDir);
            }
            pParent = pDir;
        }
        QStandardItem* pFile = OrvelCheckTree::MakeItem(
            vecParts.isEmpty() ? entry.strRelativePath : vecParts.last(), entry.strRelativePath, true);
        pFile->setIcon(file);
        const qint64 nSize = entry.strStorePath.isEmpty() ? entry.nLocalSize : entry.nServerSize;
        pFile->setToolTip(nSize >= 0
                              ? tr("%1 (%2)").arg(entry.strRelativePath, locale.formattedDataSize(nSize))
                              : entry.strRelativePath);
        pParent->appendRow(pFile);
    }
    return pGroup;
}

void OrvelReconcilePlanDialog::OnItemChanged(QStandardItem* item)
{
    if (m_bPropagating || item == nullptr)
        return;
    m_bPropagating = true;
    OrvelCheckTree::Propagate(item);
    m_bPropagating = false;
}

QStringList OrvelReconcilePlanDialog::SelectedRevert() const
{
    QStringList vecOut;
    if (m_pRevertGroup->checkState() != Qt::Unchecked)
        CollectCheckedFiles(m_pRevertGroup, &vecOut);
    return vecOut;
}

QStringList OrvelReconcilePlanDialog::SelectedDelete() const
{
    QStringList vecOut;
    if (m_pDeleteGroup->checkState() != Qt::Unchecked)
        CollectCheckedFiles(m_pDeleteGroup, &vecOut);
    return vecOut;
}

bool OrvelReconcilePlanDialog::Ask(QWidget* pParent, const OrvelReconcilePlan& plan, QStringList* pvecRevert,
                                   QStringList* pvecDelete)
{
    OrvelReconcilePlanDialog dialog(plan, pParent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *pvecRevert = dialog.SelectedRevert();
    *pvecDelete = dialog.SelectedDelete();
    return true;
}
