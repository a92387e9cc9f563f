// A scratch folder for the capture tests, in the system's temporary folder, removed with
// everything in it (standard C++, so the Win32 build has it too).
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

namespace captesting {

class ScratchDir {
public:
    ScratchDir()
    {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("duoterm-capture-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace captesting
