// The preload page: the preload store's items as cards, a to-do list the user
// fills by clicking cards, and the start of a preload run. The page only
// reads the preload store (its own file service, opened on first activation)
// and asks the controller to run (StartExecutionRequested); the main window
// calls OnExecutionFinished when the controller reports PreloadFinished.
// Every message goes out through LogMessage. Main thread only.
#pragma once

#include "OrvelPreloadItem.h"

#include <QSet>
#include <QWidget>

#include <memory>

class LauncherSettings;
class OrvelFileService;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class RuntimeConfigWriter;

class OrvelPreloadPageWidget : public QWidget
{
    Q_OBJECT

public:
    static constexpr const char* kPinnedName = "核心必备";

    // pSettings (completed items, working path) and pConfigWriter (the
    // runtime configurations) are not owned and must outlive the page.
    OrvelPreloadPageWidget(LauncherSettings* pSettings, RuntimeConfigWriter* pConfigWriter,
                           QWidget* pParent = nullptr);
    ~OrvelPreloadPageWidget() override;

    // First use: opens the preload store and loads its table; later calls do
    // nothing once the table has loaded.
    void Activate();
    // The controller's PreloadFinished.
    void OnExecutionFinished(bool success);

    bool IsLoaded() const { return m_bLoaded; }
    bool IsBusy() const { return m_bBusy; }
    const OrvelPreloadItemList& Items() const { return m_vecItems; }
    const OrvelPreloadItemList& VisibleItems() const { return m_vecVisible; }
    const OrvelPreloadItemList& TodoItems() const { return m_vecTodo; }

signals:
    void BackRequested();
    void LogMessage(QString message);
    void StartExecutionRequested(OrvelPreloadItemList tasks, QString preloadConfigPath,
                                 QString productConfigPath);

public slots:
    void OnSearchSubmitted();
    void OnCardActivated(QListWidgetItem* item);
    void OnTodoDeleteRequested();
    void OnStartExecution();

private:
    bool LoadTable();
    void ReloadCompleted();
    void RebuildCards();
    void RebuildTodo();
    void SetBusy(bool bBusy);
    // The two runtime configurations a run needs; false (logged) when either is missing.
    bool PrepareConfigPaths(QString* pstrPreload, QString* pstrProduct);

    LauncherSettings* m_pSettings;
    RuntimeConfigWriter* m_pConfigWriter;
    std::unique_ptr<OrvelFileService> m_pPreloadService;
    bool m_bLoaded = false;
    bool m_bBusy = false;
    OrvelPreloadItemList m_vecItems;
    OrvelPreloadItemList m_vecVisible;
    OrvelPreloadItemList m_vecTodo;
    QSet<QString> m_setCompleted;
    QString m_strSearch;

    QPushButton* m_pBackButton = nullptr;
    QLineEdit* m_pSearchEdit = nullptr;
    QLabel* m_pTodoCountLabel = nullptr;
    QListWidget* m_pTodoList = nullptr;
    QPushButton* m_pStartButton = nullptr;
    QListWidget* m_pCardList = nullptr;
};
