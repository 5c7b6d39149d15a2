// SPDX-License-Identifier: MIT
// Writes the seed corpus of every fuzz target from the sample store:
//   corvane_fuzz_seeds <corpus-dir>
#include "FuzzSupport.h"

#include "format/CorvaneEnvelope.h"
#include "format/CorvaneHash.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace
{

void WriteSeed(const fs::path& dir, const std::string& strName, const std::string& strBytes)
{
    fs::create_directories(dir);
    std::ofstream(dir / strName, std::ios::binary) << strBytes;
}

std::string Unwrap(const std::string& strFile)
{
    std::vector<uint8_t> vec;
    NSCorvaneReader::DecodeCompressedBinary(strFile.data(), strFile.size(), vec);
    return std::string(vec.begin(), vec.end());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: corvane_fuzz_seeds <corpus-dir>\n");
        return 2;
    }
    const fs::path root(argv[1]);
    CorvaneFuzz::MemoryFileSys files;
    CorvaneFuzz::AddSampleStore(files);

    const char* const kFiles[] = {"dat/v1/_index",      "dat/v1/_dirtree", "dat/v1/_fileinf",
                                  "dat/v1/_fileinfstr", "dat/v1/_pkginf",  "dat/v1/_pkglst",
                                  "dat/v1/_diffile",    "idx/_lastver"};
    for (size_t i = 0; i < sizeof(kFiles) / sizeof(kFiles[0]); ++i)
    {
        auto it = files.m_mapFiles.find(kFiles[i]);
        const std::string strRaw = it == files.m_mapFiles.end() ? std::string() : it->second;
        const std::string strPrefixRaw{static_cast<char>(i), 0};
        const std::string strPrefixWrap{static_cast<char>(i), 1};
        WriteSeed(root / "fuzz_store_files", "raw_" + std::to_string(i), strPrefixRaw + strRaw);
        if (i != 7)
        {
            WriteSeed(root / "fuzz_store_files", "content_" + std::to_string(i),
                      strPrefixWrap + Unwrap(strRaw));
        }
        WriteSeed(root / "fuzz_envelope", "file_" + std::to_string(i), strRaw);
    }
    WriteSeed(root / "fuzz_package", "sample", files.m_mapFiles["dat/v1/0/0.dat"]);
    WriteSeed(root / "fuzz_package", "header_only", files.m_mapFiles["dat/v1/0/0.dat"].substr(0, 28));

    // Trees in key order, written with "@path" keys.
    std::vector<std::pair<uint64_t, std::string>> vecLines = {
        {NSCorvaneReader::CalcNormalizedNameHash(""), "@\tD:d\tF:a.txt"},
        {NSCorvaneReader::CalcNormalizedNameHash("d"), "@d\tD:e\tD:e\tF:b.txt"},
        {NSCorvaneReader::CalcNormalizedNameHash("d/e"), "@d/e\tF:c.bin\tX:other\tF:"}};
    std::sort(vecLines.begin(), vecLines.end());
    std::string strTree;
    for (const auto& line : vecLines)
    {
        strTree += line.second + "\r\n";
    }
    WriteSeed(root / "fuzz_dirtree", "sample", strTree);
    WriteSeed(root / "fuzz_dirtree", "reversed", vecLines[2].second + "\r\n" + vecLines[0].second + "\r\n");

    // Heads of answers to a range of 50 bytes at 100: right, and each way a server gets it wrong.
    const std::string strRange = std::string("\x64\0\0\0\x32\0\0\0", 8);
    const std::string strPartial = "HTTP/1.1 206 Partial Content\r\n";
    const std::pair<const char*, std::string> heads[] = {
        {"partial", strPartial + "Content-Range: bytes 100-149/1000\r\nContent-Length: 50\r\n\r\n"},
        {"partial_unknown_total", strPartial + "Content-Range: bytes 100-149/*\r\n\r\n"},
        {"wrong_range", strPartial + "Content-Range: bytes 101-150/1000\r\nContent-Length: 50\r\n\r\n"},
        {"long", strPartial + "Content-Range: bytes 100-149/1000\r\nContent-Length: 900\r\n\r\n"},
        {"multipart", strPartial + "Content-Type: multipart/byteranges; boundary=x\r\n\r\n"},
        {"whole", "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"},
        {"unsatisfiable", "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */10\r\n\r\n"},
        {"continue",
         "HTTP/1.1 100 Continue\r\n\r\n" + strPartial + "Content-Range: bytes 100-149/1000\r\n\r\n"},
        {"bad_length", "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\n"}};
    for (const auto& [pcszName, strHead] : heads)
    {
        WriteSeed(root / "fuzz_http_head", pcszName, strRange + strHead);
    }
    return 0;
}
