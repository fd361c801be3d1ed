#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>
#include <variant>
#include <vector>

namespace kelo {

// One release in a Sparkle-format appcast (RSS 2.0 with the sparkle: namespace).
struct AppcastItem {
    QString title;
    QString version;            // sparkle:version (the build number compared)
    QString shortVersionString; // sparkle:shortVersionString (shown to the user)
    QUrl releaseNotes;          // sparkle:releaseNotesLink, if any
    QString description;        // <description>, if any
    QUrl enclosureUrl;
    qint64 enclosureLength = 0; // bytes, as the feed claims them
    QByteArray edSignature;     // sparkle:edSignature, base64 as in the feed
    // The version a user reads: the short version, else the version.
    QString displayVersion() const;
};

struct AppcastError {
    QString description;
};

// Parses an appcast. Anything that is not a well-formed RSS feed, or an item without a
// version or an enclosure URL, is an error; a feed larger than `maximumSize` is refused.
std::variant<std::vector<AppcastItem>, AppcastError> parseAppcast(const QByteArray &feed,
                                                                  qsizetype maximumSize = 1 << 20);

// Compares versions as Sparkle does ("1.10" after "1.9", "1.0b2" before "1.0"): negative, zero
// or positive.
int compareVersions(const QString &a, const QString &b);

// The newest item that is newer than `currentVersion`, or none.
std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem> &items,
                                        const QString &currentVersion);

// Whether `signature` (base64 ed25519, as in sparkle:edSignature) signs `data` for
// `publicKey` (base64, 32 bytes).
bool verifyEd25519(const QByteArray &data, const QByteArray &signatureBase64,
                   const QByteArray &publicKeyBase64);

} // namespace kelo
