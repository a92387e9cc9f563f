#include "fileutil.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::fileutil {

namespace {

bool Failed(FileError& error, std::string what, int code)
{
    error.what = std::move(what);
    error.code = code;
    return false;
}

bool WriteAll(int fd, std::string_view data)
{
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string FileError::Text() const
{
    return code != 0 ? what + ": " + std::strerror(code) : what;
}

FileLock::FileLock(const std::string& path, mode_t mode)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, mode);
    if (fd < 0) {
        Failed(error_, "open " + path, errno);
        return;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            Failed(error_, "lock " + path, errno);
            ::close(fd);
            return;
        }
    }
    handle_ = fd;
}

FileLock::~FileLock()
{
    if (handle_ >= 0)
        ::close(static_cast<int>(handle_));  // releases the lock
}

ReadResult ReadSmallFile(const std::string& path, size_t maxBytes, std::string& text, FileError& error)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        Failed(error, "open " + path, errno);
        return ReadResult::Failed;
    }
    struct stat st {};
    ReadResult result = ReadResult::Read;
    if (::fstat(fd, &st) != 0) {
        Failed(error, "stat " + path, errno);
        result = ReadResult::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        result = ReadResult::NotRegular;
    } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        result = ReadResult::TooLarge;
    }
    // The size is checked again while reading, since the file may grow meanwhile.
    char buffer[8192];
    while (result == ReadResult::Read) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Failed(error, "read " + path, errno);
            result = ReadResult::Failed;
        } else if (n == 0) {
            break;
        } else if (text.size() + static_cast<size_t>(n) > maxBytes) {
            result = ReadResult::TooLarge;
        } else {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    if (result != ReadResult::Read)
        text.clear();
    return result;
}

bool UpdateInPlace(const std::string& path, size_t expectedSize, size_t offset, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) == expectedSize &&
              offset + bytes.size() <= expectedSize;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<size_t>(n);
    }
    ::close(fd);
    return ok;
}

bool ReplaceFile(const std::string& path, std::string_view text, const ReplaceOptions& options,
                 FileError& error)
{
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return Failed(error, "create a temporary file beside " + path, errno);
    auto abandon = [&](std::string what, int code) {
        ::unlink(temp.c_str());
        return Failed(error, std::move(what), code);
    };
    struct stat st {};
    ::fchmod(fd, ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : options.mode);
    if (!WriteAll(fd, text) || (options.durable && ::fsync(fd) != 0)) {
        const int code = errno;
        ::close(fd);
        return abandon("write " + temp, code);
    }
    if (::close(fd) != 0)
        return abandon("write " + temp, errno);

    if (!options.keepOldAs.empty()) {
        const std::string& keep = options.keepOldAs;
        ::unlink(keep.c_str());
        if (::link(path.c_str(), keep.c_str()) != 0 && ::rename(path.c_str(), keep.c_str()) != 0)
            return abandon("keep " + path + " as " + keep, errno);
    }
    // Swapping the new file with the old one and then removing the old one replaces the file
    // as atomically as a rename over it, without the data flush some filesystems force on a
    // rename that replaces a file. Where swapping is not supported (or there is no old file),
    // a plain rename does the job.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0)
        ::unlink(temp.c_str());
    else if (::rename(temp.c_str(), path.c_str()) != 0)
        return abandon("replace " + path, errno);

    if (options.durable) {
        // Makes the replacement itself durable.
        const int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    return true;
}

}  // namespace platform::fileutil
