#pragma once

#include <QFuture>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace platform::store {
class Context;
}

namespace Fennick {

// Fetches the App Store artwork of every app whose icon file is missing or unreadable and writes
// it to the icon folder. The calls of one downloader run one at a time.
class IconDownloader {
public:
    // The context the app identifiers are read from, normally a background context.
    explicit IconDownloader(std::shared_ptr<platform::store::Context> context);
    ~IconDownloader();
    IconDownloader(const IconDownloader &) = delete;
    IconDownloader &operator=(const IconDownloader &) = delete;

    // True when at least one icon was missing and its downloads were run, whatever their outcome;
    // false when none was missing or the apps could not be read. Never throws. Blocks until the
    // downloads are done: use downloadIconsAsync() on the GUI thread.
    bool downloadIcons();
    // downloadIcons() on a thread of its own.
    QFuture<bool> downloadIconsAsync();

    // The part of the lookup reply that is read.
    struct MetadataResult {
        std::optional<QUrl> artworkUrl100;
        std::optional<QUrl> artworkUrl512;
    };
    // The first result of the lookup service for the app in the store of the two-letter country.
    // Throws RequestError (a status other than 200: noSuccess; no results: badResponse),
    // json::DecodingError, or the transport's error.
    static MetadataResult fetchMetadata(const QString &identifier, const QString &country);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace Fennick
