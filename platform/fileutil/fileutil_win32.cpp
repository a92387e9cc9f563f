#include "fileutil.h"

#include <windows.h>
// The Windows headers name their own ReplaceFile so; this file defines the one of fileutil.h.
#undef ReplaceFile

#include <algorithm>
#include <random>

namespace platform::fileutil {

namespace {

// Paths arrive as UTF-8.
std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Narrow(const wchar_t* text, int size)
{
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), n, nullptr, nullptr);
    return out;
}

bool Failed(FileError& error, std::string what, DWORD code)
{
    error.what = std::move(what);
    error.code = static_cast<int>(code);
    return false;
}

// Every share mode: a reader never keeps the replacement of a file from happening.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle()
    {
        if (Valid())
            ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    // Closes now; false when closing failed (a write may not have landed).
    bool Close()
    {
        const bool ok = ::CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

bool WriteAll(HANDLE file, std::string_view data)
{
    size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

// A name beside `path` that no file has yet, made by creating it.
HANDLE CreateTemporaryBeside(const std::string& path, std::string& temp)
{
    static std::mt19937_64 generator{std::random_device{}() ^ (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^
                                     ::GetTickCount64()};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = path + ".";
        uint64_t r = generator();
        for (int i = 0; i < 6; ++i, r /= 36)
            name += digits[r % 36];
        const HANDLE h = ::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            temp = std::move(name);
            return h;
        }
    }
    ::SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

std::string FileError::Text() const
{
    if (code == 0)
        return what;
    wchar_t* message = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&message), 0,
                                     nullptr);
    std::string text = n > 0 ? Narrow(message, static_cast<int>(n)) : "error " + std::to_string(code);
    if (message)
        ::LocalFree(message);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return what + ": " + text;
}

FileLock::FileLock(const std::string& path, mode_t /*mode: Windows files carry no permission bits*/)
{
    const HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Failed(error_, "open " + path, ::GetLastError());
        return;
    }
    // The lock covers the first byte, which need not exist; waits until every other holder
    // has let go. Closing the handle releases it.
    OVERLAPPED at{};
    if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) {
        Failed(error_, "lock " + path, ::GetLastError());
        ::CloseHandle(h);
        return;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
}

FileLock::~FileLock()
{
    if (handle_ != -1)
        ::CloseHandle(reinterpret_cast<HANDLE>(handle_));  // releases the lock
}

ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string& text, FileError& error)
{
    text.clear();
    Handle file(::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return ReadResult::Missing;
        // A folder opens only with backup semantics: this is how it shows.
        const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
        if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return ReadResult::NotRegular;
        Failed(error, "open " + path, code);
        return ReadResult::Failed;
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
        return ReadResult::NotRegular;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size)) {
        Failed(error, "stat " + path, ::GetLastError());
        return ReadResult::Failed;
    }
    if (static_cast<uint64_t>(size.QuadPart) > maxBytes)
        return ReadResult::TooLarge;
    // The size is checked again while reading, since the file may grow meanwhile.
    char buffer[8192];
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr)) {
            Failed(error, "read " + path, ::GetLastError());
            text.clear();
            return ReadResult::Failed;
        }
        if (n == 0)
            return ReadResult::Read;
        if (text.size() + n > maxBytes) {
            text.clear();
            return ReadResult::TooLarge;
        }
        text.append(buffer, n);
    }
}

bool UpdateInPlace(const std::string& path, size_t expectedSize, size_t offset, std::string_view bytes)
{
    // Opening the link itself, not its target, and then refusing anything but a plain file.
    Handle file(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid() || ::GetFileType(file.Get()) != FILE_TYPE_DISK)
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.Get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    const uint64_t size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (size != expectedSize || offset + bytes.size() > expectedSize)
        return false;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) && WriteAll(file.Get(), bytes) && file.Close();
}

bool ReplaceFile(const std::string& path, std::string_view text, const ReplaceOptions& options,
                 FileError& error)
{
    std::string temp;
    Handle file(CreateTemporaryBeside(path, temp));
    if (!file.Valid())
        return Failed(error, "create a temporary file beside " + path, ::GetLastError());
    const std::wstring wideTemp = Wide(temp), widePath = Wide(path);
    auto abandon = [&](std::string what, DWORD code) {
        ::DeleteFileW(wideTemp.c_str());
        return Failed(error, std::move(what), code);
    };
    if (!WriteAll(file.Get(), text) || (options.durable && !::FlushFileBuffers(file.Get()))) {
        const DWORD code = ::GetLastError();
        file.Close();
        return abandon("write " + temp, code);
    }
    if (!file.Close())
        return abandon("write " + temp, ::GetLastError());

    const bool exists = ::GetFileAttributesW(widePath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!options.keepOldAs.empty() && exists) {
        const std::wstring keep = Wide(options.keepOldAs);
        ::DeleteFileW(keep.c_str());
        if (!::CreateHardLinkW(keep.c_str(), widePath.c_str(), nullptr) &&
            !::CopyFileW(widePath.c_str(), keep.c_str(), FALSE))
            return abandon("keep " + path + " as " + options.keepOldAs, ::GetLastError());
    }
    // ReplaceFileW swaps the new file in under the old one's name, keeping the old one's
    // attributes and security; where there is no old file, or the file system cannot swap,
    // a move over it does the job.
    const DWORD moveFlags = MOVEFILE_REPLACE_EXISTING | (options.durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (exists && ::ReplaceFileW(widePath.c_str(), wideTemp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                 nullptr, nullptr))
        return true;
    if (::MoveFileExW(wideTemp.c_str(), widePath.c_str(), moveFlags))
        return true;
    return abandon("replace " + path, ::GetLastError());
}

}  // namespace platform::fileutil
