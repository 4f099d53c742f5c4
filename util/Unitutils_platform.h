#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "util/Unitutils.h"

// This system's opener. The registry is answered from the freedesktop default applications
// through GIO: a document type's key (".html") holds the desktop entry id of the default
// application of the type's MIME type ("firefox.desktop"); "\<id>\shell\open\command" holds
// that entry's Exec line turned into an open command (ExecLineToCommand). Other paths have no
// key. GIO reads the XDG folders of the environment on its first use. Programs are started by
// StartDetached, never through a shell. For one thread at a time.
class CDesktopOpener : public COpenerSystem {
public:
    static constexpr int kNotFound = 2;
    static constexpr int kBadKey = 6;
    static constexpr int kMoreData = 234;

    int OpenKey(const char* path, Key& key) override;
    int QueryValue(Key key, char* buffer, int& size) override;
    int CloseKey(Key key) override;
    bool StartCommand(std::string_view command, std::string_view address) override;

private:
    std::map<Key, std::string> openKeys;
    Key nextKey = 1;
};

// The opener the two-argument OpenWithHandler and FindOpenCommand use; made on first use.
CDesktopOpener& SystemOpener();

// Starts args[0] (a path, or a name looked up in PATH) with args as its arguments, detached: in
// a session of its own, with default signal handling and no descriptor of this process beyond
// the standard three. Leaves no child process behind. True when the program was executed; false
// when it was not found or could not be executed (nothing runs then). Never uses a shell.
bool StartDetached(const std::vector<std::string>& args);
