// SPDX-License-Identifier: MIT
// A large file decoded as it is read: the same content as a record decoded in
// memory, and every damage a record can carry caught before its last byte is
// given.
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"
#include "fs/PemStreamBufferFile.h"
#include "reader/PemRecordStreamFile.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <zstd.h>

#include <memory>
#include <random>
#include <string>

using namespace NSCorvane;
using CorvaneTest::LogCapture;

namespace
{

// Half random, half text: blocks of both kinds in one frame.
std::string Content(size_t uSize)
{
    std::mt19937 rng(7);
    std::string str;
    str.reserve(uSize);
    while (str.size() < uSize)
    {
        if ((str.size() / 40000) % 2)
        {
            str += "line " + std::to_string(str.size()) + " of a text part\n";
        }
        else
        {
            str += static_cast<char>(rng());
        }
    }
    str.resize(uSize);
    return str;
}

std::string Envelope(const std::string& strContent, int nLevel = 3)
{
    uint8_t* pOut = nullptr;
    uint32_t uOut = 0;
    EXPECT_TRUE(CorvaneCompress::CompressContent(reinterpret_cast<const uint8_t*>(strContent.data()),
                                                 static_cast<uint32_t>(strContent.size()), &pOut, &uOut,
                                                 STCT_ZSTD, nLevel));
    std::string str(reinterpret_cast<const char*>(pOut), uOut);
    CorvaneUtil::MemoryFree(pOut);
    return str;
}

constexpr uint32_t kLead = 7; // bytes before the envelope, as a record header would be

struct FileRelease
{
    void operator()(IFile* p) const { p->Release(); }
};
using StreamPtr = std::unique_ptr<PemRecordStreamFile, FileRelease>;

StreamPtr OpenStream(const std::string& strEnvelope, uint32_t uDecodeSize, uint64_t uHash)
{
    const std::string strSource = std::string(kLead, 'h') + strEnvelope;
    IFile* pSource =
        PemStreamBufferFile::CreateCopy(strSource.data(), static_cast<uint32_t>(strSource.size()));
    return StreamPtr(PemRecordStreamFile::Open(pSource, kLead, static_cast<uint32_t>(strEnvelope.size()),
                                               uDecodeSize, uHash));
}

// Reads in odd pieces; what was read, and whether the file ended in -1.
std::string ReadAll(IFile& file, bool* pbFailed)
{
    std::string str;
    char aby[40961];
    *pbFailed = false;
    for (;;)
    {
        const int32_t nRead = file.Read(aby, sizeof(aby));
        if (nRead < 0)
        {
            *pbFailed = true;
            return str;
        }
        if (nRead == 0)
        {
            return str;
        }
        str.append(aby, static_cast<size_t>(nRead));
    }
}

class CountingCheck final : public IRecordStreamCheck
{
public:
    CountingCheck(bool bPass, uint64_t* puFed) : m_bPass(bPass), m_puFed(puFed) {}
    void Feed(const void*, size_t uSize) override { *m_puFed += uSize; }
    bool Passed() override { return m_bPass; }

private:
    bool m_bPass;
    uint64_t* m_puFed;
};

class RecordStreamFileTest : public ::testing::Test
{
protected:
    const std::string m_strContent = Content(1500000);
    const std::string m_strEnvelope = Envelope(m_strContent);
    const uint32_t m_uSize = static_cast<uint32_t>(m_strContent.size());
    const uint64_t m_uHash = NSCorvaneReader::CalcContextHash(m_strContent.data(), m_uSize);
    LogCapture m_log;
};

} // namespace

TEST_F(RecordStreamFileTest, DecodesInPiecesWithoutABufferAndStartsAgainFromZero)
{
    StreamPtr pFile = OpenStream(m_strEnvelope, m_uSize, m_uHash);
    ASSERT_TRUE(pFile);
    EXPECT_EQ(pFile->GetBuffer(), nullptr);
    EXPECT_EQ(pFile->Size(), m_uSize);
    bool bFailed = false;
    EXPECT_TRUE(ReadAll(*pFile, &bFailed) == m_strContent);
    EXPECT_FALSE(bFailed);
    EXPECT_EQ(pFile->Tell(), static_cast<int32_t>(m_uSize));
    // Only the start can be sought; then it reads the same again.
    EXPECT_EQ(pFile->Seek(100, SEEK_SET), -1);
    EXPECT_EQ(pFile->Seek(0, SEEK_SET), 0);
    EXPECT_TRUE(ReadAll(*pFile, &bFailed) == m_strContent);
    EXPECT_FALSE(bFailed);
    EXPECT_TRUE(m_log.ProblemText().empty()) << m_log.ProblemText();
}

TEST_F(RecordStreamFileTest, DamageFailsTheReadThatWouldCompleteTheFile)
{
    struct Case
    {
        const char* pcszName;
        std::string strEnvelope;
        uint64_t uHash;
    };
    std::string strFlipped = m_strEnvelope;
    strFlipped[strFlipped.size() / 2] ^= 0x20;
    std::string strBadChecksum = m_strEnvelope;
    strBadChecksum.back() ^= 0x01;
    const Case aCase[] = {
        {"another content hash", m_strEnvelope, m_uHash ^ 1},
        {"a byte after the frame", m_strEnvelope + "x", m_uHash},
        {"a byte changed inside the frame", strFlipped, m_uHash},
        {"a wrong frame checksum", strBadChecksum, m_uHash},
        {"the record cut short", m_strEnvelope.substr(0, m_strEnvelope.size() - 10), m_uHash},
    };
    for (const Case& c : aCase)
    {
        SCOPED_TRACE(c.pcszName);
        StreamPtr pFile = OpenStream(c.strEnvelope, m_uSize, c.uHash);
        ASSERT_TRUE(pFile);
        bool bFailed = false;
        const std::string strRead = ReadAll(*pFile, &bFailed);
        EXPECT_TRUE(bFailed);
        EXPECT_LT(strRead.size(), m_strContent.size()); // the last piece never comes
        EXPECT_EQ(pFile->Read(&bFailed, 1), -1);        // and it stays failed
        EXPECT_NE(m_log.ProblemText().find("Streamed record"), std::string::npos);
        m_log.Clear();
    }
}

TEST_F(RecordStreamFileTest, HeadersThatDisagreeAreRefusedAtOpen)
{
    // The size prefix, the frame's content size, and a frame without a checksum.
    EXPECT_FALSE(OpenStream(m_strEnvelope, m_uSize + 1, m_uHash));
    std::string strPrefix = m_strEnvelope;
    strPrefix[0] ^= 1;
    EXPECT_FALSE(OpenStream(strPrefix, m_uSize, m_uHash));
    std::string strNoChecksum(ZSTD_compressBound(m_uSize) + 4, '\0');
    ZSTD_CCtx* pCtx = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(pCtx, ZSTD_c_checksumFlag, 0);
    const size_t uFrame =
        ZSTD_compress2(pCtx, &strNoChecksum[4], strNoChecksum.size() - 4, m_strContent.data(), m_uSize);
    ZSTD_freeCCtx(pCtx);
    ASSERT_FALSE(ZSTD_isError(uFrame));
    strNoChecksum.resize(uFrame + 4);
    strNoChecksum.replace(0, 4, m_strEnvelope.substr(0, 4));
    EXPECT_FALSE(OpenStream(strNoChecksum, m_uSize, m_uHash));
    EXPECT_FALSE(OpenStream(m_strEnvelope.substr(0, 4), m_uSize, m_uHash));
}

TEST_F(RecordStreamFileTest, AnAddedCheckSeesEveryByteAndDecidesTheEnd)
{
    for (const bool bPass : {true, false})
    {
        SCOPED_TRACE(bPass ? "passing check" : "failing check");
        StreamPtr pFile = OpenStream(m_strEnvelope, m_uSize, m_uHash);
        ASSERT_TRUE(pFile);
        uint64_t uFed = 0;
        pFile->AddCheck(std::make_unique<CountingCheck>(bPass, &uFed));
        bool bFailed = false;
        const std::string strRead = ReadAll(*pFile, &bFailed);
        EXPECT_EQ(uFed, m_strContent.size());
        EXPECT_EQ(bFailed, !bPass);
        EXPECT_EQ(strRead.size() == m_strContent.size(), bPass);
        // A check cannot be fed twice: no going back once it has seen bytes.
        EXPECT_EQ(pFile->Seek(0, SEEK_SET), -1);
        m_log.Clear();
    }
}
