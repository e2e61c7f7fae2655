#include "tests/support/temp-dir.h"

#include <cstdlib>
#include <filesystem>
#include <random>

namespace zutest {

TempDir::TempDir() {
    namespace fs = std::filesystem;
    std::random_device rd;
    fs::path base = fs::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        fs::path candidate = base / ("zucam-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    std::abort();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace zutest
