// SPDX-License-Identifier: MIT
// Throughput of the store hashes and of the codec at each distinct level.
//   corvane_bench --benchmark_filter=ContextHash
#include "common/CorvaneMemory.h"
#include "compress/CorvaneCompress.h"
#include "format/CorvaneHash.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace
{

std::vector<uint8_t> RandomBytes(size_t uSize)
{
    std::vector<uint8_t> vec(uSize);
    std::mt19937_64 rng(42);
    for (size_t i = 0; i < uSize; i += 8)
    {
        const uint64_t uValue = rng();
        std::memcpy(vec.data() + i, &uValue, std::min<size_t>(8, uSize - i));
    }
    return vec;
}

// Real files rather than synthetic data, since the codec's speed and ratio depend
// on the content: shared libraries and text from the system, read at start-up.
void AppendFilesFrom(const char* pcszDir, size_t uBudget, size_t uPerFile, std::vector<uint8_t>& vecOut)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> vecFiles;
    for (fs::recursive_directory_iterator it(pcszDir, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec))
    {
        std::error_code ecEntry;
        if (it->is_regular_file(ecEntry) && !it->is_symlink(ecEntry) && it->file_size(ecEntry) > 4096)
            vecFiles.push_back(it->path());
    }
    std::sort(vecFiles.begin(), vecFiles.end());
    const size_t uEnd = vecOut.size() + uBudget;
    for (const fs::path& path : vecFiles)
    {
        if (vecOut.size() >= uEnd)
            break;
        std::ifstream file(path, std::ios::binary);
        std::vector<char> vecChunk(std::min(uPerFile, uEnd - vecOut.size()));
        file.read(vecChunk.data(), static_cast<std::streamsize>(vecChunk.size()));
        vecOut.insert(vecOut.end(), vecChunk.begin(), vecChunk.begin() + file.gcount());
    }
}

const std::vector<uint8_t>& RealData()
{
    static const std::vector<uint8_t> s_vecData = []
    {
        std::vector<uint8_t> vec;
        AppendFilesFrom("/usr/lib/x86_64-linux-gnu", 3u << 20, 256u << 10, vec);
        AppendFilesFrom("/usr/share", 1u << 20, 64u << 10, vec);
        if (vec.empty())
            vec = RandomBytes(4u << 20);
        return vec;
    }();
    return s_vecData;
}

void HashSizes(benchmark::internal::Benchmark* pBench)
{
    for (int64_t nSize : {4 << 10, 64 << 10, 1 << 20, 16 << 20})
        pBench->Arg(nSize);
}

void BM_CalcContextHash(benchmark::State& state)
{
    const std::vector<uint8_t> vecData = RandomBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            NSCorvaneReader::CalcContextHash(vecData.data(), static_cast<uint32_t>(vecData.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CalcContextHash)->Apply(HashSizes);

void BM_CalcContextHashByteLoop(benchmark::State& state)
{
    const std::vector<uint8_t> vecData = RandomBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            NSCorvaneReader::CalcContextHashByteLoop(vecData.data(), static_cast<uint32_t>(vecData.size())));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_CalcContextHashByteLoop)->Apply(HashSizes);

// The ceiling: what the memory system delivers for the same sizes.
void BM_Memcpy(benchmark::State& state)
{
    const std::vector<uint8_t> vecData = RandomBytes(static_cast<size_t>(state.range(0)));
    std::vector<uint8_t> vecCopy(vecData.size());
    for (auto _ : state)
    {
        std::memcpy(vecCopy.data(), vecData.data(), vecData.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Memcpy)->Apply(HashSizes);

const std::vector<std::string>& TypicalPaths()
{
    static const std::vector<std::string> s_vecPaths = {
        "bin/editor.exe",
        "data/textures/terrain/grass_albedo_01.dds",
        "data/levels/harbor/navmesh.bin",
        "config/default.ini",
        "plugins/render/vulkan/shaders/compiled/postfx_bloom_downsample.spv",
        "locale/zh_cn/ui_strings.json",
        "Docs\\Readme.TXT",
        "data/audio/ambience/forest_night_loop_03.ogg",
    };
    return s_vecPaths;
}

template <uint64_t (*PFN_Hash)(const char*)> void NameHashBench(benchmark::State& state)
{
    const std::vector<std::string>& vecPaths = TypicalPaths();
    size_t uBytes = 0;
    for (const std::string& str : vecPaths)
        uBytes += str.size();
    for (auto _ : state)
    {
        for (const std::string& str : vecPaths)
            benchmark::DoNotOptimize(PFN_Hash(str.c_str()));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * uBytes));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * vecPaths.size()));
}

void BM_CalcNameHash(benchmark::State& state)
{
    NameHashBench<&NSCorvaneReader::CalcNameHash>(state);
}
BENCHMARK(BM_CalcNameHash);

void BM_CalcNormalizedNameHash(benchmark::State& state)
{
    NameHashBench<&NSCorvaneReader::CalcNormalizedNameHash>(state);
}
BENCHMARK(BM_CalcNormalizedNameHash);

// One store level per distinct zstd level of the mapping.
void CodecLevels(benchmark::internal::Benchmark* pBench)
{
    pBench->ArgName("level");
    int nLastZstd = -1;
    for (int nLevel = 0; nLevel <= 10; ++nLevel)
    {
        if (CorvaneCompress::MapLevelToZstd(nLevel) != nLastZstd)
            pBench->Arg(nLevel);
        nLastZstd = CorvaneCompress::MapLevelToZstd(nLevel);
    }
    pBench->Unit(benchmark::kMillisecond);
}

void ReportCodec(benchmark::State& state, uint32_t uPacked)
{
    const std::vector<uint8_t>& vecData = RealData();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * vecData.size()));
    state.counters["zstd"] = CorvaneCompress::MapLevelToZstd(static_cast<int>(state.range(0)));
    state.counters["packed%"] = 100.0 * uPacked / static_cast<double>(vecData.size());
}

void BM_Compress(benchmark::State& state)
{
    const std::vector<uint8_t>& vecData = RealData();
    uint32_t uPacked = 0;
    for (auto _ : state)
    {
        uint8_t* pbyOut = nullptr;
        if (!CorvaneCompress::CompressContent(vecData.data(), static_cast<uint32_t>(vecData.size()), &pbyOut,
                                              &uPacked, NSCorvane::STCT_ZSTD,
                                              static_cast<int>(state.range(0))))
        {
            state.SkipWithError("CompressContent failed");
            return;
        }
        CorvaneUtil::MemoryFree(pbyOut);
    }
    ReportCodec(state, uPacked);
}
BENCHMARK(BM_Compress)->Apply(CodecLevels);

void BM_UnCompress(benchmark::State& state)
{
    const std::vector<uint8_t>& vecData = RealData();
    uint8_t* pbyPacked = nullptr;
    uint32_t uPacked = 0;
    if (!CorvaneCompress::CompressContent(vecData.data(), static_cast<uint32_t>(vecData.size()), &pbyPacked,
                                          &uPacked, NSCorvane::STCT_ZSTD, static_cast<int>(state.range(0))))
    {
        state.SkipWithError("CompressContent failed");
        return;
    }
    for (auto _ : state)
    {
        uint8_t* pbyOut = nullptr;
        uint32_t uOut = 0;
        if (!CorvaneCompress::UnCompressContent(pbyPacked, uPacked, &pbyOut, &uOut, NSCorvane::STCT_ZSTD))
        {
            state.SkipWithError("UnCompressContent failed");
            break;
        }
        CorvaneUtil::MemoryFree(pbyOut);
    }
    CorvaneUtil::MemoryFree(pbyPacked);
    ReportCodec(state, uPacked);
}
BENCHMARK(BM_UnCompress)->Apply(CodecLevels);

} // namespace

BENCHMARK_MAIN();
