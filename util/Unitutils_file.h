#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The program's files are read and written whole, through this module only. A failure is
// described by an errno value: the system's own, or EISDIR for a folder, EINVAL for anything
// else that is not a regular file, EFBIG for a file over its limit.

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
    // Why the file was refused; 0 when it was taken.
    int Error() const { return error; }
    // The file's size when it was opened; 0 when it was refused.
    std::size_t Size() const { return size; }
    // Reads the file from its start into buffer, which has room for Size() bytes. Returns how
    // many bytes were read (fewer when the file shrank since it was opened); nullopt on a read
    // error (errno then says why) or a refused file.
    std::optional<std::size_t> ReadInto(char* buffer) const;

private:
    int fd = -1;
    int error = 0;
    std::size_t size = 0;
};

// The bytes of the regular file at path, read as a CFileReader reads them; nullopt, with errno
// saying why, whenever the reader refuses the file or fails.
std::optional<std::string> ReadWholeFile(const char* path, std::int64_t limit);

// A file written whole and put in the place of its target only by Commit. The target is the
// file the path names in the end: symbolic links are followed, a dangling one too (the file it
// names is then created), so a link stays a link. Only a regular file that this process may
// write is replaced: anything else at the target (a FIFO, a device, a folder, a read-only file)
// makes every step fail, nothing changed.
//
// The new bytes go to a file beside the target, "NAME.new-PID-N", which takes the target's
// permissions, owner and group and is synced and renamed over it; the folder is synced too, so
// a save reported done survives a power cut, and a reader sees either the old file or the whole
// new one. A process killed meanwhile leaves its file behind: every later replacement of the
// same target removes the files of processes that no longer run.
//
// Where that file cannot be made (the folder refuses new files) or cannot take the target's
// owner and group (another user's file), a writable target is written in place instead, so it
// stays the same file: Commit first reserves the whole new size on disk, so that a full disk or
// a size limit refuses the save before a byte is overwritten, then writes from the start and
// cuts the file to its new size. Only a crash in the middle of that one write mixes old and new.
// Until Commit succeeds and whenever anything fails, the target stays as it was.
class CFileReplacement {
public:
    explicit CFileReplacement(const char* path);
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;
    // Removes the new file unless it was committed.
    ~CFileReplacement();

    // Why the replacement failed so far; 0 while nothing did.
    int Error() const { return error; }
    // Appends bytes to the new contents. False once anything has failed; later writes do
    // nothing.
    bool Write(std::string_view bytes);
    // Flushes the new contents to disk and puts them in the target's place. False when that
    // or anything before failed. Only the first call can succeed.
    bool Commit();

private:
    void Fail();
    bool CommitInPlace();
    bool CommitBeside();
    void Discard();

    std::string target;
    std::string temp;
    // Set when the target itself is written, at Commit, with the bytes held in pending.
    bool inPlace = false;
    std::string pending;
    int fd = -1;
    int error = 0;
};

// Replaces the file at path with bytes, as a CFileReplacement does; false on any failure, with
// errno saying why.
bool ReplaceFile(const char* path, std::string_view bytes);
