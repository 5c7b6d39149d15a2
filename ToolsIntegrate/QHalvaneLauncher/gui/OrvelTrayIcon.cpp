#include "OrvelTrayIcon.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

OrvelTrayIcon::OrvelTrayIcon(const QIcon& icon, QObject* pParent) : QObject(pParent)
{
    m_pTray = new QSystemTrayIcon(icon, this);
    // The menu has no parent widget: the tray owns it through this object.
    m_pMenu = new QMenu;
    m_pShowAction = m_pMenu->addAction(QString());
    m_pMenu->addSeparator();
    m_pQuitAction = m_pMenu->addAction(QString());
    m_pTray->setContextMenu(m_pMenu);
    connect(m_pShowAction, &QAction::triggered, this, &OrvelTrayIcon::ShowWindowRequested);
    connect(m_pQuitAction, &QAction::triggered, this, &OrvelTrayIcon::QuitRequested);
    connect(m_pTray, &QSystemTrayIcon::activated, this, &OrvelTrayIcon::OnActivated);
    Retranslate();
}

OrvelTrayIcon::~OrvelTrayIcon()
{
    // The icon goes before the menu it shows.
    delete m_pTray;
    m_pTray = nullptr;
    delete m_pMenu;
}

bool OrvelTrayIcon::IsUsable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && !m_pTray->icon().isNull();
}

void OrvelTrayIcon::Show()
{
    m_pTray->show();
}

void OrvelTrayIcon::Hide()
{
    m_pTray->hide();
}

bool OrvelTrayIcon::IsVisible() const
{
    return m_pTray->isVisible();
}

void OrvelTrayIcon::SetToolTip(const QString& strToolTip)
{
    m_bDefaultToolTip = strToolTip.isEmpty();
    m_pTray->setToolTip(m_bDefaultToolTip ? DefaultToolTip() : strToolTip);
}

QString OrvelTrayIcon::ToolTip() const
{
    return m_pTray->toolTip();
}

QString OrvelTrayIcon::DefaultToolTip()
{
    return QCoreApplication::translate("OrvelTrayIcon", "QHalvaneLauncher v1.0.0");
}

void OrvelTrayIcon::Retranslate()
{
    m_pShowAction->setText(tr("Show Main Window"));
    m_pQuitAction->setText(tr("Exit Program"));
    if (m_bDefaultToolTip)
        m_pTray->setToolTip(DefaultToolTip());
}

void OrvelTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason eReason)
{
    if (eReason == QSystemTrayIcon::DoubleClick)
        emit ShowWindowRequested();
}
