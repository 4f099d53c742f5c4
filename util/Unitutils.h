#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Orders two size texts ("12k", "1000К") the way the size bounds compare them: the shorter text
// sorts first; texts of equal length compare byte by byte as unsigned values. The texts are not
// read as numbers. Returns a negative number, zero or a positive number (the difference of the
// first differing bytes when the lengths are equal). Both texts must be zero-terminated.
int CompareSizeText(const char* a, const char* b);
// The same order against a text b of known length (no zero byte inside); reads no more than
// b.size() + 1 bytes of a.
int CompareSizeText(const char* a, std::string_view b);

// True when a and b are equal with the case of the Latin letters A to Z ignored; every other
// byte (Cyrillic letters included) must be equal as it is.
bool EqualIgnoringLatinCase(std::string_view a, std::string_view b);

// Returns rest up to its first delimiter and leaves in rest what follows the delimiter; without
// a delimiter, returns all of rest and leaves it empty.
inline std::string_view SplitAtFirst(std::string_view& rest, char delimiter) {
    const std::size_t at = rest.find(delimiter);
    const std::string_view head = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    return head;
}

// What the opener needs from the system: a read-only registry of document types ("\"-separated
// key paths under the classes root, a leading "\" ignored; a document type's key holds the name
// of its class, "\<class>\shell\open\command" holds the class's open command) and the start of
// a program. The int results are 0 on success and a non-zero error code otherwise.
class COpenerSystem {
public:
    using Key = std::uintptr_t;

    virtual ~COpenerSystem() = default;

    // Opens the key at path; sets key on success. An open key must be closed with CloseKey.
    virtual int OpenKey(const char* path, Key& key) = 0;
    // Copies the key's default value, zero-terminated, into buffer. size: in, the capacity in
    // bytes; out, the bytes stored with the zero. Fails, buffer untouched, when the key has no
    // value or the value does not fit.
    virtual int QueryValue(Key key, char* buffer, int& size) = 0;
    virtual int CloseKey(Key key) = 0;
    // Starts, detached, the command line made of command with its first "%1" replaced by
    // address, which stays one argument of the program whatever bytes it holds. True when the
    // program was started.
    virtual bool StartCommand(std::string_view command, std::string_view address) = 0;
};

// Sizes of the look-up's buffers: a class name or an open command of 256 bytes or more (255
// characters and the zero) does not fit and fails the look-up. The key path of the open command
// is built to fit any class name that fits its buffer.
inline constexpr int kClassNameSize = 256;
inline constexpr int kOpenCommandSize = 256;

// Fills out (size bytes) with the open command that system registers for the document type
// (with its leading dot, ".html"). False, every opened key closed again, when the type or its
// class has no such command, a value does not fit its buffer, or closing a key fails.
bool FindOpenCommand(const char* type, char* out, int size, COpenerSystem& system);

// Opens address with the program that system registers for type (".html"); a null type is taken
// from address: from its last "." to its end, and no "." gives false at once. False, with
// nothing started, when there is no open command or it has no "%1". Otherwise the command is
// started with its first "%1" replaced by address, unchanged and unquoted, and the result is
// true whether or not the program could start. The address has no length limit: it is never
// copied into a fixed buffer, and neither is the command line built from it.
bool OpenWithHandler(const char* address, const char* type, COpenerSystem& system);

// The two calls above with this system's default opener of each document type. Defined in the
// folianta_opener library (util/Unitutils_platform.cpp), which the program must link to use them.
bool FindOpenCommand(const char* type, char* out, int size);
bool OpenWithHandler(const char* address, const char* type);
