// SPDX-License-Identifier: MIT
// A large file decoded as it is read, so that it never sits in memory whole:
// its record stays where it is (a package in the cache, or a range fetched to
// a file beside it) and is decoded piece by piece into the caller's buffer.
//
// A record held in memory is checked before its file is returned; here the
// frame header and sizes are checked at once, and the content hash, the
// frame's checksum and any added check when the last byte is decoded: the
// Read that would complete the file returns -1 instead when one fails. A
// caller that keeps what it read only once it has read it whole (the atomic
// writes of the launcher and the tools) therefore never keeps a bad file.
//
// GetBuffer is always null; Seek goes back to the start or stays where it is.
// One thread at a time, as every IFile.
#pragma once

#include <Corvane/CorvaneStream.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace NSCorvane
{

// Something more to check of a streamed file's content (a signed store's digest).
class IRecordStreamCheck
{
public:
    virtual ~IRecordStreamCheck() = default;
    virtual void Feed(const void* pData, size_t uSize) = 0;
    // After the last byte: true when the content is what was expected.
    virtual bool Passed() = 0;
};

class PemRecordStreamFile final : public IFile
{
public:
    // Decoded files at least this large are streamed (a test may lower it).
    static constexpr uint32_t kDefaultThreshold = 16u << 20;

    // The file of the envelope of uEncodeSize bytes at uOffset of pifSource
    // (taken: released with this file, or on failure), decoding to
    // uDecodeSize bytes whose content hash is uContextHash. Null, with the
    // failed check reported, when the envelope's header or frame header does
    // not agree with the sizes.
    static PemRecordStreamFile* Open(IFile* pifSource, uint32_t uOffset, uint32_t uEncodeSize,
                                     uint32_t uDecodeSize, uint64_t uContextHash);

    // Adds a check run over the content as it is decoded (before the first Read).
    void AddCheck(std::unique_ptr<IRecordStreamCheck> pCheck);

    int32_t Read(void* pBuffer, uint32_t uSize) override;
    int32_t Write(const void* pBuffer, uint32_t uSize) override;
    const void* GetBuffer() override { return nullptr; }
    int32_t Seek(int32_t nOffset, int32_t nOrigin) override;
    int32_t Tell() override { return static_cast<int32_t>(m_uDecoded); }
    uint32_t Size() override { return m_uDecodeSize; }
    int32_t Reserved0() override { return 0; }
    int32_t Reserved1() override { return 0; }
    int32_t Reserved2() override { return 0; }
    int32_t Reserved3() override { return 0; }
    int32_t Reserved4() override { return 0; }
    void Close() override;
    void Release() override;

private:
    struct Decoder;

    PemRecordStreamFile(IFile* pifSource, uint32_t uOffset, uint32_t uEncodeSize, uint32_t uDecodeSize,
                        uint64_t uContextHash);
    ~PemRecordStreamFile() override;
    // Back to the first byte of the content; false when the source cannot.
    bool Restart();
    // Reads more of the record into the input buffer; false at a read error.
    bool FillInput();
    // The checks after the last byte: the frame ended with the record, its
    // checksum held, and the content is the one expected.
    bool FinishChecks();
    int32_t Failed(const char* pcszWhat);

    IFile* m_pifSource;
    const uint32_t m_uOffset;
    const uint32_t m_uEncodeSize;
    const uint32_t m_uDecodeSize;
    const uint64_t m_uContextHash;
    std::unique_ptr<Decoder> m_pDecoder;
    std::vector<std::unique_ptr<IRecordStreamCheck>> m_vecCheck;
    std::vector<uint8_t> m_vecInput;
    size_t m_uInputPos = 0;
    size_t m_uInputEnd = 0;
    uint64_t m_uConsumed = 0; // envelope bytes read from the source
    uint32_t m_uDecoded = 0;
    bool m_bFailed = false;
};

} // namespace NSCorvane
