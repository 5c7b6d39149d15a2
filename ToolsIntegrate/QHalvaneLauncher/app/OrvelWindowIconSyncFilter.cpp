#include "OrvelWindowIconSyncFilter.h"

#include "platform/OrvelDesktopIntegration.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QWidget>

OrvelWindowIconSyncFilter* OrvelWindowIconSyncFilter::Install(QApplication& app)
{
    auto* pFilter = new OrvelWindowIconSyncFilter(&app);
    app.installEventFilter(pFilter);
    for (QWidget* pWidget : QApplication::topLevelWidgets())
        Apply(pWidget);
    return pFilter;
}

void OrvelWindowIconSyncFilter::Apply(QWidget* pWidget)
{
    if (pWidget == nullptr || !pWidget->isWindow())
        return;
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull() && pWidget->windowIcon().isNull())
        pWidget->setWindowIcon(appIcon);
    // Only a window that has a native handle already; asking for one would create it.
    if (pWidget->testAttribute(Qt::WA_WState_Created) && pWidget->internalWinId() != 0)
        OrvelPlatform::ApplyNativeWindowIcons(static_cast<quintptr>(pWidget->internalWinId()));
}

bool OrvelWindowIconSyncFilter::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type())
    {
    case QEvent::Show:
    case QEvent::WindowIconChange:
    case QEvent::Polish:
    case QEvent::WinIdChange:
        if (pWatched->isWidgetType())
            Apply(static_cast<QWidget*>(pWatched));
        break;
    default:
        break;
    }
    return QObject::eventFilter(pWatched, pEvent);
}
