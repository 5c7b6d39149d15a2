// The demo store's stand-in for the editor: a window that says which version
// of the tool suite the working path holds (read from "version.txt" beside it),
// so that an update, a version switch or a repair is seen at a glance.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QFile file(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("version.txt")));
    const QString strVersion = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed()
                                                              : QStringLiteral("unknown");

    QWidget window;
    window.setWindowTitle(QStringLiteral("QHalvane Editor (demo)"));
    auto* pLayout = new QVBoxLayout(&window);
    auto* pTitle = new QLabel(QStringLiteral("QHalvane Editor"), &window);
    pTitle->setStyleSheet(QStringLiteral("font-size: 22px; font-weight: bold;"));
    auto* pVersion = new QLabel(QStringLiteral("Tool suite version %1").arg(strVersion), &window);
    pVersion->setStyleSheet(QStringLiteral("font-size: 16px;"));
    auto* pWhere = new QLabel(QStringLiteral("Started in %1").arg(QDir::currentPath()), &window);
    pLayout->addWidget(pTitle);
    pLayout->addWidget(pVersion);
    pLayout->addWidget(pWhere);
    window.resize(420, 160);
    window.show();
    return app.exec();
}
