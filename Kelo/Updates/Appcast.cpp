#include "Appcast.h"

#include <QXmlStreamReader>

#include <sodium.h>

#include <mutex>

namespace kelo {

namespace {

const QString sparkleNamespace =
    QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

bool isPlain(const QXmlStreamReader &xml, QStringView name) {
    return xml.namespaceUri().isEmpty() && xml.name() == name;
}

bool isSparkle(const QXmlStreamReader &xml, QStringView name) {
    return xml.namespaceUri() == sparkleNamespace && xml.name() == name;
}

struct RawItem {
    AppcastItem item;
    QString enclosureVersion;
    QString enclosureShortVersion;
    QString length;
    bool hasEnclosure = false;
};

RawItem readItem(QXmlStreamReader &xml) {
    RawItem raw;
    while (xml.readNextStartElement()) {
        if (isPlain(xml, u"title")) {
            raw.item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isPlain(xml, u"description")) {
            raw.item.description =
                xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(xml, u"version")) {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (raw.item.version.isEmpty())
                raw.item.version = text.trimmed();
        } else if (isSparkle(xml, u"shortVersionString")) {
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            if (raw.item.shortVersionString.isEmpty())
                raw.item.shortVersionString = text.trimmed();
        } else if (isSparkle(xml, u"releaseNotesLink")) {
            const QUrl link(xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed(),
                            QUrl::StrictMode);
            if (raw.item.releaseNotes.isEmpty() && link.isValid())
                raw.item.releaseNotes = link;
        } else if (isPlain(xml, u"enclosure")) {
            // An item describes one download; further enclosures are ignored.
            if (!raw.hasEnclosure) {
                raw.hasEnclosure = true;
                const QXmlStreamAttributes attributes = xml.attributes();
                raw.item.enclosureUrl =
                    QUrl(attributes.value(QLatin1StringView("url")).trimmed().toString(),
                         QUrl::StrictMode);
                raw.length = attributes.value(QLatin1StringView("length")).trimmed().toString();
                raw.item.edSignature =
                    attributes.value(sparkleNamespace, QLatin1StringView("edSignature"))
                        .trimmed()
                        .toLatin1();
                raw.enclosureVersion =
                    attributes.value(sparkleNamespace, QLatin1StringView("version"))
                        .trimmed()
                        .toString();
                raw.enclosureShortVersion =
                    attributes.value(sparkleNamespace, QLatin1StringView("shortVersionString"))
                        .trimmed()
                        .toString();
            }
            xml.skipCurrentElement();
        } else {
            // sparkle:minimumSystemVersion, sparkle:deltas (whose enclosures are not ours), etc.
            xml.skipCurrentElement();
        }
    }
    return raw;
}

std::optional<QString> finishItem(RawItem &raw) {
    AppcastItem &item = raw.item;
    if (item.version.isEmpty())
        item.version = raw.enclosureVersion;
    if (item.shortVersionString.isEmpty())
        item.shortVersionString = raw.enclosureShortVersion;
    if (item.version.isEmpty())
        return QStringLiteral("an item has no sparkle:version");
    if (!raw.hasEnclosure)
        return QStringLiteral("item %1 has no enclosure").arg(item.version);
    if (item.enclosureUrl.isEmpty() || !item.enclosureUrl.isValid() ||
        item.enclosureUrl.isRelative())
        return QStringLiteral("item %1 has no valid enclosure URL").arg(item.version);
    // A download of unknown length cannot be checked, so a missing or zero length is as wrong
    // as a malformed one, and it fails the whole feed rather than quietly hiding the item.
    bool ok = false;
    const qint64 length = raw.length.toLongLong(&ok);
    if (!ok || length <= 0)
        return QStringLiteral("item %1 has no positive enclosure length").arg(item.version);
    item.enclosureLength = length;
    return std::nullopt;
}

enum class PartKind { Number, Text, Separator };

struct VersionPart {
    PartKind kind;
    QStringView text;
};

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

PartKind kindOf(QChar c) {
    if (isAsciiDigit(c))
        return PartKind::Number;
    if (c == u'.' || c.isSpace())
        return PartKind::Separator;
    return PartKind::Text;
}

// Runs of digits and runs of other characters are parts; every separator is a part of its own.
std::vector<VersionPart> splitVersion(QStringView version) {
    std::vector<VersionPart> parts;
    qsizetype start = 0;
    while (start < version.size()) {
        const PartKind kind = kindOf(version[start]);
        qsizetype end = start + 1;
        if (kind != PartKind::Separator) {
            while (end < version.size() && kindOf(version[end]) == kind)
                ++end;
        }
        parts.push_back({kind, version.sliced(start, end - start)});
        start = end;
    }
    return parts;
}

// Numbers of any length, compared without converting them.
int compareNumbers(QStringView a, QStringView b) {
    while (a.size() > 1 && a.front() == u'0')
        a = a.sliced(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.sliced(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

bool isZero(const VersionPart &part) {
    return part.kind == PartKind::Number && compareNumbers(part.text, u"0") == 0;
}

} // namespace

QString AppcastItem::displayVersion() const {
    return shortVersionString.isEmpty() ? version : shortVersionString;
}

std::variant<std::vector<AppcastItem>, AppcastError> parseAppcast(const QByteArray &feed,
                                                                  qsizetype maximumSize) {
    if (feed.size() > maximumSize)
        return AppcastError{QStringLiteral("the appcast is larger than %1 bytes").arg(maximumSize)};

    QXmlStreamReader xml(feed);
    xml.setNamespaceProcessing(true);
    std::vector<AppcastItem> items;
    std::optional<QString> itemError;
    bool sawChannel = false;

    if (xml.readNextStartElement()) {
        if (!isPlain(xml, u"rss"))
            return AppcastError{QStringLiteral("the appcast is not an RSS feed")};
        while (xml.readNextStartElement()) {
            if (!isPlain(xml, u"channel") || sawChannel) {
                xml.skipCurrentElement();
                continue;
            }
            sawChannel = true;
            while (xml.readNextStartElement()) {
                if (!isPlain(xml, u"item")) {
                    xml.skipCurrentElement();
                    continue;
                }
                RawItem raw = readItem(xml);
                if (!itemError) {
                    itemError = finishItem(raw);
                    if (!itemError)
                        items.push_back(std::move(raw.item));
                }
            }
        }
    }
    // Read to the end, so that a truncated feed or trailing garbage is noticed.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return AppcastError{QStringLiteral("the appcast is not well-formed XML (line %1): %2")
                                .arg(xml.lineNumber())
                                .arg(xml.errorString())};
    if (!sawChannel)
        return AppcastError{QStringLiteral("the appcast has no rss/channel")};
    if (itemError)
        return AppcastError{*itemError};
    return items;
}

// As Sparkle compares: part by part, numbers numerically and text literally; where the kinds
// differ a number beats a separator and both beat text. Where one version has parts left over,
// text there marks a pre-release ("1.0b2" before "1.0") and a number a later release ("1.0.1"
// after "1.0"). Unlike Sparkle, leftover separators and zeros count for nothing, so "1.0" and
// "1.0.0" are the same version.
int compareVersions(const QString &a, const QString &b) {
    const std::vector<VersionPart> partsA = splitVersion(a);
    const std::vector<VersionPart> partsB = splitVersion(b);
    const size_t common = std::min(partsA.size(), partsB.size());
    for (size_t i = 0; i < common; ++i) {
        const VersionPart &partA = partsA[i];
        const VersionPart &partB = partsB[i];
        if (partA.kind == partB.kind) {
            if (partA.kind == PartKind::Number) {
                if (const int order = compareNumbers(partA.text, partB.text); order != 0)
                    return order;
            } else if (partA.kind == PartKind::Text) {
                if (const int order = partA.text.compare(partB.text); order != 0)
                    return order < 0 ? -1 : 1;
            }
            continue;
        }
        if (partA.kind == PartKind::Text)
            return -1;
        if (partB.kind == PartKind::Text)
            return 1;
        return partA.kind == PartKind::Number ? 1 : -1;
    }
    const bool aLonger = partsA.size() > partsB.size();
    const std::vector<VersionPart> &longer = aLonger ? partsA : partsB;
    for (size_t i = common; i < longer.size(); ++i) {
        const VersionPart &part = longer[i];
        if (part.kind == PartKind::Separator || isZero(part))
            continue;
        const bool longerIsNewer = part.kind == PartKind::Number;
        return longerIsNewer == aLonger ? 1 : -1;
    }
    return 0;
}

std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem> &items,
                                        const QString &currentVersion) {
    const AppcastItem *newest = nullptr;
    for (const AppcastItem &item : items) {
        if (compareVersions(item.version, currentVersion) <= 0)
            continue;
        if (newest == nullptr || compareVersions(item.version, newest->version) > 0)
            newest = &item;
    }
    if (newest == nullptr)
        return std::nullopt;
    return *newest;
}

bool verifyEd25519(const QByteArray &data, const QByteArray &signatureBase64,
                   const QByteArray &publicKeyBase64) {
    static std::once_flag once;
    static bool sodiumReady = false;
    std::call_once(once, [] { sodiumReady = sodium_init() >= 0; });
    if (!sodiumReady)
        return false;

    const auto signature = QByteArray::fromBase64Encoding(signatureBase64.trimmed(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
    const auto key = QByteArray::fromBase64Encoding(publicKeyBase64.trimmed(),
                                                    QByteArray::AbortOnBase64DecodingErrors);
    if (!signature || !key)
        return false;
    if (signature.decoded.size() != crypto_sign_BYTES ||
        key.decoded.size() != crypto_sign_PUBLICKEYBYTES)
        return false;
    return crypto_sign_verify_detached(
               reinterpret_cast<const unsigned char *>(signature.decoded.constData()),
               reinterpret_cast<const unsigned char *>(data.constData()),
               static_cast<unsigned long long>(data.size()),
               reinterpret_cast<const unsigned char *>(key.decoded.constData())) == 0;
}

} // namespace kelo
