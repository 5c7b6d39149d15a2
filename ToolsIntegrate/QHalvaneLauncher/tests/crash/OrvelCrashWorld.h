// A store of three published versions, installations in known states to start
// from, and the checks every interrupted or disturbed run must pass: the
// shared ground of the crash, soak and full-disk tests.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace OrvelTest
{
class Nginx;
}

namespace OrvelCrash
{

using Tree = QMap<QString, QByteArray>;

// One orvelsync command from one starting installation.
struct Scenario
{
    QString strName;
    QString strTemplate; // installation copied to start from
    QStringList vecCommand;
    Tree start;
    Tree target;
    quint32 uStartVersion = 0; // recorded before; 0 for none
    quint32 uTargetVersion = 0;
    int nWrites = 0; // files the command writes when it runs through
};

struct RunResult
{
    bool bKilled = false; // ended by the kill or a crash point, not by itself
    int nExitCode = -1;
    QString strOut;
    QString strErr;
    qint64 nMs = 0;
};

class World
{
public:
    // Publishes the store and prepares the installations (once per process).
    static World& Get();

    bool Ready() const { return m_bReady; }
    QString Error() const { return m_strError; }
    QString BaseUrl() const;
    OrvelTest::Nginx& Server() { return *m_pServer; }
    // The published store's directory, for another server to serve.
    QString StorePath() const { return m_dir.path() + QStringLiteral("/store"); }

    // get-latest from nothing, incremental and full from v1, repair of a
    // damaged v3, switch from v3 down to v1.
    const std::vector<Scenario>& Scenarios() const { return m_vecScenarios; }

    // The installation a run works in: app() and work() below root().
    QString RunRoot() const { return m_dir.path() + QStringLiteral("/run"); }
    QString AppDir() const { return RunRoot() + QStringLiteral("/app"); }
    QString WorkPath() const { return RunRoot() + QStringLiteral("/work"); }
    // Replaces the run installation by a copy of the template.
    bool Restore(const QString& strTemplate);

    // Runs orvelsync on the run installation against strServerUrl (empty: the
    // nginx). strCrashAt sets the crash hook; nKillAfterMs >= 0 sends SIGKILL
    // then unless it ended before.
    RunResult Run(const QStringList& vecCommand, const QString& strCrashAt = QString(), int nKillAfterMs = -1,
                  const QString& strServerUrl = QString(), const QProcessEnvironment& extraEnv = {});

    // Version and tag of the product record, and whether a task marked it as
    // in flux. Version 0 without a record.
    quint32 RecordedVersion(QString* pstrTag = nullptr, bool* pbPending = nullptr) const;

    // After a disturbed run: every file under its final name equals its start
    // or its target content, none vanished, and a record that the run changed
    // claims only a version whose files are all in place. Problems, if any.
    QStringList CheckInterrupted(const Scenario& scenario) const;
    // After a run that went through: the working path is the target byte for
    // byte, the record claims the target, no temporary file anywhere.
    QStringList CheckCompleted(const Scenario& scenario) const;

    const Tree& VersionTree(quint32 uVersion) const { return m_vecTrees.at(uVersion - 1); }
    quint32 PublishedLatest() const { return static_cast<quint32>(m_vecTrees.size()); }

private:
    World();
    bool Build();
    bool Fail(const QString& strError);
    bool MakeTemplate(const QString& strName, const QString& strFrom, const QStringList& vecCommand);

    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
    std::vector<Tree> m_vecTrees;
    std::vector<Scenario> m_vecScenarios;
    bool m_bReady = false;
    QString m_strError;
};

// Every regular file below strDir, hidden ones too, by relative path.
Tree ReadAll(const QString& strDir);
// Temporary files of atomic writes below strDir.
QStringList TempFiles(const QString& strDir);
// A positive number from the environment, else nDefault.
int EnvCount(const char* pszName, int nDefault);

} // namespace OrvelCrash
