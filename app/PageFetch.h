#pragma once

#include <optional>
#include <string>

#include "history/Unithistory.h"
#include "net/UnitHttp.h"

// The file a fetched page is saved as, in the working folder.
inline constexpr const char* kFetchedPage = "current.shtml";

// What a get of the page came to.
struct TFetchedPage {
    enum TKind {
        saved,      // the page came and was saved as kFetchedPage
        kept,       // unchanged, and kFetchedPage still is that page: it is to be loaded
        unchanged,  // unchanged, and it is the page shown: nothing to do
    };
    TKind kind = saved;
    // Of a saved page: what the server said of it and what the saved file is now.
    TPageValidators validators;
};

// GETs address with http, whose Request holds the proxy set-up, asking only for a change when
// validators are given; the body goes beside kFetchedPage as it arrives and takes its place once
// whole. An unchanged answer writes nothing; when the page shown (shown: it is address's page)
// is not it and kFetchedPage is no longer the page of those validators, the page is fetched
// again without them. Throws what THttpClient::FetchBody throws, and the file's failure to save
// (told before the get) with its message in Windows-1251; kFetchedPage is then as it was.
TFetchedPage FetchPage(THttpClient& http, const std::string& address,
                       const std::optional<TPageValidators>& validators, bool shown,
                       TFetchMonitor* monitor);

// What tells the file at path from another one put in its place or written since: its inode,
// size and time of change; empty when it cannot be read.
std::string PageStamp(const char* path);
