// A temporary folder that lives as long as the object and is removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "serialtools");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace testsupport
