// SPDX-License-Identifier: MIT
#include "format/CorvaneManifest.h"

#include "common/CorvanePath.h"
#include "format/CorvaneEnvelope.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace NSCorvaneTrust
{

namespace
{

const char* const kManifestMagic = "corvane-manifest 1";
const char* const kLastVersionMagic = "corvane-lastver 1";

// Walks the text line by line; every line must end in "\n".
class LineCursor
{
public:
    LineCursor(const char* pText, size_t uSize) : m_pText(pText), m_uSize(uSize) {}
    bool AtEnd() const { return m_uPos >= m_uSize; }
    size_t Pos() const { return m_uPos; }
    size_t LineNumber() const { return m_uLine; }
    bool Next(std::string& strLine)
    {
        const void* pEnd = std::memchr(m_pText + m_uPos, '\n', m_uSize - m_uPos);
        if (!pEnd)
        {
            return false;
        }
        const size_t uEnd = static_cast<size_t>(static_cast<const char*>(pEnd) - m_pText);
        strLine.assign(m_pText + m_uPos, uEnd - m_uPos);
        m_uPos = uEnd + 1;
        ++m_uLine;
        return true;
    }

private:
    const char* m_pText;
    size_t m_uSize;
    size_t m_uPos = 0;
    size_t m_uLine = 0;
};

// Canonical unsigned decimal: digits only, no leading zero, within uMax.
bool ParseDecimal(const std::string& strText, uint64_t uMax, uint64_t& uOut)
{
    if (strText.empty() || strText.size() > 20 || (strText.size() > 1 && strText[0] == '0'))
    {
        return false;
    }
    uint64_t uValue = 0;
    for (char c : strText)
    {
        if (c < '0' || c > '9')
        {
            return false;
        }
        const uint64_t uDigit = static_cast<uint64_t>(c - '0');
        if (uValue > (uMax - uDigit) / 10)
        {
            return false;
        }
        uValue = uValue * 10 + uDigit;
    }
    uOut = uValue;
    return true;
}

bool IsLowerHex(const std::string& strText)
{
    return strText.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// "name value" with a single space; the value may hold further spaces.
bool SplitField(const std::string& strLine, const char* pcszName, std::string& strValue)
{
    const size_t uLen = std::strlen(pcszName);
    if (strLine.size() <= uLen + 1 || strLine.compare(0, uLen, pcszName) != 0 || strLine[uLen] != ' ')
    {
        return false;
    }
    strValue = strLine.substr(uLen + 1);
    return true;
}

bool ParseDigest(const std::string& strHex, Sha256Digest& digest)
{
    return strHex.size() == digest.size() * 2 && IsLowerHex(strHex) &&
           FromHex(strHex, digest.data(), digest.size());
}

bool IsMetaName(const std::string& strName)
{
    return strName.size() >= 2 && strName.size() <= 64 && strName[0] == '_' &&
           strName.find_first_not_of("_abcdefghijklmnopqrstuvwxyz0123456789", 1) == std::string::npos &&
           strName != kManifestName;
}

} // namespace

std::string ToHex(const uint8_t* pData, size_t uSize)
{
    static const char* const s_pcszDigits = "0123456789abcdef";
    std::string strOut(uSize * 2, '0');
    for (size_t i = 0; i < uSize; ++i)
    {
        strOut[2 * i] = s_pcszDigits[pData[i] >> 4];
        strOut[2 * i + 1] = s_pcszDigits[pData[i] & 0xf];
    }
    return strOut;
}

bool FromHex(const std::string& strHex, uint8_t* pOut, size_t uSize)
{
    if (strHex.size() != uSize * 2)
    {
        return false;
    }
    auto fnNibble = [](char c) -> int
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    for (size_t i = 0; i < uSize; ++i)
    {
        const int nHigh = fnNibble(strHex[2 * i]);
        const int nLow = fnNibble(strHex[2 * i + 1]);
        if (nHigh < 0 || nLow < 0)
        {
            return false;
        }
        pOut[i] = static_cast<uint8_t>(nHigh << 4 | nLow);
    }
    return true;
}

std::string ManifestPath(uint32_t uVersion)
{
    return NSCorvaneReader::VersionFilePath(uVersion, kManifestName);
}

std::string LastVersionSignaturePath()
{
    return NSCorvaneReader::LastVersionPath() + ".sig";
}

bool ParseSignedRecord(const void* pData, size_t uSize, SignedRecord& record, std::string& strError)
{
    record = SignedRecord();
    if (!pData || uSize == 0 || uSize > kMaxRecordSize)
    {
        strError = "empty or oversized record";
        return false;
    }
    LineCursor cursor(static_cast<const char*>(pData), uSize);
    std::string strLine;
    std::string strValue;
    auto fnFail = [&](const char* pcszWhat)
    {
        strError = std::string(pcszWhat) + " at line " + std::to_string(cursor.LineNumber());
        return false;
    };
    if (!cursor.Next(strLine))
    {
        return fnFail("no complete line");
    }
    if (strLine == kManifestMagic)
    {
        record.eKind = RecordKind::Manifest;
    }
    else if (strLine == kLastVersionMagic)
    {
        record.eKind = RecordKind::LastVersion;
    }
    else
    {
        return fnFail("unknown record type");
    }

    uint64_t uNumber = 0;
    if (!cursor.Next(strLine) || !SplitField(strLine, "version", strValue) ||
        !ParseDecimal(strValue, UINT32_MAX - 1, uNumber))
    {
        return fnFail("bad version");
    }
    record.uVersion = static_cast<uint32_t>(uNumber);
    if (!cursor.Next(strLine) || !SplitField(strLine, "signed", strValue) ||
        !ParseDecimal(strValue, INT64_MAX, uNumber))
    {
        return fnFail("bad signing time");
    }
    record.nSigned = static_cast<int64_t>(uNumber);
    if (!cursor.Next(strLine) || !SplitField(strLine, "expires", strValue) ||
        !ParseDecimal(strValue, INT64_MAX, uNumber))
    {
        return fnFail("bad expiry");
    }
    record.nExpires = static_cast<int64_t>(uNumber);

    bool bHaveLine = cursor.Next(strLine);
    while (bHaveLine && SplitField(strLine, "meta", strValue))
    {
        if (record.eKind != RecordKind::Manifest)
        {
            return fnFail("meta line outside a manifest");
        }
        const size_t uSpace = strValue.find(' ');
        ManifestMeta meta;
        meta.strName = strValue.substr(0, uSpace);
        if (uSpace == std::string::npos || !IsMetaName(meta.strName) ||
            !ParseDigest(strValue.substr(uSpace + 1), meta.digest))
        {
            return fnFail("bad meta line");
        }
        if (!record.vecMeta.empty() && !(record.vecMeta.back().strName < meta.strName))
        {
            return fnFail("meta names unsorted or repeated");
        }
        record.vecMeta.push_back(std::move(meta));
        bHaveLine = cursor.Next(strLine);
    }
    while (bHaveLine && SplitField(strLine, "file", strValue))
    {
        if (record.eKind != RecordKind::Manifest)
        {
            return fnFail("file line outside a manifest");
        }
        ManifestFile file;
        const size_t uSpace1 = strValue.find(' ');
        const size_t uSpace2 = uSpace1 == std::string::npos ? uSpace1 : strValue.find(' ', uSpace1 + 1);
        if (uSpace2 == std::string::npos || !ParseDigest(strValue.substr(0, uSpace1), file.digest) ||
            !ParseDecimal(strValue.substr(uSpace1 + 1, uSpace2 - uSpace1 - 1), UINT32_MAX, file.uSize))
        {
            return fnFail("bad file line");
        }
        file.strPath = strValue.substr(uSpace2 + 1);
        std::string strNormal;
        CorvaneUtil::ToNormalizePath(strNormal, file.strPath.c_str());
        if (!CorvaneUtil::IsSafeRelativePath(file.strPath) || strNormal != file.strPath)
        {
            return fnFail("bad file path");
        }
        if (!record.vecFiles.empty() && !(record.vecFiles.back().strPath < file.strPath))
        {
            return fnFail("file paths unsorted or repeated");
        }
        record.vecFiles.push_back(std::move(file));
        bHaveLine = cursor.Next(strLine);
    }
    if (!bHaveLine || !SplitField(strLine, "key", strValue) || !IsLowerHex(strValue) ||
        !FromHex(strValue, record.keyId.data(), record.keyId.size()))
    {
        return fnFail("bad key line");
    }
    record.uSignedLength = cursor.Pos();
    if (!cursor.Next(strLine) || !SplitField(strLine, "signature", strValue) || !IsLowerHex(strValue) ||
        !FromHex(strValue, record.signature.data(), record.signature.size()))
    {
        return fnFail("bad signature line");
    }
    if (!cursor.AtEnd())
    {
        return fnFail("text after the signature");
    }
    return true;
}

std::string FormatSignedBody(const SignedRecord& record)
{
    std::string strOut = record.eKind == RecordKind::Manifest ? kManifestMagic : kLastVersionMagic;
    strOut += "\nversion " + std::to_string(record.uVersion);
    strOut += "\nsigned " + std::to_string(record.nSigned);
    strOut += "\nexpires " + std::to_string(record.nExpires) + "\n";
    for (const ManifestMeta& meta : record.vecMeta)
    {
        strOut += "meta " + meta.strName + " " + ToHex(meta.digest.data(), meta.digest.size()) + "\n";
    }
    for (const ManifestFile& file : record.vecFiles)
    {
        strOut += "file " + ToHex(file.digest.data(), file.digest.size()) + " " + std::to_string(file.uSize) +
                  " " + file.strPath + "\n";
    }
    strOut += "key " + ToHex(record.keyId.data(), record.keyId.size()) + "\n";
    return strOut;
}

std::string FormatSignedRecord(const SignedRecord& record)
{
    return FormatSignedBody(record) + "signature " + ToHex(record.signature.data(), record.signature.size()) +
           "\n";
}

} // namespace NSCorvaneTrust
