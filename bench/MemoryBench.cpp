#include "bench/MemoryBench.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "tests/support/PageGenerator.h"

namespace {

// The seed of every page the memory benchmarks measure.
constexpr std::uint32_t kPageSeed = 20261208;

}  // namespace

double StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string name;
    double value = 0;
    while (status >> name) {
        if (name == std::string(key) + ":") {
            status >> value;
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return -1;
}

void ResetPeakMemory() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool WritePageInChild(const char* path, std::size_t rows) {
    const pid_t child = fork();
    if (child == 0) {
        const GeneratedPage page = GenerateListingPage(rows, kPageSeed);
        std::ofstream out(path, std::ios::binary);
        out.write(page.bytes.data(), std::streamsize(page.bytes.size()));
        _exit(out.flush() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}
