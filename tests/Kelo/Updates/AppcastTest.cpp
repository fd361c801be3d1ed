#include "Appcast.h"

#include <sodium.h>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

// Three items: the version from the enclosure when there is no element, an element before the
// enclosure, and the sparkle namespace under another prefix; a delta's enclosure is no download.
const QByteArray feed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
  <title>Kelo</title>
  <item><title>Kelo 1.2</title><pubDate>Mon, 02 Dec 2024 10:00:00 +0000</pubDate>
    <sparkle:releaseNotesLink>https://example.org/kelo/1.2.html</sparkle:releaseNotesLink>
    <enclosure url="https://example.org/kelo/kelo-1.2.deb" length="123456" sparkle:version="12"
               sparkle:shortVersionString="1.2" sparkle:edSignature="c2lnbmF0dXJlLTEuMg=="/></item>
  <item><description><![CDATA[<ul><li>Sneller</li></ul>]]></description>
    <sparkle:version>1.10</sparkle:version>
    <sparkle:deltas><enclosure url="https://example.org/d.bin" length="1" sparkle:version="99"/>
    </sparkle:deltas><enclosure url="https://example.org/kelo/kelo-1.10.deb" length="654321"
                                sparkle:version="7"/></item>
  <item xmlns:s="http://www.andymatuschak.org/xml-namespaces/sparkle"><s:version>3</s:version>
    <enclosure url="https://example.org/k.deb" length="5" s:edSignature="abc="/></item>
</channel></rss>
)";

// The items, or none for an error.
std::optional<std::vector<AppcastItem>> parsed(const QByteArray &text,
                                               qsizetype maximumSize = 1 << 20) {
    auto result = parseAppcast(text, maximumSize);
    if (auto *items = std::get_if<std::vector<AppcastItem>>(&result))
        return *items;
    return std::nullopt;
}

} // namespace

TEST(Appcast, ReadsEveryItemAndOffersTheFirstOfTheNewestAboveTheCurrentVersion) {
    QStringList summaries;
    const auto items = parsed(feed).value();
    for (const AppcastItem &item : items)
        summaries << QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8")
                         .arg(item.title, item.version, item.displayVersion(),
                              item.releaseNotes.toString(), item.description,
                              item.enclosureUrl.toString(), QString::number(item.enclosureLength),
                              QString::fromLatin1(item.edSignature));
    EXPECT_EQ(summaries,
              QStringList({"Kelo 1.2|12|1.2|https://example.org/kelo/1.2.html||https://example.org/"
                           "kelo/kelo-1.2.deb|123456|c2lnbmF0dXJlLTEuMg==",
                           "|1.10|1.10||<ul><li>Sneller</li></ul>|https://example.org/kelo/"
                           "kelo-1.10.deb|654321|",
                           "|3|3|||https://example.org/k.deb|5|abc="}));
    EXPECT_TRUE(parsed("<rss><channel><title>Kelo</title></channel></rss>").value().empty());

    EXPECT_EQ(newestUpdate(items, "11").value_or(AppcastItem{}).version, "12");
    for (const char *current : {"12", "12.0"})
        EXPECT_FALSE(newestUpdate(items, current)) << current;
    auto tied = items;
    tied[1].version = QStringLiteral("12.0");
    EXPECT_EQ(newestUpdate(tied, "11").value_or(AppcastItem{}).title, "Kelo 1.2");
}

// Also: a cut of the feed gives fewer items or an error.
TEST(Appcast, RefusesFeedsThatAreNotWellFormedOrLackWhatAnItemNeedsOrAreTooLarge) {
    const QByteArray item = "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
                            "sparkle\"><channel><item>";
    const QByteArray version = item + "<sparkle:version>2</sparkle:version>";
    // The sparkle prefix without its namespace; no version in it; no address; no length that fits.
    const QByteArray refused[] = {
        "not xml at all",
        "<rss><channel><item><sparkle:version>1</sparkle:version></item></channel></rss>",
        item + R"(<version>8</version><enclosure url="https://example.org/k.deb" length="10"/>)",
        version + R"(<enclosure length="10"/>)",
        version + R"(<enclosure url="https://e.org/k" length="99999999999999999999999"/>)"};
    for (const QByteArray &text : refused)
        EXPECT_FALSE(parsed(text + "</item></channel></rss>")) << text.toStdString();
    EXPECT_FALSE(parsed(feed, feed.size() - 1));
    EXPECT_EQ(parsed(feed, feed.size()).value().size(), 3U);
    const QByteArray document = feed.trimmed();
    for (const qsizetype length : {qsizetype(0), qsizetype(200), document.size() - 14})
        EXPECT_LT(parsed(document.left(length)).value_or(std::vector<AppcastItem>()).size(), 3U)
            << length;
}

TEST(VersionComparison, OrdersLikeSparkleBothWaysRound) {
    using Pair = std::pair<const char *, const char *>;
    const Pair newerFirst[] = {{"1.10", "1.9"}, {"1.0b10", "1.0b2"}, {"1.0", "1.0.0b1"}};
    // Trailing and leading zeros make no other version.
    const Pair same[] = {{"1", "1.0.00"}, {"01.2", "1.2"}};
    for (const auto &[a, b] : newerFirst)
        EXPECT_TRUE(compareVersions(a, b) > 0 && compareVersions(b, a) < 0) << a << " vs " << b;
    for (const auto &[a, b] : same)
        EXPECT_TRUE(compareVersions(a, b) == 0 && compareVersions(b, a) == 0) << a << " vs " << b;
    EXPECT_GT(compareVersions("123456789012345678901234567890", "99999999999999999999"), 0);
}

// Only the signature of these very bytes under this key, in base64 of the right sizes.
TEST(Ed25519, AcceptsOnlyTheSignatureOfTheseBytesUnderThisKey) {
    ASSERT_GE(sodium_init(), 0);
    QByteArray key(crypto_sign_PUBLICKEYBYTES, '\0'), secret(crypto_sign_SECRETKEYBYTES, '\0');
    const auto bytes = [](QByteArray &data) {
        return reinterpret_cast<unsigned char *>(data.data());
    };
    crypto_sign_keypair(bytes(key), bytes(secret));
    QByteArray data = "Kelo 1.10 for Debian", signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(bytes(signature), nullptr, bytes(data),
                         static_cast<unsigned long long>(data.size()), bytes(secret));
    const QByteArray key64 = key.toBase64(), signature64 = signature.toBase64();
    QByteArray otherKey = key;
    otherKey[0] = static_cast<char>(otherKey[0] ^ 0x01);
    EXPECT_TRUE(verifyEd25519(data, " " + signature64 + "\n", key64));
    QByteArray flipped = signature;
    flipped[40] = static_cast<char>(flipped[40] ^ 0x80);
    const std::array<QByteArray, 3> refused[] = {{data + "x", signature64, key64},
                                                 {data, flipped.toBase64(), key64},
                                                 {data, signature64, otherKey.toBase64()},
                                                 {data, "!!" + signature64, key64},
                                                 {data, signature64, secret.toBase64()}};
    for (const auto &[badData, badSignature, badKey] : refused)
        EXPECT_FALSE(verifyEd25519(badData, badSignature, badKey))
            << badData.toStdString() << " / " << badSignature.toStdString() << " / "
            << badKey.toStdString();
}
