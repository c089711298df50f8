// Feeds every file of the folders (or files) given on the command line to
// the target's LLVMFuzzerTestOneInput once: the corpus, crashes found by
// the fuzzer included, replayed in every test run. A crash fails the run.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

static void feed(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

int main(int argc, char **argv)
{
    int fed = 0;
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto &entry : fs::recursive_directory_iterator(path)) {
                if (entry.is_regular_file()) {
                    feed(entry.path());
                    ++fed;
                }
            }
        } else if (fs::is_regular_file(path)) {
            feed(path);
            ++fed;
        }
    }
    std::printf("%d inputs replayed\n", fed);
    return 0;
}
