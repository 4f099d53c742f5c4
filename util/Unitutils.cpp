#include "util/Unitutils.h"

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <string>

#include "util/Unitutils_command.h"

namespace {

constexpr char kOpenCommandKeyFormat[] = "\\%s\\shell\\open\\command";

// A key that was opened is closed whatever its read gave, and a failing close fails the read.
bool ReadKeyValue(COpenerSystem& system, const char* path, char* buffer, int size) {
    COpenerSystem::Key key{};
    if (system.OpenKey(path, key) != 0) {
        return false;
    }
    int stored = size;
    const bool read = system.QueryValue(key, buffer, stored) == 0;
    const bool closed = system.CloseKey(key) == 0;
    return read && closed;
}

}  // namespace

int CompareSizeText(const char* a, const char* b) {
    return CompareSizeText(a, std::string_view(b));
}

int CompareSizeText(const char* a, std::string_view b) {
    const std::size_t la = strnlen(a, b.size() + 1);
    if (la != b.size()) {
        return la < b.size() ? -1 : 1;
    }
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b.data());
    for (std::size_t i = 0; i < la; ++i) {
        if (ua[i] != ub[i]) {
            return int(ua[i]) - int(ub[i]);
        }
    }
    return 0;
}

bool FindOpenCommand(const char* type, char* out, int size, COpenerSystem& system) {
    if (type == nullptr || out == nullptr || size <= 0) {
        return false;
    }
    char className[kClassNameSize];
    if (!ReadKeyValue(system, type, className, kClassNameSize)) {
        return false;
    }
    // Sized to the class name, so every name that fits its buffer also fits its key path.
    const int length = std::snprintf(nullptr, 0, kOpenCommandKeyFormat, className);
    std::string path(std::size_t(length), '\0');
    std::snprintf(path.data(), path.size() + 1, kOpenCommandKeyFormat, className);
    return ReadKeyValue(system, path.c_str(), out, size);
}

bool OpenWithHandler(const char* address, const char* type, COpenerSystem& system) {
    if (address == nullptr) {
        return false;
    }
    if (type == nullptr) {
        type = std::strrchr(address, '.');
        if (type == nullptr) {
            return false;
        }
    }
    char command[kOpenCommandSize];
    if (!FindOpenCommand(type, command, kOpenCommandSize, system)) {
        return false;
    }
    if (std::strstr(command, kCommandPlaceholder) == nullptr) {
        return false;
    }
    // A program that does not start is not reported: the caller has nothing to show for it.
    system.StartCommand(command, address);
    return true;
}

bool EqualIgnoringLatinCase(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}
