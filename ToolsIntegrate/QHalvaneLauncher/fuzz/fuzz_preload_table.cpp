// SPDX-License-Identifier: MIT
// The preload table and list readers over fuzzed server texts: whatever
// arrives, every item has a non-blank name and a list file name that stays
// inside the store, and every list path is a safe relative path.
#include "OrvelPreloadItem.h"
#include "OrvelStorePath.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* pArgc, char*** pArgv)
{
    static QCoreApplication app(*pArgc, *pArgv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize)
{
    const QByteArray data(reinterpret_cast<const char*>(pData), static_cast<int>(uSize));
    const OrvelPreload::TableParse table = OrvelPreload::ParseTable(data);
    if (table.bOk == !table.strError.isEmpty())
        std::abort();
    for (const OrvelPreloadItem& item : table.vecItems)
    {
        const QString strList = OrvelPreload::ListFileName(item.name);
        if (item.name.trimmed().isEmpty() || item.name != item.name.trimmed() || strList.isEmpty() ||
            !OrvelStorePath::IsSafeRelative(strList, nullptr) ||
            item.key != OrvelPreloadItem::MakeKey(item.name, item.size))
            std::abort();
    }
    const OrvelPreload::ListParse list = OrvelPreload::ParseList(QString::fromUtf8(data));
    for (const QString& strPath : list.vecPaths)
    {
        if (strPath.isEmpty() || strPath != strPath.trimmed() ||
            !OrvelStorePath::IsSafeRelative(strPath, nullptr))
            std::abort();
    }
    return 0;
}
