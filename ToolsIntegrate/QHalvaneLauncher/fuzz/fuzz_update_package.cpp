// SPDX-License-Identifier: MIT
// The update package reader over fuzzed packages: open, check the contents,
// then extract every entry into a scratch directory. Nothing may be written outside it.
#include "OrvelPackageReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace
{

QTemporaryDir* g_pScratch = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* pArgc, char*** pArgv)
{
    static QCoreApplication app(*pArgc, *pArgv);
    g_pScratch = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    const QString strRoot = g_pScratch->path();
    const QString strPackage = strRoot + QStringLiteral("/input.pkg");
    const QString strTarget = strRoot + QStringLiteral("/target");
    {
        QFile file(strPackage);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        {
            return 0;
        }
        file.write(reinterpret_cast<const char*>(pData), static_cast<qint64>(uSize));
    }
    QDir(strTarget).removeRecursively();
    QDir().mkpath(strTarget);
    OrvelPackageReader reader;
    if (reader.open(strPackage))
    {
        reader.verifyContents();
        for (int i = 0; i < reader.fileCount(); ++i)
        {
            reader.extractFile(i, strTarget);
        }
    }
    // Only the package and the target may exist in the scratch directory.
    const QStringList lstEntries =
        QDir(strRoot).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString& strEntry : lstEntries)
    {
        if (strEntry != QLatin1String("input.pkg") && strEntry != QLatin1String("target"))
        {
            std::fprintf(stderr, "written outside the target: %s\n", qPrintable(strEntry));
            std::abort();
        }
    }
    return 0;
}
