// SPDX-License-Identifier: MIT
// Hashed files, lists, markers and the package check, over good and damaged bytes.
#include "builder/PemCorvaneWriter.h"
#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"
#include "fs/PemStreamBufferFile.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace NSCorvane;
using namespace NSCorvaneReader;
using namespace CorvaneTest;

namespace
{

std::vector<uint8_t> Encode(const std::string& str)
{
    std::vector<uint8_t> vec;
    EXPECT_TRUE(EncodeCompressedBinary(str.data(), static_cast<uint32_t>(str.size()), vec));
    return vec;
}

TEST(HashedFile, RoundTripsAndEmptyContent)
{
    LogCapture log;
    std::vector<uint8_t> vecOut;
    for (const std::string& str : {std::string("x"), std::string(100000, 'q'), std::string("a\0b", 3)})
    {
        ASSERT_TRUE(DecodeCompressedBinary(Encode(str).data(), Encode(str).size(), vecOut));
        EXPECT_EQ(std::string(vecOut.begin(), vecOut.end()), str);
    }
    // Empty content: a 16-byte file, nDatLength 0, the empty hash.
    std::vector<uint8_t> vecEmpty = Encode("");
    ASSERT_EQ(vecEmpty.size(), 16u);
    CORVANE_HASH_HEADER header;
    std::memcpy(&header, vecEmpty.data(), sizeof(header));
    // Copies: gtest binds references, and packed fields are not aligned.
    const uint32_t nMagic = header.nMagic, nDatLength = header.nDatLength;
    const uint64_t hashContext = header.hashContext;
    EXPECT_EQ(nMagic, CORVANE_MAGIC);
    EXPECT_EQ(nDatLength, 0u);
    EXPECT_EQ(hashContext, CORVANE_EMPTY_CONTEXT_HASH);
    vecOut.assign(3, 1);
    EXPECT_TRUE(DecodeCompressedBinary(vecEmpty.data(), vecEmpty.size(), vecOut));
    EXPECT_TRUE(vecOut.empty());
    EXPECT_EQ(log.Text(), "");
}

struct Damage
{
    const char* pcszName;
    std::function<void(std::vector<uint8_t>&)> fnApply;
    const char* pcszCondition;
};

class HashedFileDamage : public ::testing::TestWithParam<Damage>
{
};

TEST_P(HashedFileDamage, IsRejectedWithItsRecord)
{
    LogCapture log;
    std::vector<uint8_t> vecFile = Encode("some list content\r\nsecond line\r\n");
    GetParam().fnApply(vecFile);
    std::vector<uint8_t> vecOut{9, 9};
    EXPECT_FALSE(DecodeCompressedBinary(vecFile.data(), vecFile.size(), vecOut));
    EXPECT_TRUE(log.Contains(std::string("condition=") + GetParam().pcszCondition)) << log.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HashedFileDamage,
    ::testing::Values(Damage{"OneByteShort", [](std::vector<uint8_t>& v) { v.pop_back(); },
                             "header.nDatLength == uSize - sizeof(CORVANE_HASH_HEADER)"},
                      Damage{"OneByteLong", [](std::vector<uint8_t>& v) { v.push_back(0); },
                             "header.nDatLength == uSize - sizeof(CORVANE_HASH_HEADER)"},
                      Damage{"WrongMagic", [](std::vector<uint8_t>& v) { v[0] ^= 1; },
                             "header.nMagic == CORVANE_MAGIC"},
                      Damage{"FlippedData", [](std::vector<uint8_t>& v) { v[20] ^= 0x10; },
                             "hashContext == header.hashContext"},
                      Damage{"ShorterThanHeader", [](std::vector<uint8_t>& v) { v.resize(15); },
                             "uSize >= sizeof(CORVANE_HASH_HEADER)"},
                      Damage{"LyingLength",
                             [](std::vector<uint8_t>& v)
                             {
                                 const uint32_t uHuge = 0xFFFFFF00u;
                                 std::memcpy(v.data() + 12, &uHuge, 4);
                             },
                             "header.nDatLength == uSize - sizeof(CORVANE_HASH_HEADER)"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return info.param.pcszName; });

TEST(TextLists, SplitAndJoin)
{
    std::vector<std::string> vecLines;
    const std::string str = "a\r\n\r\nb\rc\nd\r\ntail";
    SplitTextLines(reinterpret_cast<const uint8_t*>(str.data()), str.size(), vecLines);
    EXPECT_EQ(vecLines, (std::vector<std::string>{"a", "", "b\rc\nd"}))
        << "a fragment without CRLF is dropped";
    SplitTextLines(reinterpret_cast<const uint8_t*>("x\r"), 2, vecLines);
    EXPECT_TRUE(vecLines.empty());
    EXPECT_EQ(JoinTextLines({"b", "a", "c"}), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(JoinTextLines({}), "");
}

TEST(LastVersionMarker, ExactBytesAndAtomicReplacement)
{
    LogCapture log;
    TempDir root;
    ASSERT_TRUE(PemCorvaneWriter::WriteLastVersion(root.Path().c_str(), 7));
    ASSERT_TRUE(PemCorvaneWriter::WriteLastVersion(root.Path().c_str(), 0x01020304));
    const std::vector<unsigned char> vecBytes = ReadFileBytes(root / "idx/_lastver");
    ASSERT_EQ(vecBytes.size(), 20u);
    const uint32_t uVer = 0x01020304;
    const uint64_t uHash = CalcContextHash(&uVer, 4);
    // Magic, hash of the version, its length, the version: little-endian.
    const uint32_t uMagic = 0x6C9D, uLength = 4;
    std::vector<unsigned char> vecExpected(20);
    std::memcpy(vecExpected.data(), &uMagic, 4);
    std::memcpy(vecExpected.data() + 4, &uHash, 8);
    std::memcpy(vecExpected.data() + 12, &uLength, 4);
    std::memcpy(vecExpected.data() + 16, &uVer, 4);
    EXPECT_EQ(vecBytes, vecExpected);
    EXPECT_EQ(ListDir(root / "idx"), std::vector<std::string>{"_lastver"}) << "no temporary left behind";
    uint32_t uRead = 0;
    EXPECT_TRUE(DecodeLastVersion(vecBytes.data(), vecBytes.size(), &uRead));
    EXPECT_EQ(uRead, uVer);

    // A marker that cannot be written leaves the old one whole.
    ASSERT_TRUE(WriteFileText(root / "blocked/idx", "a file where the directory should be"));
    EXPECT_FALSE(PemCorvaneWriter::WriteLastVersion((root / "blocked").c_str(), 3));
    EXPECT_FALSE(PemCorvaneWriter::WriteLastVersion("", 3));
}

TEST(DataPackageCheck, LengthAndHashLies)
{
    LogCapture log;
    const std::string strData = "record bytes of some package";
    CORVANE_DISK_PACKAGE_HEADER header{CORVANE_MAGIC,
                                       42,
                                       1,
                                       CalcContextHash(strData.data(), static_cast<uint32_t>(strData.size())),
                                       static_cast<uint32_t>(strData.size()),
                                       sizeof(CORVANE_DISK_PACKAGE_HEADER)};
    auto Check = [](const CORVANE_DISK_PACKAGE_HEADER& h, const std::string& strBody)
    {
        std::string strFile(reinterpret_cast<const char*>(&h), sizeof(h));
        strFile += strBody;
        IFile* pif = PemStreamBufferFile::CreateCopy(strFile.data(), static_cast<uint32_t>(strFile.size()));
        const bool bOk = CheckStreamDatFile(pif);
        pif->Release();
        return bOk;
    };
    EXPECT_TRUE(Check(header, strData));
    EXPECT_FALSE(Check(header, strData + "x"));
    EXPECT_TRUE(
        log.Contains("_StreamDatFileChecker length failed. file_size=57 head_offset=28 context_len=29 "
                     "header_context_len=28 package_id=42"));
    std::string strFlipped = strData;
    strFlipped[3] ^= 1;
    EXPECT_FALSE(Check(header, strFlipped));
    EXPECT_TRUE(log.Contains("_StreamDatFileChecker hash failed. file_size=56"));
    CORVANE_DISK_PACKAGE_HEADER lying = header;
    lying.nHeadOffset = 0xFFFFFFF0u;
    EXPECT_FALSE(Check(lying, strData));
    lying = header;
    lying.nMagic = 1;
    EXPECT_FALSE(Check(lying, strData));
    EXPECT_FALSE(CheckStreamDatFile(nullptr));
}

} // namespace
