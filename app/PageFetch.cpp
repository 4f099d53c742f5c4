#include "app/PageFetch.h"

#include <sys/stat.h>

#include "app/FileError.h"
#include "util/Unitutils_file.h"

namespace {

constexpr const char* kPageSaveFailed = "Не удалось сохранить страницу в";
constexpr int kNotModified = 304;

// A body written, zero bytes included, into a file that replaces its target on Commit; a write
// that fails makes the Commit fail.
class TFileBody final : public TBodySink {
public:
    explicit TFileBody(CFileReplacement& file) : file(file) {}
    void Write(std::string_view bytes) override { file.Write(bytes); }

private:
    CFileReplacement& file;
};

}  // namespace

std::string PageStamp(const char* path) {
    struct stat file {};
    if (stat(path, &file) != 0) {
        return {};
    }
    return std::to_string(file.st_ino) + ":" + std::to_string(file.st_size) + ":" +
           std::to_string(file.st_mtim.tv_sec) + "." + std::to_string(file.st_mtim.tv_nsec);
}

TFetchedPage FetchPage(THttpClient& http, const std::string& address,
                       const std::optional<TPageValidators>& validators, bool shown,
                       TFetchMonitor* monitor) {
    THeaderInfo& request = http.Request;
    request.IfNoneMatch = validators ? validators->etag : std::string();
    request.IfModifiedSince = validators ? validators->lastModified : std::string();
    CFileReplacement page(kFetchedPage);
    // Told before the get, which would be in vain.
    if (page.Error() != 0) {
        ThrowFileError(kPageSaveFailed, kFetchedPage, page.Error());
    }
    TFileBody body(page);
    http.FetchBody(address, body, monitor);
    if (http.ResponseCode() == kNotModified) {
        if (shown) {
            return {TFetchedPage::unchanged, {}};
        }
        if (PageStamp(kFetchedPage) == validators->pageStamp) {
            return {TFetchedPage::kept, {}};
        }
        // The file was replaced since, by hand or by another page: the page must come whole.
        return FetchPage(http, address, std::nullopt, shown, monitor);
    }
    if (!page.Commit()) {
        ThrowFileError(kPageSaveFailed, kFetchedPage, page.Error());
    }
    return {TFetchedPage::saved,
            {http.Response().ETag, http.Response().LastModified, PageStamp(kFetchedPage)}};
}
