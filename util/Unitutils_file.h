#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The program's files are read and written whole, through this module only.

// A regular file opened to be read whole. Opening never blocks and never opens anything but a
// regular file: a FIFO, a folder or a device is refused at once, as is a file larger than the
// limit given, one that is missing or one that cannot be opened.
class CFileReader {
public:
    CFileReader(const char* path, std::int64_t limit);
    CFileReader(const CFileReader&) = delete;
    CFileReader& operator=(const CFileReader&) = delete;
    ~CFileReader();

    // True when the file was taken: a regular file of at most limit bytes, open.
    explicit operator bool() const { return fd >= 0; }
    // The file's size when it was opened; 0 when it was refused.
    std::size_t Size() const { return size; }
    // Reads the file from its start into buffer, which has room for Size() bytes. Returns how
    // many bytes were read (fewer when the file shrank since it was opened); nullopt on a read
    // error or a refused file.
    std::optional<std::size_t> ReadInto(char* buffer) const;

private:
    int fd = -1;
    std::size_t size = 0;
};

// The bytes of the regular file at path, read as a CFileReader reads them; nullopt whenever
// the reader refuses the file or fails.
std::optional<std::string> ReadWholeFile(const char* path, std::int64_t limit);

// A file written whole and put in the place of its target only by Commit. The target is the
// file the path names in the end: symbolic links are followed, a dangling one too (the file it
// names is then created), so a link stays a link. Only a regular file is replaced: anything
// else at the target (a FIFO, a device, a folder) makes Write and Commit fail, nothing changed.
// The new bytes go to a file beside the target, which takes the target's permissions and is
// renamed over it, so that a reader sees either the old file or the whole new one. Where the
// target's folder refuses new files but the target itself is writable, the bytes are held in
// memory and Commit empties the target and writes them in place; only a failure half-way
// through that write leaves the target cut. Otherwise, until Commit succeeds and whenever
// anything fails, the target stays as it was and nothing is left beside it.
class CFileReplacement {
public:
    explicit CFileReplacement(const char* path);
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;
    // Removes the new file unless it was committed.
    ~CFileReplacement();

    // Appends bytes to the new contents. False once anything has failed; later writes do
    // nothing.
    bool Write(std::string_view bytes);
    // Flushes the new contents to disk and puts them in the target's place. False when that
    // or anything before failed. Only the first call can succeed.
    bool Commit();

private:
    void Discard();

    std::string target;
    std::string temp;
    // Set when the target itself is written, at Commit, with the bytes held in pending.
    bool inPlace = false;
    std::string pending;
    int fd = -1;
    bool failed = false;
};

// Replaces the file at path with bytes, as a CFileReplacement does; false on any failure.
bool ReplaceFile(const char* path, std::string_view bytes);
