// Temporary files in PL_TempDir(): created exclusively (never an existing
// file or link) with mode 0600, and removed when closed.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class PL_TempFile {
public:
    PL_TempFile() = default;
    ~PL_TempFile() { Close(); }
    PL_TempFile(PL_TempFile &&other) noexcept;
    PL_TempFile &operator=(PL_TempFile &&other) noexcept;
    PL_TempFile(const PL_TempFile &) = delete;
    PL_TempFile &operator=(const PL_TempFile &) = delete;

    // Creates "<temp dir>/<prefix><pid>-<tick>-<counter>" (hex numbers) open
    // for reading and writing.  False, with errno set, when a file is already
    // open in this object, the prefix holds a '/', or the file cannot be made.
    bool Create(const char *prefix);

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    const char *Path() const { return path_.c_str(); }
    // A stdio stream on the file ("w+b"), made at the first call; null when
    // no file is open or the stream cannot be made.
    FILE *Stream();

    // Closes and removes the file; true when both worked or nothing was open.
    bool Close();

    // Removes the file's name at once and hands its stream to the caller,
    // leaving this object empty: the file lives only as long as the stream
    // (fclose, or the end of the process, deletes it).  Null, with errno set
    // and the file gone, when no file is open or the name or stream fails.
    FILE *ReleaseUnlinked();

private:
    int fd_ = -1;
    FILE *stream_ = nullptr;
    std::string path_;
};

// Writes a path in PL_TempDir() built like PL_TempFile's names that names no
// existing file at the time of the call.  False when buf is too small (it
// then holds "") or the prefix holds a '/'.
bool PL_UniqueTempPath(const char *prefix, char *buf, size_t size);

// Maps the whole file under an open stream read-only, after flushing the
// stream: *data and *bytes receive the mapping and its length.  False, with
// nothing mapped, when the file is empty or cannot be flushed or mapped.
bool PL_MapStream(FILE *stream, const uint8_t **data, size_t *bytes);
// Releases a mapping PL_MapStream made; a null mapping does nothing.
void PL_Unmap(const uint8_t *data, size_t bytes);
