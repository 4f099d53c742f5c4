#pragma once

#include <string>
#include <string_view>

// A file written beside its target and put in the target's place only by Commit, so that a
// reader of the target sees either the old file or the whole new one, never a part. A target
// that is a symbolic link keeps the link, and the file it names is replaced; the new file takes
// the old file's permissions. Until Commit succeeds, and whenever anything fails, the target
// stays as it was, and nothing is left beside it once the object is gone.
class CFileReplacement {
public:
    // Creates the new file beside target; a failure to do so shows in Write and Commit.
    explicit CFileReplacement(const char* target);
    CFileReplacement(const CFileReplacement&) = delete;
    CFileReplacement& operator=(const CFileReplacement&) = delete;
    // Removes the new file unless it was committed.
    ~CFileReplacement();

    // Appends bytes to the new file. False once any write has failed; later writes do nothing.
    bool Write(std::string_view bytes);
    // Flushes the new file to disk and renames it over the target. False, with the target
    // unchanged, when that or any write failed. Only the first call can succeed.
    bool Commit();

private:
    std::string target;
    std::string temp;
    int fd = -1;
    bool failed = false;
};

// Replaces the file at path with bytes, as a CFileReplacement does; false on any failure.
bool ReplaceFile(const char* path, std::string_view bytes);
