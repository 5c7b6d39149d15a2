// The update package: builder and reader round trips, every refusal of the
// reader on hand-made damaged packages, and extraction.
#include "OrvelFnv1a.h"
#include "OrvelPackageBuilder.h"
#include "OrvelPackageReader.h"
#include "OrvelTestSupport.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using OrvelTest::ReadFile;
using OrvelTest::WriteFile;

namespace
{
// Writes any package, valid or not, field by field.
struct RawEntry
{
    QByteArray path;
    qint64 nSize;
    quint64 uHash;
    qint64 nOffset;
    QByteArray sha256; // written as given, from version 2 on
};

struct RawPackage
{
    QByteArray signature = "OVPK";
    qint32 nVersion = 1;
    qint32 nContentVersion = 7;
    qint32 nCount = -1; // -1: the number of entries
    qint64 nTotalDelta = 0;
    bool bTotalZero = false;
    QVector<RawEntry> vecEntries;
    QByteArray data;
    int nCutTail = 0; // bytes dropped from the end after the total is computed

    QByteArray bytes() const
    {
        QByteArray table;
        QDataStream tableStream(&table, QIODevice::WriteOnly);
        tableStream.setByteOrder(QDataStream::LittleEndian);
        for (const RawEntry& entry : vecEntries)
        {
            tableStream << static_cast<qint16>(entry.path.size());
            tableStream.writeRawData(entry.path.constData(), entry.path.size());
            tableStream << entry.nSize << entry.uHash << entry.nOffset;
            if (nVersion >= 2)
                tableStream.writeRawData(entry.sha256.constData(), entry.sha256.size());
        }
        const qint64 nTotal = 24 + table.size() + data.size() - nCutTail;
        QByteArray out;
        QDataStream stream(&out, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream.writeRawData(signature.constData(), signature.size());
        stream << nVersion << nContentVersion << (nCount < 0 ? qint32(vecEntries.size()) : nCount)
               << (bTotalZero ? qint64(0) : nTotal + nTotalDelta);
        out += table + data;
        out.chop(nCutTail);
        return out;
    }
};

QByteArray Sha256(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256);
}

// One entry "a.txt" holding "hello", laid out correctly, as an older launcher wrote it.
RawPackage OneFile()
{
    RawPackage package;
    package.data = "hello";
    package.vecEntries.append({"a.txt", 5, OrvelFnv1a::hash("hello"), 24 + 5 + 26, QByteArray()});
    return package;
}

// The same as this launcher writes it: with the SHA-256 of the content.
RawPackage OneFileWithSha256()
{
    RawPackage package = OneFile();
    package.nVersion = 2;
    package.vecEntries[0].nOffset = 24 + 5 + 58;
    package.vecEntries[0].sha256 = Sha256("hello");
    return package;
}

class PackageTest : public ::testing::Test
{
protected:
    QString path(const QString& strName) const { return m_dir.path() + QLatin1Char('/') + strName; }
    QString target() const { return path(QStringLiteral("target")); }
    QString writeRaw(const RawPackage& package)
    {
        WriteFile(path(QStringLiteral("raw.pkg")), package.bytes());
        return path(QStringLiteral("raw.pkg"));
    }
    QTemporaryDir m_dir;
};
} // namespace

TEST(OrvelFnv1aTest, KnownValues)
{
    EXPECT_EQ(OrvelFnv1a::hash(QByteArray()), 0xcbf29ce484222325ULL);
    EXPECT_EQ(OrvelFnv1a::hash("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(OrvelFnv1a::hash("foobar"), 0x85944171f73967e8ULL);
}

TEST_F(PackageTest, RoundTripOfFilesAndMemoryEntries)
{
    QByteArray big(200000, Qt::Uninitialized); // spans several copy chunks
    for (char& c : big)
        c = static_cast<char>(QRandomGenerator::global()->generate());
    WriteFile(path(QStringLiteral("src/big.bin")), big);
    WriteFile(path(QStringLiteral("src/empty.bin")), QByteArray());

    const QString strUnicode = QStringLiteral("données/数据/ファイル.dat");
    OrvelPackageBuilder builder;
    builder.addMemoryFile("hello", QStringLiteral("a.txt"));
    builder.addFile(path(QStringLiteral("src/empty.bin")), QStringLiteral("empty.bin"));
    builder.addFile(path(QStringLiteral("src/big.bin")), QStringLiteral("lib/big.bin"));
    builder.addMemoryFile(QByteArray(), QStringLiteral("zero.txt"));
    builder.addMemoryFile("unicode", strUnicode);
    ASSERT_TRUE(builder.build(path(QStringLiteral("p.pkg")), 42)) << builder.lastError().toStdString();

    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(path(QStringLiteral("p.pkg")))) << reader.lastError().toStdString();
    EXPECT_EQ(reader.contentVersion(), 42);
    EXPECT_EQ(reader.totalSize(), QFileInfo(path(QStringLiteral("p.pkg"))).size());
    ASSERT_EQ(reader.fileCount(), 5);
    EXPECT_EQ(reader.fileInfo(4).strRelativePath, strUnicode);

    // Zero-length files share their offset with the next file.
    EXPECT_EQ(reader.formatVersion(), 2);
    EXPECT_TRUE(reader.hasContentHashes());
    const qint64 nDataStart =
        24 + (5 + 58) + (9 + 58) + (11 + 58) + (8 + 58) + (strUnicode.toUtf8().size() + 58);
    EXPECT_EQ(reader.fileInfo(0).nOffset, nDataStart);
    EXPECT_EQ(reader.fileInfo(1).nOffset, nDataStart + 5);
    EXPECT_EQ(reader.fileInfo(2).nOffset, nDataStart + 5);
    EXPECT_EQ(reader.fileInfo(1).uHash, 0xcbf29ce484222325ULL);
    EXPECT_EQ(reader.fileInfo(3).nOffset, reader.fileInfo(4).nOffset);

    const std::pair<QString, QByteArray> vecExpected[] = {{QStringLiteral("a.txt"), "hello"},
                                                          {QStringLiteral("empty.bin"), ""},
                                                          {QStringLiteral("lib/big.bin"), big},
                                                          {QStringLiteral("zero.txt"), ""},
                                                          {strUnicode, "unicode"}};
    // Files on disk and in memory alike carry the SHA-256 of what was packed.
    for (int i = 0; i < reader.fileCount(); ++i)
        EXPECT_EQ(reader.fileInfo(i).sha256, Sha256(vecExpected[i].second)) << i;
    ASSERT_TRUE(reader.verifyContents()) << reader.lastError().toStdString();
    for (int i = 0; i < reader.fileCount(); ++i)
    {
        ASSERT_TRUE(reader.extractFile(i, target())) << reader.lastError().toStdString();
        EXPECT_EQ(ReadFile(target() + QLatin1Char('/') + vecExpected[i].first), vecExpected[i].second);
    }
    EXPECT_EQ(QDir(target()).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no temporary files left";
}

TEST_F(PackageTest, BuilderRefusalsLeaveNoOutput)
{
    const QString strOut = path(QStringLiteral("out.pkg"));
    const QString strMissing = path(QStringLiteral("missing.bin"));
    struct Case
    {
        QString strRelative;
        QString strError;
    };
    const QString strLong = QString(32768, QLatin1Char('x'));
    const Case vecCases[] = {
        {QStringLiteral("../evil"), QStringLiteral("Cannot package unsafe relative path: ../evil")},
        {QStringLiteral("/abs"), QStringLiteral("Cannot package unsafe relative path: /abs")},
        {QStringLiteral("C:/win"), QStringLiteral("Cannot package unsafe relative path: C:/win")},
        {QStringLiteral("a\\b"), QStringLiteral("Cannot package unsafe relative path: a\\b")},
        {QString(), QStringLiteral("Cannot package unsafe relative path: ")},
        {strLong, QStringLiteral("Cannot package unsafe relative path: ") + strLong},
        {QStringLiteral("A.TXT"), QStringLiteral("Cannot package the same file twice: A.TXT")},
    };
    for (const Case& testCase : vecCases)
    {
        SCOPED_TRACE(testCase.strRelative.left(40).toStdString());
        OrvelPackageBuilder builder;
        builder.addMemoryFile("ok", QStringLiteral("a.txt"));
        builder.addMemoryFile("bad", testCase.strRelative);
        EXPECT_FALSE(builder.build(strOut, 1));
        EXPECT_EQ(builder.lastError(), testCase.strError);
        EXPECT_FALSE(QFileInfo::exists(strOut));
    }

    // A zero-entry package is valid to read but never built.
    OrvelPackageBuilder builder;
    EXPECT_FALSE(builder.build(strOut, 1));
    EXPECT_EQ(builder.lastError(), QStringLiteral("No files to package"));
    builder.addFile(strMissing, QStringLiteral("m.bin"));
    EXPECT_FALSE(builder.build(strOut, 1));
    EXPECT_EQ(builder.lastError(), QStringLiteral("Cannot package missing file: %1").arg(strMissing));
    EXPECT_FALSE(QFileInfo::exists(strOut));

    // The longest path the length field holds is accepted by both sides.
    QString strLongest;
    while (strLongest.size() < 32765)
        strLongest += QStringLiteral("d/");
    strLongest += QStringLiteral("f");
    ASSERT_EQ(strLongest.toUtf8().size(), 32767);
    builder.clear();
    builder.addMemoryFile("x", strLongest);
    ASSERT_TRUE(builder.build(strOut, 1)) << builder.lastError().toStdString();
    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(strOut)) << reader.lastError().toStdString();
    EXPECT_EQ(reader.fileInfo(0).strRelativePath, strLongest);
}

namespace
{
struct ReaderCase
{
    const char* pszName;
    RawPackage package;
    QString strError;
};

std::vector<ReaderCase> ReaderCases()
{
    std::vector<ReaderCase> vecCases;
    auto add = [&](const char* pszName, RawPackage package, const QString& strError) {
        vecCases.push_back({pszName, std::move(package), strError});
    };
    const QString strUnsafe = QStringLiteral("Update package file path is not a safe relative path: %1");

    RawPackage tiny;
    tiny.signature = "OVP";
    tiny.nCutTail = 20; // "OVP" and nothing else
    add("short signature", tiny, QStringLiteral("Cannot read package signature"));

    RawPackage p = OneFile();
    p.signature = "OVPX";
    add("signature", p, QStringLiteral("Invalid update package signature"));
    p = OneFile();
    p.nVersion = 3;
    add("version", p, QStringLiteral("Unsupported package version: 3"));
    p = OneFile();
    p.nVersion = 0;
    add("version zero", p, QStringLiteral("Unsupported package version: 0"));
    // A version 1 table under a version 2 header: its data is read as the SHA-256
    // and the offset no longer fits.
    p = OneFile();
    p.nVersion = 2;
    add("version 1 entries as version 2", p,
        QStringLiteral("Update package file table is truncated at: a.txt"));
    p = OneFile();
    p.nTotalDelta = 1;
    add("size one more", p, QStringLiteral("Update package size verification failed"));
    p = OneFile();
    p.nTotalDelta = -1;
    add("size one less", p, QStringLiteral("Update package size verification failed"));
    p = OneFile();
    p.bTotalZero = true;
    add("size zero", p, QStringLiteral("Update package size verification failed"));
    p = OneFile();
    p.data.clear();
    p.vecEntries[0].nSize = 0;
    p.vecEntries[0].uHash = OrvelFnv1a::kOffsetBasis;
    p.nCount = 2;
    add("count above entries", p, QStringLiteral("Update package file count mismatch: expected 2, actual 1"));
    p = OneFile();
    p.vecEntries[0].nOffset = 23;
    add("offset below header", p, QStringLiteral("Update package file offset out of range: a.txt"));
    p = OneFile();
    p.vecEntries[0].nSize = 6;
    add("data past the end", p, QStringLiteral("Update package file offset out of range: a.txt"));
    p = OneFile();
    p.vecEntries[0].nSize = -1;
    add("negative size", p, QStringLiteral("Update package file offset out of range: a.txt"));
    p = OneFile();
    p.vecEntries[0].nSize = std::numeric_limits<qint64>::max();
    add("size that overflows", p, QStringLiteral("Update package file offset out of range: a.txt"));
    p = OneFile();
    p.data = "hellohello";
    p.vecEntries[0].nOffset += 26 + 5 + 5;
    p.vecEntries.append({"b.txt", 5, OrvelFnv1a::hash("hello"), 24 + 5 + 26 + 5 + 26, QByteArray()});
    add("offsets not ordered", p, QStringLiteral("Update package file offsets are not ordered: a.txt"));
    p = OneFile();
    p.vecEntries.append({"A.txt", 0, OrvelFnv1a::kOffsetBasis, 24 + 5 + 26, QByteArray()});
    p.vecEntries[0].nOffset += 5 + 26;
    p.vecEntries[1].nOffset += 5 + 26;
    add("duplicate", p, QStringLiteral("Update package holds the same file twice: A.txt"));

    const char* vecUnsafe[] = {"../escape", "a/../../b", "/etc/passwd", "C:/x", "c:x", "a\\b",
                               "",          "a//b",      "./a",         "a/",   "..",  "a/.."};
    for (const char* pszPath : vecUnsafe)
    {
        p = OneFile();
        p.vecEntries[0].path = pszPath;
        p.vecEntries[0].nOffset += p.vecEntries[0].path.size() - 5;
        add(pszPath, p, strUnsafe.arg(QString::fromUtf8(pszPath)));
    }
    p = OneFile();
    p.vecEntries[0].path = QByteArray("a\0/b", 4);
    p.vecEntries[0].nOffset -= 1;
    add("nul", p, strUnsafe.arg(QString::fromUtf8("a\0/b", 4)));

    // Tables cut short: the total matches the shortened file, so only the table check can catch it.
    p = OneFile();
    p.data.clear();
    p.nCutTail = 26 + 5 - 3; // one byte of the path remains
    add("path cut short", p, QStringLiteral("Cannot read file path"));
    p = OneFile();
    p.data.clear();
    p.nCutTail = 4; // the offset is incomplete
    add("offset cut short", p, QStringLiteral("Update package file table is truncated at: a.txt"));
    p = OneFile();
    p.data.clear();
    p.nCutTail = 24 + 5; // only the length field remains
    add("after the length", p, QStringLiteral("Cannot read file path"));
    p = OneFileWithSha256();
    p.data.clear();
    p.nCutTail = 1; // the SHA-256 lacks its last byte
    add("sha-256 cut short", p, QStringLiteral("Update package file table is truncated at: a.txt"));
    return vecCases;
}
} // namespace

TEST_F(PackageTest, ReaderRefusesDamagedPackages)
{
    for (const ReaderCase& testCase : ReaderCases())
    {
        SCOPED_TRACE(testCase.pszName);
        OrvelPackageReader reader;
        EXPECT_FALSE(reader.open(writeRaw(testCase.package)));
        EXPECT_EQ(reader.lastError(), testCase.strError);
        EXPECT_EQ(reader.fileCount(), 0) << "a refused package is released";
        EXPECT_FALSE(reader.extractFile(0, target()));
        EXPECT_EQ(reader.lastError(), QStringLiteral("Invalid file index"));
    }
    EXPECT_FALSE(QFileInfo::exists(target()));

    OrvelPackageReader reader;
    EXPECT_FALSE(reader.open(path(QStringLiteral("absent.pkg"))));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Cannot open update package: %1").arg(path("absent.pkg")));
}

TEST_F(PackageTest, AnEmptyPackageAndAnEntryEndingExactlyAtTheEndAreAccepted)
{
    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(writeRaw(RawPackage()))) << reader.lastError().toStdString();
    EXPECT_EQ(reader.totalSize(), 24);
    EXPECT_EQ(reader.fileCount(), 0);
    ASSERT_TRUE(reader.open(writeRaw(OneFile()))) << reader.lastError().toStdString();
    EXPECT_EQ(reader.fileInfo(0).nOffset + reader.fileInfo(0).nSize, reader.totalSize());
    EXPECT_FALSE(reader.extractFile(1, target()));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Invalid file index"));
    EXPECT_FALSE(reader.extractFile(-1, target()));
}

TEST_F(PackageTest, HashMismatchLeavesTheOldFileInPlace)
{
    RawPackage package = OneFile();
    package.vecEntries[0].uHash ^= 1;
    WriteFile(target() + QStringLiteral("/a.txt"), "old content");

    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(writeRaw(package)));
    EXPECT_FALSE(reader.extractFile(0, target()));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Update package hash mismatch: a.txt"));
    EXPECT_EQ(ReadFile(target() + QStringLiteral("/a.txt")), QByteArray("old content"));
    EXPECT_EQ(QDir(target()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});
}

TEST_F(PackageTest, AnEditWithItsFnvRewrittenIsCaughtByTheSha256)
{
    // One byte of the content changed and its FNV-1a recomputed: only the
    // SHA-256 the launcher took from the store still tells.
    RawPackage package = OneFileWithSha256();
    package.data = "jello";
    package.vecEntries[0].uHash = OrvelFnv1a::hash("jello");
    WriteFile(target() + QStringLiteral("/a.txt"), "old content");

    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(writeRaw(package))) << reader.lastError().toStdString();
    EXPECT_FALSE(reader.verifyContents());
    EXPECT_EQ(reader.lastError(), QStringLiteral("Update package content does not match its SHA-256: a.txt"));
    // Extraction checks it as well, for a package that changed after the check.
    EXPECT_FALSE(reader.extractFile(0, target()));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Update package content does not match its SHA-256: a.txt"));
    EXPECT_EQ(ReadFile(target() + QStringLiteral("/a.txt")), QByteArray("old content"));
    EXPECT_EQ(QDir(target()).entryList(QDir::Files | QDir::Hidden), QStringList{"a.txt"});

    // A bad FNV alone is still caught, before anything is written.
    package = OneFileWithSha256();
    package.vecEntries[0].uHash ^= 1;
    ASSERT_TRUE(reader.open(writeRaw(package))) << reader.lastError().toStdString();
    EXPECT_FALSE(reader.verifyContents());
    EXPECT_EQ(reader.lastError(), QStringLiteral("Update package hash mismatch: a.txt"));

    // The intact package passes both checks.
    ASSERT_TRUE(reader.open(writeRaw(OneFileWithSha256()))) << reader.lastError().toStdString();
    EXPECT_TRUE(reader.verifyContents()) << reader.lastError().toStdString();
    ASSERT_TRUE(reader.extractFile(0, target())) << reader.lastError().toStdString();
    EXPECT_EQ(ReadFile(target() + QStringLiteral("/a.txt")), QByteArray("hello"));
}

TEST_F(PackageTest, APackageFromAnOlderLauncherIsReadWithoutSha256)
{
    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(writeRaw(OneFile()))) << reader.lastError().toStdString();
    EXPECT_EQ(reader.formatVersion(), 1);
    EXPECT_FALSE(reader.hasContentHashes());
    EXPECT_TRUE(reader.fileInfo(0).sha256.isEmpty());
    EXPECT_TRUE(reader.verifyContents()) << reader.lastError().toStdString();
    ASSERT_TRUE(reader.extractFile(0, target())) << reader.lastError().toStdString();
    EXPECT_EQ(ReadFile(target() + QStringLiteral("/a.txt")), QByteArray("hello"));
    reader.close();
    EXPECT_FALSE(reader.verifyContents());
    EXPECT_EQ(reader.lastError(), QStringLiteral("Update package is not open"));
}

TEST_F(PackageTest, ExtractionFailuresNameTheirCause)
{
    OrvelPackageBuilder builder;
    builder.addMemoryFile("x", QStringLiteral("sub/file.txt"));
    builder.addMemoryFile("y", QStringLiteral("dir"));
    ASSERT_TRUE(builder.build(path(QStringLiteral("p.pkg")), 1));
    OrvelPackageReader reader;
    ASSERT_TRUE(reader.open(path(QStringLiteral("p.pkg"))));

    // A regular file where the directory should be: root is not stopped by permissions.
    WriteFile(target() + QStringLiteral("/sub"), "a file");
    EXPECT_FALSE(reader.extractFile(0, target()));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Cannot create directory: %1/sub").arg(target()));

    ASSERT_TRUE(QDir().mkpath(target() + QStringLiteral("/dir/inside")));
    EXPECT_FALSE(reader.extractFile(1, target()));
    EXPECT_EQ(reader.lastError(), QStringLiteral("Failed to write target file: %1/dir").arg(target()));
    EXPECT_TRUE(QFileInfo(target() + QStringLiteral("/dir/inside")).isDir());
    EXPECT_EQ(QDir(target()).entryList(QDir::Files | QDir::Hidden), QStringList{"sub"});
}
