#include "OrvelCrashWorld.h"

#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

#include <cstdio>

namespace OrvelCrash
{

namespace
{

const int kRunDeadlineMs = 120000;

bool CopyDir(const QString& strFrom, const QString& strTo)
{
    QDir(strTo).removeRecursively();
    return QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), strFrom, strTo}) == 0;
}

bool IsTempName(const QString& strName)
{
    static const QRegularExpression kPattern(QStringLiteral("^\\..+\\.[0-9]+-[0-9a-f]{8}\\.orveltmp$"));
    return kPattern.match(strName).hasMatch();
}

// Temporary names of the store cache's writes and of the settings' saves.
bool IsOtherTempName(const QString& strName)
{
    static const QRegularExpression kPattern(QStringLiteral(
        "(\\.[0-9]+\\.[0-9]+\\.[0-9]+\\.tmp$)|(\\.ini\\.[A-Za-z0-9]{6}$)|(\\.cfg\\.[A-Za-z0-9]{6}$)"));
    return kPattern.match(strName).hasMatch();
}

QString Describe(const QString& strPath, const QByteArray& data)
{
    return QStringLiteral("%1 (%2 bytes)").arg(strPath).arg(data.size());
}

// Three versions: the second and third change some files and add others;
// nothing is removed, so every version's paths are in the third.
std::vector<Tree> MakeVersions()
{
    Tree v1;
    v1[QStringLiteral("bin/tool.bin")] = OrvelTest::Bytes(2500000, 7);
    for (int i = 0; i < 20; ++i)
        v1[QStringLiteral("data/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))] =
            OrvelTest::Bytes(1000 + 2000 * i, 100 + static_cast<quint32>(i));
    v1[QStringLiteral("docs/readme.txt")] = "first release\n";
    v1[QStringLiteral(".hidden/conf.ini")] = "[a]\nb=1\n";
    v1[QStringLiteral("deep/a/b/c/leaf.txt")] = "leaf one";
    Tree v2 = v1;
    v2[QStringLiteral("bin/tool.bin")] = OrvelTest::Bytes(2600000, 8);
    for (int i = 0; i < 6; ++i)
        v2[QStringLiteral("data/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))] =
            OrvelTest::Bytes(1500 + 1000 * i, 200 + static_cast<quint32>(i));
    for (int i = 0; i < 3; ++i)
        v2[QStringLiteral("data/new2_%1.bin").arg(i)] = OrvelTest::Bytes(5000, 300 + static_cast<quint32>(i));
    Tree v3 = v2;
    for (int i = 4; i < 10; ++i)
        v3[QStringLiteral("data/f%1.bin").arg(i, 2, 10, QLatin1Char('0'))] =
            OrvelTest::Bytes(2500 + 700 * i, 400 + static_cast<quint32>(i));
    for (int i = 0; i < 2; ++i)
        v3[QStringLiteral("extra/new3_%1.bin").arg(i)] =
            OrvelTest::Bytes(7000, 500 + static_cast<quint32>(i));
    v3[QStringLiteral("docs/readme.txt")] = "third release\n";
    return {v1, v2, v3};
}

int CountDiffering(const Tree& from, const Tree& to)
{
    int nCount = 0;
    for (auto it = to.begin(); it != to.end(); ++it)
        nCount += from.value(it.key()) != it.value() || !from.contains(it.key()) ? 1 : 0;
    return nCount;
}

} // namespace

Tree ReadAll(const QString& strDir)
{
    Tree files;
    const QDir root(strDir);
    QDirIterator it(strDir, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
    {
        const QString strPath = it.next();
        files.insert(root.relativeFilePath(strPath), OrvelTest::ReadFile(strPath));
    }
    return files;
}

QStringList TempFiles(const QString& strDir)
{
    QStringList vecFound;
    QDirIterator it(strDir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
    {
        it.next();
        if (IsTempName(it.fileName()))
            vecFound << it.filePath();
    }
    return vecFound;
}

int EnvCount(const char* pszName, int nDefault)
{
    bool bOk = false;
    const int nValue = qEnvironmentVariableIntValue(pszName, &bOk);
    return bOk && nValue > 0 ? nValue : nDefault;
}

World& World::Get()
{
    static World world;
    return world;
}

World::World()
{
    // For a post-mortem of a failing run.
    if (qEnvironmentVariableIsSet("CORVANE_CRASH_KEEP"))
    {
        m_dir.setAutoRemove(false);
        std::fprintf(stderr, "scratch directory kept: %s\n", qPrintable(m_dir.path()));
    }
    m_bReady = Build();
}

bool World::Fail(const QString& strError)
{
    m_strError = strError;
    return false;
}

QString World::BaseUrl() const
{
    return m_pServer ? m_pServer->BaseUrl() : QString();
}

bool World::Restore(const QString& strTemplate)
{
    return CopyDir(m_dir.path() + QLatin1Char('/') + strTemplate, RunRoot());
}

bool World::MakeTemplate(const QString& strName, const QString& strFrom, const QStringList& vecCommand)
{
    if (!Restore(strFrom))
        return Fail(QStringLiteral("cannot copy %1").arg(strFrom));
    const RunResult result = Run(vecCommand);
    if (result.nExitCode != 0)
        return Fail(QStringLiteral("%1 for %2 failed: %3").arg(vecCommand.join(' '), strName, result.strErr));
    return CopyDir(RunRoot(), m_dir.path() + QLatin1Char('/') + strName) ||
           Fail(QStringLiteral("cannot copy %1").arg(strName));
}

bool World::Build()
{
    if (!m_dir.isValid())
        return Fail(QStringLiteral("no temporary directory"));
    m_vecTrees = MakeVersions();
    const QString strStore = m_dir.path() + QStringLiteral("/store");
    const QString strTree = m_dir.path() + QStringLiteral("/tree");
    OrvelTest::WriteTree(strTree, m_vecTrees[0]);
    if (!OrvelTest::PackVersion(strTree, strStore, 1))
        return Fail(QStringLiteral("packing version 1 failed"));
    m_pServer = std::make_unique<OrvelTest::Nginx>(strStore);
    if (!m_pServer->Running())
        return Fail(QStringLiteral("nginx did not start"));

    const QString strEmpty = m_dir.path() + QStringLiteral("/tpl_empty");
    if (!QDir().mkpath(strEmpty + QStringLiteral("/app")) ||
        !QDir().mkpath(strEmpty + QStringLiteral("/work")))
        return Fail(QStringLiteral("cannot create the empty installation"));
    const QStringList vecGetLatest{QStringLiteral("get-latest"), QStringLiteral("--yes")};
    if (!MakeTemplate(QStringLiteral("tpl_v1"), QStringLiteral("tpl_empty"), vecGetLatest))
        return false;
    for (quint32 uVersion = 2; uVersion <= 3; ++uVersion)
    {
        OrvelTest::WriteTree(strTree, m_vecTrees[uVersion - 1]);
        if (!OrvelTest::PackVersion(strTree, strStore, uVersion))
            return Fail(QStringLiteral("packing version %1 failed").arg(uVersion));
    }
    if (!MakeTemplate(QStringLiteral("tpl_v3"), QStringLiteral("tpl_v1"), vecGetLatest))
        return false;

    // A damaged v3: changed, cut short, removed, a hidden file, a deep one.
    const QString strDamaged = m_dir.path() + QStringLiteral("/tpl_v3d");
    if (!CopyDir(m_dir.path() + QStringLiteral("/tpl_v3"), strDamaged))
        return Fail(QStringLiteral("cannot copy tpl_v3"));
    Tree damaged = m_vecTrees[2];
    const QString strWork = strDamaged + QStringLiteral("/work/");
    damaged[QStringLiteral("data/f01.bin")] = "damaged";
    damaged[QStringLiteral("bin/tool.bin")].truncate(100000);
    damaged[QStringLiteral(".hidden/conf.ini")] = "[a]\nb=2\n";
    for (const QString& strPath :
         {QStringLiteral("data/f01.bin"), QStringLiteral("bin/tool.bin"), QStringLiteral(".hidden/conf.ini")})
        OrvelTest::WriteFile(strWork + strPath, damaged.value(strPath));
    for (const QString& strPath : {QStringLiteral("data/f11.bin"), QStringLiteral("deep/a/b/c/leaf.txt")})
    {
        damaged.remove(strPath);
        QFile::remove(strWork + strPath);
    }

    // A switch down removes what the lower version lacks: nothing here was
    // changed by hand.
    const Tree& switched = m_vecTrees[0];

    const QStringList vecFull{QStringLiteral("get-latest"), QStringLiteral("--full"),
                              QStringLiteral("--yes")};
    const QStringList vecRepair{QStringLiteral("repair"), QStringLiteral("--yes")};
    const QStringList vecSwitch{QStringLiteral("switch"), QStringLiteral("1"), QStringLiteral("--yes")};
    m_vecScenarios = {
        {QStringLiteral("install"), QStringLiteral("tpl_empty"), vecGetLatest, Tree(), m_vecTrees[2], 0, 3,
         0},
        {QStringLiteral("incremental"), QStringLiteral("tpl_v1"), vecGetLatest, m_vecTrees[0], m_vecTrees[2],
         1, 3, 0},
        {QStringLiteral("full"), QStringLiteral("tpl_v1"), vecFull, m_vecTrees[0], m_vecTrees[2], 1, 3, 0},
        {QStringLiteral("repair"), QStringLiteral("tpl_v3d"), vecRepair, damaged, m_vecTrees[2], 3, 3, 0},
        {QStringLiteral("switch"), QStringLiteral("tpl_v3"), vecSwitch, m_vecTrees[2], switched, 3, 1, 0},
    };
    for (Scenario& scenario : m_vecScenarios)
        scenario.nWrites = CountDiffering(scenario.start, scenario.target);
    return true;
}

RunResult World::Run(const QStringList& vecCommand, const QString& strCrashAt, int nKillAfterMs,
                     const QString& strServerUrl, const QProcessEnvironment& extraEnv)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("ORVEL_CRASH_AT"));
    if (!strCrashAt.isEmpty())
        env.insert(QStringLiteral("ORVEL_CRASH_AT"), strCrashAt);
    for (const QString& strKey : extraEnv.keys())
        env.insert(strKey, extraEnv.value(strKey));
    process.setProcessEnvironment(env);
    const QStringList vecArgs =
        QStringList{QStringLiteral("--app-dir"),   AppDir(),
                    QStringLiteral("--work-path"), WorkPath(),
                    QStringLiteral("--server"),    strServerUrl.isEmpty() ? BaseUrl() : strServerUrl} +
        vecCommand;
    RunResult result;
    QElapsedTimer timer;
    timer.start();
    process.start(OrvelTest::BinDir() + QStringLiteral("/orvelsync"), vecArgs);
    if (!process.waitForStarted())
        return result;
    bool bFinished = process.waitForFinished(nKillAfterMs >= 0 ? nKillAfterMs : kRunDeadlineMs);
    if (!bFinished)
    {
        process.kill();
        process.waitForFinished();
        result.bKilled = true;
    }
    result.nMs = timer.elapsed();
    if (!result.bKilled)
    {
        result.nExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        // The crash hook ends the process with this code.
        result.bKilled = !strCrashAt.isEmpty() && result.nExitCode == 137;
    }
    result.strOut = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.strErr = QString::fromLocal8Bit(process.readAllStandardError());
    if (nKillAfterMs < 0 && !bFinished)
        result.strErr += QStringLiteral("\n(did not finish within %1 ms)").arg(kRunDeadlineMs);
    return result;
}

quint32 World::RecordedVersion(QString* pstrTag, bool* pbPending) const
{
    const QString strPath = AppDir() + QStringLiteral("/_cache/veride.ini");
    QSettings record(strPath, QSettings::IniFormat);
    if (pstrTag != nullptr)
        *pstrTag = record.value(QStringLiteral("General/currSyncGuid")).toString().trimmed();
    if (pbPending != nullptr)
        *pbPending = record.contains(QStringLiteral("General/pendingSyncVersion"));
    return QFileInfo::exists(strPath) ? record.value(QStringLiteral("General/currSyncVersion")).toUInt() : 0;
}

QStringList World::CheckInterrupted(const Scenario& scenario) const
{
    QStringList vecProblems;
    const Tree now = ReadAll(WorkPath());
    bool bChanged = false;
    for (auto it = now.begin(); it != now.end(); ++it)
    {
        if (IsTempName(QFileInfo(it.key()).fileName()))
            continue;
        const auto start = scenario.start.find(it.key());
        if (start != scenario.start.end() && start.value() == it.value())
            continue;
        const auto target = scenario.target.find(it.key());
        if (target != scenario.target.end() && target.value() == it.value())
        {
            bChanged = true;
            continue;
        }
        vecProblems << QStringLiteral("neither old nor new: ") + Describe(it.key(), it.value());
    }
    for (auto it = scenario.start.begin(); it != scenario.start.end(); ++it)
    {
        // The removals at a task's end may go: the file is the store's, as
        // the start version published it, and the target lacks it.
        const bool bRemovable = scenario.uStartVersion != 0 && !scenario.target.contains(it.key()) &&
                                VersionTree(scenario.uStartVersion).value(it.key()) == it.value();
        if (!now.contains(it.key()) && !bRemovable)
            vecProblems << QStringLiteral("vanished: ") + it.key();
    }

    QString strTag;
    bool bPending = false;
    const quint32 uClaimed = RecordedVersion(&strTag, &bPending);
    const bool bClaim = uClaimed != 0 && !strTag.isEmpty() && !bPending;
    // The claim the run started with stands while the run changed nothing.
    if (bClaim && (bChanged || uClaimed != scenario.uStartVersion))
    {
        if (uClaimed > m_vecTrees.size())
            vecProblems << QStringLiteral("the record claims unknown version %1").arg(uClaimed);
        else
        {
            const Tree& claimed = VersionTree(uClaimed);
            for (auto it = claimed.begin(); it != claimed.end(); ++it)
                if (now.value(it.key()) != it.value() || !now.contains(it.key()))
                    vecProblems << QStringLiteral("the record claims version %1, but not in place: %2")
                                       .arg(uClaimed)
                                       .arg(it.key());
        }
    }
    return vecProblems;
}

QStringList World::CheckCompleted(const Scenario& scenario) const
{
    QStringList vecProblems;
    const Tree now = ReadAll(WorkPath());
    for (auto it = scenario.target.begin(); it != scenario.target.end(); ++it)
        if (!now.contains(it.key()))
            vecProblems << QStringLiteral("missing: ") + it.key();
        else if (now.value(it.key()) != it.value())
            vecProblems << QStringLiteral("wrong content: ") + Describe(it.key(), now.value(it.key()));
    for (auto it = now.begin(); it != now.end(); ++it)
        if (!scenario.target.contains(it.key()))
            vecProblems << QStringLiteral("not in the target: ") + it.key();
    QString strTag;
    bool bPending = false;
    const quint32 uClaimed = RecordedVersion(&strTag, &bPending);
    if (uClaimed != scenario.uTargetVersion || strTag.isEmpty() || bPending)
        vecProblems << QStringLiteral("record: version %1, tag \"%2\"%3")
                           .arg(uClaimed)
                           .arg(strTag, bPending ? QStringLiteral(", still marked in flux") : QString());
    for (const QString& strTemp : TempFiles(RunRoot()))
        vecProblems << QStringLiteral("temporary file left: ") + strTemp;
    QDirIterator it(RunRoot(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
    {
        it.next();
        if (IsOtherTempName(it.fileName()))
            vecProblems << QStringLiteral("temporary file left: ") + it.filePath();
    }
    return vecProblems;
}

} // namespace OrvelCrash
