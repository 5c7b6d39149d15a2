#include "OrvelCheckTree.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

namespace OrvelCheckTree
{

namespace
{

void SetDescendants(QStandardItem* pItem, Qt::CheckState eState)
{
    for (int i = 0; i < pItem->rowCount(); ++i)
    {
        QStandardItem* pChild = pItem->child(i);
        if (pChild->checkState() != eState)
            pChild->setCheckState(eState);
        SetDescendants(pChild, eState);
    }
}

Qt::CheckState StateFromChildren(const QStandardItem* pItem)
{
    int nChecked = 0;
    int nUnchecked = 0;
    for (int i = 0; i < pItem->rowCount(); ++i)
    {
        const Qt::CheckState eState = pItem->child(i)->checkState();
        nChecked += eState == Qt::Checked ? 1 : 0;
        nUnchecked += eState == Qt::Unchecked ? 1 : 0;
    }
    if (nChecked == pItem->rowCount())
        return Qt::Checked;
    if (nUnchecked == pItem->rowCount())
        return Qt::Unchecked;
    return Qt::PartiallyChecked;
}

} // namespace

QTreeView* MakeView(QStandardItemModel* pModel, const QString& strHeader, QWidget* pParent)
{
    pModel->setHorizontalHeaderLabels({strHeader});
    auto* pView = new QTreeView(pParent);
    pView->setModel(pModel);
    pView->setHeaderHidden(true);
    pView->setAnimated(true);
    pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pView->setSelectionMode(QAbstractItemView::NoSelection);
    pView->setAlternatingRowColors(false);
    pView->header()->setStretchLastSection(true);
    return pView;
}

void LayOut(QDialog* pDialog, QLabel* pLabel, QTreeView* pView, const QString& strYes, const QString& strNo)
{
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, pDialog);
    pButtons->button(QDialogButtonBox::Yes)->setText(strYes);
    pButtons->button(QDialogButtonBox::No)->setText(strNo);
    QObject::connect(pButtons->button(QDialogButtonBox::Yes), &QPushButton::clicked, pDialog,
                     &QDialog::accept);
    QObject::connect(pButtons->button(QDialogButtonBox::No), &QPushButton::clicked, pDialog,
                     &QDialog::reject);

    auto* pLayout = new QVBoxLayout(pDialog);
    pLayout->addWidget(pLabel);
    pLayout->addWidget(pView, 1);
    pLayout->addWidget(pButtons);
}

QStandardItem* MakeItem(const QString& strText, const QString& strPath, bool bFile)
{
    auto* pItem = new QStandardItem(strText);
    pItem->setEditable(false);
    pItem->setCheckable(true);
    pItem->setCheckState(Qt::Checked);
    pItem->setData(strPath, Qt::UserRole);
    pItem->setData(bFile, kIsFileRole);
    return pItem;
}

void Propagate(QStandardItem* pItem)
{
    // The caller blocks its own handler meanwhile: these changes signal too.
    const Qt::CheckState eState = pItem->checkState();
    if (eState != Qt::PartiallyChecked)
        SetDescendants(pItem, eState);
    for (QStandardItem* pParent = pItem->parent(); pParent != nullptr; pParent = pParent->parent())
    {
        const Qt::CheckState eParent = StateFromChildren(pParent);
        if (pParent->checkState() == eParent)
            break;
        pParent->setCheckState(eParent);
    }
}

} // namespace OrvelCheckTree
