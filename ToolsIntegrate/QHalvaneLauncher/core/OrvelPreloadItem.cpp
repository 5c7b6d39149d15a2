#include "OrvelPreloadItem.h"

#include "OrvelFileService.h"
#include "OrvelStorePath.h"

#include <Corvane/CorvaneStream.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QVariant>

namespace
{

// The texts of this file, in the OrvelPreload translation context.
struct Text
{
    Q_DECLARE_TR_FUNCTIONS(OrvelPreload)
};

bool HasControlCharacter(const QString& strText)
{
    for (const QChar ch : strText)
    {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
            return true;
    }
    return false;
}

bool IsSafePath(const QString& strPath)
{
    return !HasControlCharacter(strPath) && OrvelStorePath::IsSafeRelative(strPath, nullptr);
}

quint64 SizeOf(const QJsonValue& value)
{
    // Through a variant, so "1234" counts like 1234; anything else is 0.
    if (value.isDouble())
    {
        const double dValue = value.toDouble();
        return dValue >= 0.0 && dValue < 18446744073709551616.0 ? static_cast<quint64>(dValue) : 0;
    }
    bool bOk = false;
    const quint64 uValue = value.toVariant().toULongLong(&bOk);
    return bOk ? uValue : 0;
}

} // namespace

QString OrvelPreloadItem::MakeKey(const QString& strName, quint64 uSize)
{
    return QStringLiteral("%1|%2").arg(strName).arg(uSize);
}

namespace OrvelPreload
{

QString TableFileName()
{
    return QStringLiteral("_preloadtable.json");
}

QString ListFileName(const QString& strName)
{
    const QString strList = QStringLiteral("%1.list").arg(strName);
    return IsSafePath(strList) ? strList : QString();
}

TableParse ParseTable(const QByteArray& data)
{
    TableParse result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError)
    {
        result.strError = Text::tr("Failed to parse preload table JSON: %1").arg(parseError.errorString());
        return result;
    }
    if (!document.isArray())
    {
        result.strError = Text::tr("Preload table JSON root must be an array");
        return result;
    }
    const QJsonArray entries = document.array();
    for (const QJsonValue& entry : entries)
    {
        if (!entry.isObject())
            continue;
        const QJsonObject object = entry.toObject();
        const QJsonValue nameValue = object.value(QStringLiteral("Name"));
        if (!nameValue.isString())
            continue;
        const QString strName = nameValue.toString().trimmed();
        if (strName.isEmpty())
            continue;
        if (ListFileName(strName).isEmpty())
        {
            ++result.nRefused;
            continue;
        }
        OrvelPreloadItem item;
        item.name = strName;
        item.size = SizeOf(object.value(QStringLiteral("PakSize")));
        item.key = OrvelPreloadItem::MakeKey(item.name, item.size);
        result.vecItems.append(item);
    }
    result.bOk = true;
    return result;
}

ListParse ParseList(const QString& strText)
{
    ListParse result;
    QString strLines = strText;
    strLines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList vecLines = strLines.split(QLatin1Char('\n'));
    for (const QString& strLine : vecLines)
    {
        const QString strPath = strLine.trimmed();
        if (strPath.isEmpty())
            continue;
        if (!IsSafePath(strPath))
        {
            ++result.nRefused;
            continue;
        }
        result.vecPaths.append(strPath);
    }
    return result;
}

bool ReadRemoteText(OrvelFileService* pService, const QString& strStorePath, QString* pstrText,
                    QString* pstrError)
{
    if (pService == nullptr || !pService->IsReady())
    {
        *pstrError = pService != nullptr ? pService->LastError() : Text::tr("File service unavailable");
        return false;
    }
    const std::shared_ptr<NSCorvane::IFile> pFile = pService->OpenRemoteFile(strStorePath);
    if (!pFile)
    {
        *pstrError =
            QCoreApplication::translate("OrvelFileService", "Cannot open remote file: %1").arg(strStorePath);
        return false;
    }
    // Refused before a byte is read or a buffer allocated.
    const quint32 uSize = pFile->Size();
    if (qint64(uSize) > kMaxTextBytes)
    {
        *pstrError = Text::tr("File too large: %1 (%2 bytes, at most %3)")
                         .arg(strStorePath)
                         .arg(uSize)
                         .arg(kMaxTextBytes);
        return false;
    }
    QByteArray data(static_cast<int>(uSize), Qt::Uninitialized);
    quint32 uDone = 0;
    while (uDone < uSize)
    {
        const int32_t nRead = pFile->Read(data.data() + uDone, uSize - uDone);
        if (nRead <= 0)
        {
            *pstrError = QCoreApplication::translate("OrvelFileService", "Failed to read remote file: %1")
                             .arg(strStorePath);
            return false;
        }
        uDone += static_cast<quint32>(nRead);
    }
    *pstrText = QString::fromUtf8(data);
    return true;
}

void RegisterMetaTypes()
{
    qRegisterMetaType<OrvelPreloadItem>("OrvelPreloadItem");
    qRegisterMetaType<OrvelPreloadItemList>("OrvelPreloadItemList");
}

} // namespace OrvelPreload
