// SPDX-License-Identifier: MIT
// Without libFuzzer, each fuzz target is a plain program that replays every file
// (or every file in every directory) named on its command line, so CTest can run
// the committed corpus on any compiler.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t uSize);
extern "C" int LLVMFuzzerInitialize(int* pArgc, char*** pArgv);

namespace
{

void Replay(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> vecData((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(vecData.data()), vecData.size());
}

} // namespace

int main(int argc, char** argv)
{
    // Targets may change the working directory when they initialise.
    std::vector<std::filesystem::path> vecPaths;
    for (int i = 1; i < argc; ++i)
    {
        vecPaths.push_back(std::filesystem::absolute(argv[i]));
    }
    LLVMFuzzerInitialize(&argc, &argv);
    size_t uCount = 0;
    for (const std::filesystem::path& path : vecPaths)
    {
        if (!std::filesystem::exists(path))
        {
            std::fprintf(stderr, "no such input: %s\n", path.string().c_str());
            return 1;
        }
        if (std::filesystem::is_directory(path))
        {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            {
                if (entry.is_regular_file())
                {
                    Replay(entry.path());
                    ++uCount;
                }
            }
        }
        else
        {
            Replay(path);
            ++uCount;
        }
    }
    std::printf("replayed %zu inputs\n", uCount);
    return uCount ? 0 : 1;
}
