// SPDX-License-Identifier: MIT
// Writes the seed packages of fuzz_update_package:
//   orvel_fuzz_seeds <corpus-dir>
#include "OrvelPackageBuilder.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: orvel_fuzz_seeds <corpus-dir>\n");
        return 2;
    }
    const QString strOut = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(strOut);
    int nWritten = 0;
    for (int nCase = 0; nCase < 2; ++nCase)
    {
        OrvelPackageBuilder builder;
        builder.addMemoryFile(QByteArray(300, 'l'), QStringLiteral("QHalvaneLauncher"));
        builder.addMemoryFile(QByteArray(), QStringLiteral("empty.txt"));
        if (nCase == 1)
        {
            builder.addMemoryFile(QByteArray(5000, 'p'), QStringLiteral("plugins/platforms/libq.so"));
        }
        if (builder.build(strOut + QStringLiteral("/seed_%1.pkg").arg(nCase), 7))
        {
            ++nWritten;
        }
        else
        {
            std::fprintf(stderr, "%s\n", qPrintable(builder.lastError()));
        }
    }
    return nWritten == 2 ? 0 : 1;
}
