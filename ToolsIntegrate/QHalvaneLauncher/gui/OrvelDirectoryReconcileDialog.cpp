#include "OrvelDirectoryReconcileDialog.h"

#include "OrvelCheckTree.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>

namespace
{

void CollectSelected(const QStandardItem* pItem, QStringList* pvecOut)
{
    switch (pItem->checkState())
    {
    case Qt::Checked:
        pvecOut->append(pItem->data(Qt::UserRole).toString());
        return;
    case Qt::PartiallyChecked:
        for (int i = 0; i < pItem->rowCount(); ++i)
            CollectSelected(pItem->child(i), pvecOut);
        return;
    case Qt::Unchecked:
        return;
    }
}

} // namespace

OrvelDirectoryReconcileDialog::OrvelDirectoryReconcileDialog(const QString& strWorkPath,
                                                             const QStringList& vecCandidates,
                                                             QWidget* pParent)
    : QDialog(pParent)
{
    setWindowTitle(tr("Select Directories to Reconcile"));
    resize(600, 480);

    auto* pLabel = new QLabel(tr("Select the directories to compare with the server version."), this);
    m_pModel = new QStandardItemModel(this);
    m_pView = OrvelCheckTree::MakeView(m_pModel, tr("Directory"), this);

    const QString strClean = QDir::cleanPath(strWorkPath);
    QString strRootName = QFileInfo(strClean).fileName();
    if (strRootName.isEmpty())
        strRootName = QDir::toNativeSeparators(strClean);
    QStandardItem* pRoot = OrvelCheckTree::MakeItem(strRootName, QString(), false);
    pRoot->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_pModel->appendRow(pRoot);

    const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
    for (const QString& strCandidate : vecCandidates)
    {
        if (strCandidate.isEmpty())
            continue;
        QStandardItem* pParentItem = pRoot;
        QString strPath;
        for (const QString& strPart : strCandidate.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        {
            strPath = strPath.isEmpty() ? strPart : strPath + QLatin1Char('/') + strPart;
            QStandardItem* pChild = nullptr;
            for (int i = 0; i < pParentItem->rowCount() && pChild == nullptr; ++i)
            {
                if (pParentItem->child(i)->data(Qt::UserRole).toString() == strPath)
                    pChild = pParentItem->child(i);
            }
            if (pChild == nullptr)
            {
                pChild = OrvelCheckTree::MakeItem(strPart, strPath, false);
                pChild->setIcon(folder);
                pParentItem->appendRow(pChild);
            }
            pParentItem = pChild;
        }
    }
    m_pView->expandAll();
    connect(m_pModel, &QStandardItemModel::itemChanged, this, &OrvelDirectoryReconcileDialog::OnItemChanged);

    OrvelCheckTree::LayOut(this, pLabel, m_pView, tr("Scan Selected Directories"), tr("No"));
}

void OrvelDirectoryReconcileDialog::OnItemChanged(QStandardItem* item)
{
    if (m_bPropagating || item == nullptr)
        return;
    m_bPropagating = true;
    OrvelCheckTree::Propagate(item);
    m_bPropagating = false;
}

QStringList OrvelDirectoryReconcileDialog::SelectedDirectories() const
{
    QStringList vecSelected;
    for (int i = 0; i < m_pModel->rowCount(); ++i)
        CollectSelected(m_pModel->item(i), &vecSelected);
    return vecSelected;
}

bool OrvelDirectoryReconcileDialog::Ask(QWidget* pParent, const QString& strWorkPath,
                                        const QStringList& vecCandidates, QStringList* pvecSelected)
{
    OrvelDirectoryReconcileDialog dialog(strWorkPath, vecCandidates, pParent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    *pvecSelected = dialog.SelectedDirectories();
    return true;
}
