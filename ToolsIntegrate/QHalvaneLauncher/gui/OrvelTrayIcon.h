// The launcher's system-tray icon and its menu, apart from the window so that
// the window can be tested where no tray exists. The window asks IsUsable()
// before it hides itself: hiding without a usable tray would leave nothing to
// bring the window back with.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

class OrvelTrayIcon : public QObject
{
    Q_OBJECT

public:
    explicit OrvelTrayIcon(const QIcon& icon, QObject* pParent = nullptr);
    ~OrvelTrayIcon() override;

    // The tray exists, the system offers one and the icon is not null.
    virtual bool IsUsable() const;
    void Show();
    void Hide();
    bool IsVisible() const;

    void SetToolTip(const QString& strToolTip);
    QString ToolTip() const;
    // "QHalvaneLauncher v1.0.0", translated.
    static QString DefaultToolTip();
    void Retranslate();

    QMenu* Menu() const { return m_pMenu; }

signals:
    // Double click on the icon, or "Show Main Window".
    void ShowWindowRequested();
    // "Exit Program": leave at once, without the task question.
    void QuitRequested();

private slots:
    void OnActivated(QSystemTrayIcon::ActivationReason eReason);

private:
    QSystemTrayIcon* m_pTray = nullptr;
    QMenu* m_pMenu = nullptr;
    QAction* m_pShowAction = nullptr;
    QAction* m_pQuitAction = nullptr;
    bool m_bDefaultToolTip = true;
};
