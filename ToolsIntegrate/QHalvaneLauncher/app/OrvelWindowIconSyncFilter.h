// Keeps every top-level window's icon equal to the application's: windows
// without an icon of their own get it, and the native window gets the
// executable's icons where the desktop takes them from there.
#pragma once

#include <QObject>

class QApplication;
class QWidget;

class OrvelWindowIconSyncFilter : public QObject
{
    Q_OBJECT

public:
    // Installs a filter owned by the application and applies it to every
    // existing top-level widget.
    static OrvelWindowIconSyncFilter* Install(QApplication& app);
    static void Apply(QWidget* pWidget);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    using QObject::QObject;
};
