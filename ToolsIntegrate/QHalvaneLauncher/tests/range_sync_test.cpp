// What an update costs on the wire: orvelsync against a store of twelve
// versions served by nginx. Every run must end in the exact target tree; the
// package bytes fetched stay within a twentieth over the records of the files
// written, and a full install takes a few requests per package, not one per
// file. A server without Range support is the library's test (net_range_test).
#include "OrvelTestNginx.h"
#include "OrvelTestStore.h"
#include "OrvelTestSupport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
using Tree = QMap<QString, QByteArray>;

constexpr int kVersions = 12;
constexpr int kFiles = 120;
// A record is its file's content (incompressible here) plus its header and
// the frame's own bytes.
constexpr qint64 kRecordOverhead = 256;

struct Cost
{
    qint64 nBytes = 0;
    int nRequests = 0;
    int nPackages = 0;
};

class RangeSyncTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_pDir = new QTemporaryDir;
        Tree tree;
        for (int i = 0; i < kFiles; ++i)
            tree[Path(i)] = OrvelTest::Bytes(3000 + 131 * i, 1000 + i);
        for (int v = 1; v <= kVersions; ++v)
        {
            if (v > 1)
                for (int i = 0; i < kFiles; ++i)
                    if ((i + v) % 6 == 0)
                        tree[Path(i)] = OrvelTest::Bytes(3000 + 131 * i, 1000 * v + i);
            s_vecTrees.push_back(tree);
        }
        ASSERT_TRUE(OrvelTest::PublishVersions(s_vecTrees, Store()));
    }
    static void TearDownTestSuite()
    {
        delete s_pDir;
        s_pDir = nullptr;
        s_vecTrees.clear();
    }

    static QString Path(int i)
    {
        return QStringLiteral("pack/d%1/f%2.bin").arg(i % 5).arg(i, 2, 10, QChar('0'));
    }
    static QString Store() { return s_pDir->path() + QStringLiteral("/store"); }
    static const Tree& Version(int v) { return s_vecTrees[static_cast<size_t>(v - 1)]; }

    QString AppDir() const { return m_dir.path() + QStringLiteral("/app"); }
    QString WorkPath() const { return m_dir.path() + QStringLiteral("/work"); }

    void Serve()
    {
        m_pServer = std::make_unique<OrvelTest::Nginx>(Store());
        ASSERT_TRUE(m_pServer->Running());
    }

    // Runs orvelsync with the installation's options and returns what its run
    // cost in package requests.
    Cost Run(const QStringList& vecArgs)
    {
        m_pServer->ClearLog();
        QProcess process;
        process.start(OrvelTest::BinDir() + QStringLiteral("/orvelsync"),
                      vecArgs + QStringList{QStringLiteral("--app-dir"), AppDir(),
                                            QStringLiteral("--work-path"), WorkPath(),
                                            QStringLiteral("--server"), m_pServer->BaseUrl(),
                                            QStringLiteral("--yes"), QStringLiteral("--quiet")});
        EXPECT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), 0) << vecArgs.join(' ').toStdString() << "\n"
                                         << process.readAllStandardError().toStdString();
        EXPECT_TRUE(m_pServer->Settle());
        Cost cost;
        QSet<QString> setPackages;
        static const QRegularExpression reGet(
            QStringLiteral("^GET (/dat/v\\d+/\\d+/\\d+\\.dat) \\d+ (\\d+)$"));
        for (const QString& strLine : m_pServer->AccessLog())
        {
            const QRegularExpressionMatch match = reGet.match(strLine);
            if (!match.hasMatch())
                continue;
            cost.nBytes += match.captured(2).toLongLong();
            ++cost.nRequests;
            setPackages.insert(match.captured(1));
        }
        cost.nPackages = setPackages.size();
        return cost;
    }

    // The records of the files of to that differ from from (all of to when from is empty).
    static qint64 Needed(const Tree& to, const Tree& from = Tree())
    {
        qint64 nBytes = 0;
        for (auto it = to.cbegin(); it != to.cend(); ++it)
            if (from.value(it.key()) != it.value())
                nBytes += it.value().size() + kRecordOverhead;
        return nBytes;
    }

    void ExpectCostWithin(const Cost& cost, qint64 nNeeded, const char* pcszWhat)
    {
        SCOPED_TRACE(pcszWhat);
        EXPECT_LE(cost.nBytes * 20, nNeeded * 21) << cost.nBytes << " fetched for " << nNeeded;
        EXPECT_GE(cost.nBytes, nNeeded - kRecordOverhead * (nNeeded / 3000));
    }

    static QTemporaryDir* s_pDir;
    static std::vector<Tree> s_vecTrees;
    QTemporaryDir m_dir;
    std::unique_ptr<OrvelTest::Nginx> m_pServer;
};

QTemporaryDir* RangeSyncTest::s_pDir = nullptr;
std::vector<Tree> RangeSyncTest::s_vecTrees;

TEST_F(RangeSyncTest, EveryUpdateFetchesTheRecordsItWritesAndLittleElse)
{
    Serve();
    // A first install of the latest version: its records, a few requests a package.
    const Cost full = Run({QStringLiteral("get-latest")});
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions));
    ExpectCostWithin(full, Needed(Version(kVersions)), "full install");
    // A walk of a package reads its first two records alone, then windows;
    // the walk's random start can split a package in two. The packages here
    // hold about ten records each (real ones hold hundreds).
    EXPECT_LE(full.nRequests, 6 * full.nPackages) << full.nPackages << " packages";
    EXPECT_LT(full.nRequests, kFiles * 2 / 3);

    // Down five versions and back: the files that differ, at the target.
    const Cost down = Run({QStringLiteral("switch"), QString::number(kVersions - 5)});
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions - 5));
    ExpectCostWithin(down, Needed(Version(kVersions - 5), Version(kVersions)), "switch down");
    const Cost up = Run({QStringLiteral("switch"), QString::number(kVersions)});
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions));
    ExpectCostWithin(up, Needed(Version(kVersions), Version(kVersions - 5)), "switch up");

    // Incremental updates over 2 and over 10 versions (from a switch's record).
    for (int nSpan : {2, 10})
    {
        Run({QStringLiteral("switch"), QString::number(kVersions - nSpan)});
        ASSERT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions - nSpan));
        const Cost update = Run({QStringLiteral("get-latest")});
        EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions));
        ExpectCostWithin(update, Needed(Version(kVersions), Version(kVersions - nSpan)),
                         nSpan == 2 ? "update over 2" : "update over 10");
    }

    // A repair fetches the damaged files alone; an intact tree costs nothing.
    Tree damaged;
    for (int i : {3, 31, 44})
    {
        OrvelTest::WriteFile(WorkPath() + QLatin1Char('/') + Path(i), "damaged");
        damaged[Path(i)] = Version(kVersions)[Path(i)];
    }
    const Cost repair = Run({QStringLiteral("repair")});
    EXPECT_EQ(OrvelTest::ReadTree(WorkPath()), Version(kVersions));
    ExpectCostWithin(repair, Needed(damaged), "repair");
    EXPECT_EQ(Run({QStringLiteral("repair")}).nBytes, 0);
}

} // namespace
