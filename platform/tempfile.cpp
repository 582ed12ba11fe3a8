// Temporary files: names from pid, tick count and a process-wide counter;
// O_CREAT|O_EXCL|O_NOFOLLOW so an existing name or planted link is never used.
#include "platform/tempfile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/sysinfo.h"

namespace {

constexpr int kAttempts = 1000;

std::atomic<uint32_t> g_counter{0};

bool ValidPrefix(const char *prefix)
{
    return prefix && std::strchr(prefix, '/') == nullptr;
}

// "<dir>/<prefix><pid>-<tick>-<counter>".
bool NextName(const char *prefix, char *buf, size_t size)
{
    uint32_t n = g_counter.fetch_add(1, std::memory_order_relaxed);
    int len = std::snprintf(buf, size, "%s/%s%x-%x-%x", PL_TempDir(), prefix,
                            PL_ProcessId(), PL_TickCount(), n);
    return len > 0 && static_cast<size_t>(len) < size;
}

}  // namespace

PL_TempFile::PL_TempFile(PL_TempFile &&other) noexcept
    : fd_(other.fd_), stream_(other.stream_), path_(std::move(other.path_))
{
    other.fd_ = -1;
    other.stream_ = nullptr;
    other.path_.clear();
}

PL_TempFile &PL_TempFile::operator=(PL_TempFile &&other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        stream_ = other.stream_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
        other.stream_ = nullptr;
        other.path_.clear();
    }
    return *this;
}

bool PL_TempFile::Create(const char *prefix)
{
    if (fd_ >= 0) {
        errno = EBUSY;
        return false;
    }
    if (!ValidPrefix(prefix)) {
        errno = EINVAL;
        return false;
    }
    char name[4096];
    for (int i = 0; i < kAttempts; ++i) {
        if (!NextName(prefix, name, sizeof name)) {
            errno = ENAMETOOLONG;
            return false;
        }
        int fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        ::fchmod(fd, 0600);  // exactly 0600, whatever the umask
        try {
            path_ = name;
        } catch (...) {
            ::close(fd);
            ::unlink(name);
            errno = ENOMEM;
            return false;
        }
        fd_ = fd;
        return true;
    }
    errno = EEXIST;
    return false;
}

FILE *PL_TempFile::Stream()
{
    if (fd_ < 0)
        return nullptr;
    if (!stream_)
        stream_ = ::fdopen(fd_, "w+b");
    return stream_;
}

bool PL_TempFile::Close()
{
    if (fd_ < 0)
        return true;
    bool ok = stream_ ? std::fclose(stream_) == 0 : ::close(fd_) == 0;
    if (::unlink(path_.c_str()) != 0)
        ok = false;
    fd_ = -1;
    stream_ = nullptr;
    path_.clear();
    return ok;
}

FILE *PL_TempFile::ReleaseUnlinked()
{
    if (fd_ < 0) {
        errno = EBADF;
        return nullptr;
    }
    FILE *stream = Stream();
    int err = stream ? 0 : errno;
    if (::unlink(path_.c_str()) != 0 && !err)
        err = errno;
    path_.clear();
    if (err) {
        if (stream)
            std::fclose(stream);
        else
            ::close(fd_);
        fd_ = -1;
        stream_ = nullptr;
        errno = err;
        return nullptr;
    }
    fd_ = -1;
    stream_ = nullptr;
    return stream;
}

bool PL_UniqueTempPath(const char *prefix, char *buf, size_t size)
{
    if (!buf || size == 0)
        return false;
    buf[0] = '\0';
    if (!ValidPrefix(prefix))
        return false;
    struct stat st;
    for (int i = 0; i < kAttempts; ++i) {
        if (!NextName(prefix, buf, size)) {
            buf[0] = '\0';
            return false;
        }
        if (::lstat(buf, &st) != 0 && errno == ENOENT)
            return true;
    }
    buf[0] = '\0';
    return false;
}

bool PL_MapStream(FILE *stream, const uint8_t **data, size_t *bytes)
{
    if (!stream || !data || !bytes || std::fflush(stream) != 0)
        return false;
    struct stat st;
    if (fstat(fileno(stream), &st) != 0 || st.st_size <= 0 ||
        static_cast<uint64_t>(st.st_size) > SIZE_MAX)
        return false;
    const size_t len = static_cast<size_t>(st.st_size);
    void *p = mmap(nullptr, len, PROT_READ, MAP_SHARED, fileno(stream), 0);
    if (p == MAP_FAILED)
        return false;
    *data = static_cast<const uint8_t *>(p);
    *bytes = len;
    return true;
}

void PL_Unmap(const uint8_t *data, size_t bytes)
{
    if (data)
        munmap(const_cast<uint8_t *>(data), bytes);
}
