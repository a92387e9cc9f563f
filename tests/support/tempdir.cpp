#include "tempdir.h"

#include <random>
#include <stdexcept>
#include <system_error>

namespace testsupport {

TempDir::TempDir(const std::string& prefix)
{
    // A fresh name under the system's temporary folder, taken by creating it: a name in use
    // makes create_directory return false, and the next one is tried.
    static std::mt19937_64 generator{std::random_device{}()};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix + ".";
        uint64_t r = generator();
        for (int i = 0; i < 8; ++i, r /= 36)
            name += digits[r % 36];
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = base / name;
            return;
        }
        if (ec)
            throw std::runtime_error("cannot make a temporary folder under " + base.string() + ": " + ec.message());
    }
    throw std::runtime_error("no free temporary folder name under " + base.string());
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace testsupport
