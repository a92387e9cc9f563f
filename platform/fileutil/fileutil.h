// File helpers shared by the simulated bench's state and the settings file store: an
// exclusive lock held through a lock file, the read of a small regular file, the atomic
// replacement of a file's whole text, a rewrite of some bytes in place, and hexadecimal
// digits. Paths are narrow strings: the bytes as they are on Linux, UTF-8 on Windows
// (PathText makes one from a std::filesystem::path on either). Backends: fileutil_linux.cpp
// (flock, renameat2), fileutil_win32.cpp (LockFileEx, ReplaceFileW/MoveFileExW).
//
// Threads: the calls are independent of each other. A FileLock excludes every other holder
// of a lock on the same file, in this process (another FileLock object) or in another one.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform::fileutil {

// What failed: the step with the file it concerns ("write /a/b.XXXXXX"), and the system's
// error code (0 when the step has none).
struct FileError {
    std::string what;
    int code = 0;
    // "what: the system's text for the code", or what alone.
    std::string Text() const;
};

// An exclusive lock on the file at `path` (created with `mode` when missing), held while the
// object lives.
class FileLock {
public:
    FileLock(const std::string& path, mode_t mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Locked() const { return handle_ != -1; }
    // Why the lock was not taken.
    const FileError& Error() const { return error_; }

private:
    intptr_t handle_ = -1;  // the open lock file: its descriptor or handle, -1 when none
    FileError error_;
};

enum class ReadResult {
    Read,        // `text` holds the whole file
    Missing,     // there is no such file
    NotRegular,  // a folder, a device or the like
    TooLarge,    // more than the bytes allowed
    Failed,      // `error` says why
};

// Reads the whole of a regular file of at most maxBytes bytes into `text`.
ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string& text, FileError& error);

struct ReplaceOptions {
    mode_t mode = 0600;     // permissions of a file made new; a replaced file keeps its own
    bool durable = false;   // the text and the replacement reach the disk before the call returns
    std::string keepOldAs;  // when not empty, the old file stays under this name as well
};

// Puts `text` in place of the file at `path` (made when missing) in one step, through a
// temporary file beside it: a reader sees the old file or the new one, never a part of
// either, and an old file still open keeps its old text. On failure the file at `path` is
// unchanged (except that keepOldAs may already hold it), no temporary file is left, and
// `error` says what failed.
bool ReplaceFile(const std::string& path, std::string_view text, const ReplaceOptions& options,
                 FileError& error);

// Writes `bytes` at `offset` into the regular file at `path` (not followed through a
// symbolic link), which must be exactly `expectedSize` bytes long; the file's length never
// changes. False when the file is not that file or a write fails (a part may have landed).
bool UpdateInPlace(const std::string& path, size_t expectedSize, size_t offset, std::string_view bytes);

// A path as the calls above take it (UTF-8 on Windows, the bytes as they are elsewhere).
inline std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The value of a hexadecimal digit of either case, or -1.
constexpr int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

enum class HexCase { Lower, Upper };

// Appends the byte as two hexadecimal digits.
inline void AppendHexByte(std::string& out, uint8_t byte, HexCase letters)
{
    const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

}  // namespace platform::fileutil
