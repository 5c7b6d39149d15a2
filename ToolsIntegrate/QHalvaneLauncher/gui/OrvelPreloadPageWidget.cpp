#include "OrvelPreloadPageWidget.h"

#include "LauncherSettings.h"
#include "OrvelFileService.h"
#include "RuntimeConfigWriter.h"

#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <QVariant>

namespace
{

constexpr int kCardWidth = 120;
constexpr int kCardHeight = 80;
constexpr int kTodoRowHeight = 54;
const char kKeyProperty[] = "preloadKey";

} // namespace

OrvelPreloadPageWidget::OrvelPreloadPageWidget(LauncherSettings* pSettings,
                                               RuntimeConfigWriter* pConfigWriter, QWidget* pParent)
    : QWidget(pParent), m_pSettings(pSettings), m_pConfigWriter(pConfigWriter)
{
    OrvelPreload::RegisterMetaTypes();
    setObjectName(QStringLiteral("OrvelPreloadPageWidget"));
    // Plain widgets paint a style sheet's background only when asked to.
    setAttribute(Qt::WA_StyledBackground, true);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setObjectName(QStringLiteral("verticalLayout"));
    pLayout->setSpacing(10);
    pLayout->setContentsMargins(10, 10, 10, 10);
    auto* pContent = new QHBoxLayout();
    pContent->setObjectName(QStringLiteral("contentLayout"));
    pContent->setSpacing(10);
    pLayout->addLayout(pContent);

    auto* pLeft = new QWidget(this);
    pLeft->setObjectName(QStringLiteral("preloadLeftPanel"));
    pLeft->setAttribute(Qt::WA_StyledBackground, true);
    pLeft->setFixedWidth(300);
    auto* pLeftLayout = new QVBoxLayout(pLeft);
    pLeftLayout->setObjectName(QStringLiteral("preloadLeftLayout"));
    pLeftLayout->setSpacing(5);
    pLeftLayout->setContentsMargins(0, 0, 0, 0);

    auto* pHeader = new QHBoxLayout();
    pHeader->setObjectName(QStringLiteral("headerLayout"));
    pHeader->setSpacing(10);
    m_pBackButton = new QPushButton(tr("Back"), pLeft);
    m_pBackButton->setObjectName(QStringLiteral("preloadBackButton"));
    m_pBackButton->setFixedSize(88, 40);
    m_pSearchEdit = new QLineEdit(pLeft);
    m_pSearchEdit->setObjectName(QStringLiteral("preloadSearchEdit"));
    m_pSearchEdit->setMinimumHeight(40);
    m_pSearchEdit->setPlaceholderText(tr("search..."));
    pHeader->addWidget(m_pBackButton);
    pHeader->addWidget(m_pSearchEdit);
    pLeftLayout->addLayout(pHeader);

    m_pTodoCountLabel = new QLabel(pLeft);
    m_pTodoCountLabel->setObjectName(QStringLiteral("preloadTodoCountLabel"));
    pLeftLayout->addWidget(m_pTodoCountLabel);
    m_pTodoList = new QListWidget(pLeft);
    m_pTodoList->setObjectName(QStringLiteral("preloadTodoList"));
    pLeftLayout->addWidget(m_pTodoList, 1);
    m_pStartButton = new QPushButton(tr("Start Execution"), pLeft);
    m_pStartButton->setObjectName(QStringLiteral("preloadStartButton"));
    m_pStartButton->setMinimumHeight(40);
    pLeftLayout->addWidget(m_pStartButton);
    pContent->addWidget(pLeft);

    m_pCardList = new QListWidget(this);
    m_pCardList->setObjectName(QStringLiteral("preloadCardList"));
    m_pCardList->setViewMode(QListView::IconMode);
    m_pCardList->setMovement(QListView::Static);
    m_pCardList->setFlow(QListView::LeftToRight);
    m_pCardList->setWrapping(true);
    m_pCardList->setResizeMode(QListView::Adjust);
    m_pCardList->setSpacing(12);
    m_pCardList->setUniformItemSizes(true);
    m_pCardList->setSelectionMode(QAbstractItemView::SingleSelection);
    pContent->addWidget(m_pCardList, 1);

    connect(m_pBackButton, &QPushButton::clicked, this, &OrvelPreloadPageWidget::BackRequested);
    connect(m_pSearchEdit, &QLineEdit::returnPressed, this, &OrvelPreloadPageWidget::OnSearchSubmitted);
    connect(m_pCardList, &QListWidget::itemClicked, this, &OrvelPreloadPageWidget::OnCardActivated);
    connect(m_pStartButton, &QPushButton::clicked, this, &OrvelPreloadPageWidget::OnStartExecution);
    RebuildTodo();
}

OrvelPreloadPageWidget::~OrvelPreloadPageWidget() = default;

void OrvelPreloadPageWidget::Activate()
{
    if (m_bLoaded)
        return;
    if (m_pConfigWriter == nullptr || !m_pConfigWriter->WritePreloadConfig())
    {
        emit LogMessage(m_pConfigWriter != nullptr ? m_pConfigWriter->LastError() : QString());
        return;
    }
    const QString strConfig = m_pConfigWriter->PreloadConfigPath();
    if (!m_pPreloadService)
        m_pPreloadService = std::make_unique<OrvelFileService>();
    if (!m_pPreloadService->Initialize(strConfig, OrvelFileService::kLatestVersion))
    {
        emit LogMessage(
            tr("Failed to initialize preload file service: %1").arg(m_pPreloadService->LastError()));
        return;
    }
    emit LogMessage(tr("Preload file service initialized: %1").arg(strConfig));
    m_bLoaded = LoadTable();
}

bool OrvelPreloadPageWidget::LoadTable()
{
    const QString strTable = OrvelPreload::TableFileName();
    QString strText;
    QString strError;
    if (!OrvelPreload::ReadRemoteText(m_pPreloadService.get(), strTable, &strText, &strError))
    {
        emit LogMessage(tr("Failed to read %1: %2").arg(strTable, strError));
        return false;
    }
    const OrvelPreload::TableParse table = OrvelPreload::ParseTable(strText.toUtf8());
    if (!table.bOk)
    {
        emit LogMessage(table.strError);
        return false;
    }
    if (table.nRefused > 0)
        emit LogMessage(tr("Preload table: %1 item(s) with an unsafe name refused").arg(table.nRefused));
    m_vecItems = table.vecItems;
    ReloadCompleted();
    emit LogMessage(tr("Loaded %1 preload item(s)").arg(m_vecItems.size()));
    RebuildCards();
    RebuildTodo();
    return true;
}

void OrvelPreloadPageWidget::ReloadCompleted()
{
    m_setCompleted.clear();
    if (m_pSettings == nullptr)
        return;
    const QMap<QString, LauncherPreloadItem> mapCompleted = m_pSettings->completedPreloadItems();
    for (auto it = mapCompleted.constBegin(); it != mapCompleted.constEnd(); ++it)
        m_setCompleted.insert(it.key());
}

void OrvelPreloadPageWidget::RebuildCards()
{
    m_pCardList->clear();
    OrvelPreloadItemList vecPinned;
    OrvelPreloadItemList vecOpen;
    OrvelPreloadItemList vecDone;
    const QString strPinned = QString::fromUtf8(kPinnedName);
    for (const OrvelPreloadItem& item : qAsConst(m_vecItems))
    {
        if (item.name == strPinned)
            vecPinned.append(item);
        else if (m_strSearch.isEmpty() || item.name.contains(m_strSearch, Qt::CaseInsensitive))
            (m_setCompleted.contains(item.key) ? vecDone : vecOpen).append(item);
    }
    m_vecVisible = vecPinned + vecOpen + vecDone;

    for (const OrvelPreloadItem& item : qAsConst(m_vecVisible))
    {
        auto* pListItem = new QListWidgetItem(m_pCardList);
        pListItem->setSizeHint(QSize(kCardWidth, kCardHeight));
        pListItem->setData(Qt::UserRole, item.key);
        // A long name may not fit the card: the whole of it on hover.
        pListItem->setToolTip(item.name);
        auto* pCard = new QFrame();
        pCard->setObjectName(QStringLiteral("preloadCard"));
        pCard->setFrameShape(QFrame::StyledPanel);
        pCard->setFixedSize(kCardWidth, kCardHeight);
        auto* pCardLayout = new QVBoxLayout(pCard);
        pCardLayout->setContentsMargins(10, 10, 10, 10);
        pCardLayout->setSpacing(8);
        // A name without spaces may break after "_" or "-" rather than be cut.
        QString strShown = item.name;
        strShown.replace(QLatin1Char('_'), QStringLiteral("_\u200b"))
            .replace(QLatin1Char('-'), QStringLiteral("-\u200b"));
        auto* pName = new QLabel(strShown, pCard);
        pName->setObjectName(QStringLiteral("preloadCardNameLabel"));
        pName->setWordWrap(true);
        pName->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        pName->setProperty("completed", m_setCompleted.contains(item.key));
        pCardLayout->addWidget(pName);
        m_pCardList->setItemWidget(pListItem, pCard);
    }
    emit LogMessage(m_strSearch.isEmpty() ? tr("Visible preload item count: %1").arg(m_vecVisible.size())
                                          : tr("Search applied: %1 match(es)").arg(m_vecVisible.size()));
}

void OrvelPreloadPageWidget::RebuildTodo()
{
    m_pTodoList->clear();
    for (const OrvelPreloadItem& item : qAsConst(m_vecTodo))
    {
        auto* pListItem = new QListWidgetItem(m_pTodoList);
        pListItem->setSizeHint(QSize(0, kTodoRowHeight));
        pListItem->setData(Qt::UserRole, item.key);
        auto* pRow = new QFrame();
        pRow->setObjectName(QStringLiteral("preloadTodoItem"));
        auto* pRowLayout = new QHBoxLayout(pRow);
        pRowLayout->setContentsMargins(12, 8, 12, 8);
        pRowLayout->setSpacing(8);
        auto* pDelete = new QPushButton(QStringLiteral("-"), pRow);
        pDelete->setObjectName(QStringLiteral("preloadTodoDeleteButton"));
        pDelete->setProperty(kKeyProperty, item.key);
        pDelete->setEnabled(!m_bBusy);
        connect(pDelete, &QPushButton::clicked, this, &OrvelPreloadPageWidget::OnTodoDeleteRequested);
        auto* pName = new QLabel(item.name, pRow);
        pName->setObjectName(QStringLiteral("preloadTodoNameLabel"));
        pRowLayout->addWidget(pDelete);
        pRowLayout->addWidget(pName, 1);
        m_pTodoList->setItemWidget(pListItem, pRow);
    }
    m_pTodoCountLabel->setText(tr("%1 item(s)").arg(m_vecTodo.size()));
    m_pStartButton->setEnabled(!m_bBusy && !m_vecTodo.isEmpty());
}

void OrvelPreloadPageWidget::OnSearchSubmitted()
{
    m_strSearch = m_pSearchEdit->text().trimmed();
    RebuildCards();
}

void OrvelPreloadPageWidget::OnCardActivated(QListWidgetItem* item)
{
    if (item == nullptr || m_bBusy)
        return;
    const QString strKey = item->data(Qt::UserRole).toString();
    for (const OrvelPreloadItem& queued : qAsConst(m_vecTodo))
    {
        if (queued.key == strKey)
            return;
    }
    for (const OrvelPreloadItem& visible : qAsConst(m_vecVisible))
    {
        if (visible.key == strKey)
        {
            m_vecTodo.append(visible);
            emit LogMessage(tr("Preload item queued: %1").arg(visible.name));
            RebuildTodo();
            return;
        }
    }
}

void OrvelPreloadPageWidget::OnTodoDeleteRequested()
{
    if (m_bBusy || sender() == nullptr)
        return;
    const QString strKey = sender()->property(kKeyProperty).toString();
    for (int i = 0; i < m_vecTodo.size(); ++i)
    {
        if (m_vecTodo.at(i).key == strKey)
        {
            const QString strName = m_vecTodo.at(i).name;
            m_vecTodo.removeAt(i);
            emit LogMessage(tr("Preload item removed: %1").arg(strName));
            // The button that asked is inside the row about to be rebuilt.
            QMetaObject::invokeMethod(
                this, [this] { RebuildTodo(); }, Qt::QueuedConnection);
            return;
        }
    }
}

bool OrvelPreloadPageWidget::PrepareConfigPaths(QString* pstrPreload, QString* pstrProduct)
{
    if (m_pConfigWriter == nullptr)
        return false;
    const QString strWorkPath = m_pSettings != nullptr ? m_pSettings->workPath() : QString();
    if (!m_pConfigWriter->WritePreloadConfig() || !m_pConfigWriter->WriteClientProductsConfig(strWorkPath))
    {
        emit LogMessage(m_pConfigWriter->LastError());
        return false;
    }
    *pstrPreload = m_pConfigWriter->PreloadConfigPath();
    *pstrProduct = m_pConfigWriter->ClientProductsConfigPath();
    if (pstrPreload->isEmpty())
    {
        emit LogMessage(tr("Preload execution config path is empty"));
        return false;
    }
    if (pstrProduct->isEmpty())
    {
        emit LogMessage(tr("Product execution config path is empty"));
        return false;
    }
    return true;
}

void OrvelPreloadPageWidget::OnStartExecution()
{
    if (m_bBusy)
        return;
    if (m_vecTodo.isEmpty())
    {
        emit LogMessage(tr("Preload start skipped: todo list is empty"));
        return;
    }
    QString strPreload;
    QString strProduct;
    if (!PrepareConfigPaths(&strPreload, &strProduct))
        return;
    SetBusy(true);
    emit StartExecutionRequested(m_vecTodo, strPreload, strProduct);
    emit BackRequested();
}

void OrvelPreloadPageWidget::SetBusy(bool bBusy)
{
    m_bBusy = bBusy;
    m_pBackButton->setEnabled(!bBusy);
    m_pSearchEdit->setEnabled(!bBusy);
    m_pCardList->setEnabled(!bBusy);
    m_pTodoList->setEnabled(!bBusy);
    m_pStartButton->setEnabled(!bBusy && !m_vecTodo.isEmpty());
}

void OrvelPreloadPageWidget::OnExecutionFinished(bool success)
{
    SetBusy(false);
    if (success)
    {
        const QDateTime dtNow = QDateTime::currentDateTime();
        if (m_pSettings != nullptr)
        {
            for (const OrvelPreloadItem& item : qAsConst(m_vecTodo))
                m_pSettings->markPreloadCompleted(item.key, item.name, dtNow);
        }
        ReloadCompleted();
        m_vecTodo.clear();
        RebuildCards();
    }
    RebuildTodo();
}
