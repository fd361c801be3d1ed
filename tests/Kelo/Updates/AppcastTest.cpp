#include "Appcast.h"

#include <QRandomGenerator>

#include <sodium.h>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

const QByteArray realisticFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Kelo</title>
    <item>
      <title>Kelo 1.2</title>
      <pubDate>Mon, 02 Dec 2024 10:00:00 +0000</pubDate>
      <sparkle:version>12</sparkle:version>
      <sparkle:shortVersionString>1.2</sparkle:shortVersionString>
      <sparkle:minimumSystemVersion>12.0</sparkle:minimumSystemVersion>
      <sparkle:releaseNotesLink>https://example.org/kelo/1.2.html</sparkle:releaseNotesLink>
      <enclosure url="https://example.org/kelo/kelo-1.2.deb" length="123456"
                 type="application/octet-stream" sparkle:edSignature="c2lnbmF0dXJlLTEuMg=="/>
    </item>
    <item>
      <title>Kelo 1.10</title>
      <description><![CDATA[<ul><li>Sneller</li></ul>]]></description>
      <sparkle:version>1.10</sparkle:version>
      <sparkle:shortVersionString>1.10</sparkle:shortVersionString>
      <sparkle:deltas>
        <enclosure url="https://example.org/kelo/delta.bin" length="1"
                   sparkle:version="999" sparkle:deltaFrom="12"/>
      </sparkle:deltas>
      <enclosure url="https://example.org/kelo/kelo-1.10.deb" length="654321"
                 type="application/octet-stream" sparkle:edSignature="c2lnbmF0dXJlLTEuMTA="/>
    </item>
  </channel>
</rss>
)";

std::vector<AppcastItem> parsed(const QByteArray &feed) {
    auto result = parseAppcast(feed);
    if (const auto *error = std::get_if<AppcastError>(&result)) {
        ADD_FAILURE() << error->description.toStdString();
        return {};
    }
    return std::get<std::vector<AppcastItem>>(std::move(result));
}

bool isError(const QByteArray &feed, qsizetype maximumSize = 1 << 20) {
    return std::holds_alternative<AppcastError>(parseAppcast(feed, maximumSize));
}

QByteArray feedWithItem(const QByteArray &item) {
    return R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Kelo</title><item>)" +
           item + "</item></channel></rss>";
}

} // namespace

TEST(Appcast, ReadsARealisticFeed) {
    const auto items = parsed(realisticFeed);
    ASSERT_EQ(items.size(), 2U);
    EXPECT_EQ(items[0].title, "Kelo 1.2");
    EXPECT_EQ(items[0].version, "12");
    EXPECT_EQ(items[0].displayVersion(), "1.2");
    EXPECT_EQ(items[0].releaseNotes, QUrl("https://example.org/kelo/1.2.html"));
    EXPECT_EQ(items[0].enclosureUrl, QUrl("https://example.org/kelo/kelo-1.2.deb"));
    EXPECT_EQ(items[0].enclosureLength, 123456);
    EXPECT_EQ(items[0].edSignature, "c2lnbmF0dXJlLTEuMg==");
    // The enclosure inside sparkle:deltas is not the item's download.
    EXPECT_EQ(items[1].version, "1.10");
    EXPECT_EQ(items[1].description, "<ul><li>Sneller</li></ul>");
    EXPECT_EQ(items[1].enclosureUrl, QUrl("https://example.org/kelo/kelo-1.10.deb"));
    EXPECT_EQ(items[1].enclosureLength, 654321);
    EXPECT_TRUE(items[1].releaseNotes.isEmpty());
    EXPECT_TRUE(parsed("<rss><channel><title>Kelo</title></channel></rss>").empty());
}

TEST(Appcast, NewestUpdateIsTheFirstOfTheNewestAboveTheCurrentVersion) {
    const auto items = parsed(realisticFeed);
    for (const char *current : {"1.9", "11"}) {
        const auto update = newestUpdate(items, current);
        ASSERT_TRUE(update.has_value()) << current;
        EXPECT_EQ(update->version, "12") << current;
    }
    for (const char *current : {"12", "12.0", "13"})
        EXPECT_FALSE(newestUpdate(items, current).has_value()) << current;
    EXPECT_FALSE(newestUpdate({}, "1.0").has_value());

    AppcastItem first;
    first.version = "2.0";
    first.title = "first";
    AppcastItem second = first;
    second.title = "second";
    EXPECT_EQ(newestUpdate({first, second}, "1.0")->title, "first");
}

// The version on the enclosure when there is no element, the element before the enclosure, and
// the sparkle namespace under any prefix.
TEST(Appcast, WhereTheVersionComesFrom) {
    const auto items =
        parsed(R"(<rss xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><item><enclosure url="https://example.org/k.deb" length="10"
               sparkle:version="7" sparkle:shortVersionString="0.7"/></item>
<item><sparkle:version>8</sparkle:version>
      <enclosure url="https://example.org/k.deb" length="10" sparkle:version="7"/></item>
<item xmlns:s="http://www.andymatuschak.org/xml-namespaces/sparkle"><s:version>3</s:version>
      <enclosure url="https://example.org/k.deb" length="5" s:edSignature="abc="/></item>
</channel></rss>)");
    ASSERT_EQ(items.size(), 3U);
    EXPECT_EQ(items[0].version, "7");
    EXPECT_EQ(items[0].displayVersion(), "0.7");
    EXPECT_EQ(items[1].version, "8");
    EXPECT_EQ(items[1].displayVersion(), "8");
    EXPECT_EQ(items[2].version, "3");
    EXPECT_EQ(items[2].edSignature, "abc=");
}

TEST(Appcast, RefusesFeedsThatAreNotWellFormedOrLackWhatAnItemNeeds) {
    std::vector<QByteArray> refused = {
        "", "not xml at all", "<rss><channel><item></channel></rss>",
        "<rss><channel></channel></rss><rss/>",
        // The sparkle prefix without its namespace.
        "<rss><channel><item><sparkle:version>1</sparkle:version></item></channel></rss>",
        "<feed><channel/></feed>", "<rss><title>no channel</title></rss>",
        // No version in the sparkle namespace.
        feedWithItem(
            R"(<version>8</version><enclosure url="https://example.org/k.deb" length="10"/>)"),
        feedWithItem(R"(<enclosure url="https://example.org/k.deb" length="10"/>)"),
        // No enclosure, or one without an address.
        feedWithItem("<sparkle:version>2</sparkle:version>"),
        feedWithItem(R"(<sparkle:version>2</sparkle:version><enclosure length="10"/>)"),
        feedWithItem(R"(<sparkle:version>2</sparkle:version><enclosure url="" length="10"/>)")};
    // No positive length.
    for (const char *length : {"", R"(length="0")", R"(length="-5")", R"(length="12kB")",
                               R"(length="")", R"(length="99999999999999999999999")"}) {
        refused.push_back(feedWithItem(
            QByteArray(R"(<sparkle:version>2</sparkle:version><enclosure url="https://e.org/k" )") +
            length + "/>"));
    }
    for (const QByteArray &feed : refused)
        EXPECT_TRUE(isError(feed)) << feed.toStdString();
}

TEST(Appcast, RefusesAnOversizeFeed) {
    EXPECT_TRUE(isError(realisticFeed, realisticFeed.size() - 1));
    EXPECT_FALSE(isError(realisticFeed, realisticFeed.size()));
    QByteArray huge = realisticFeed;
    huge.insert(huge.indexOf("<channel>"), QByteArray((1 << 20) + 1, ' '));
    EXPECT_TRUE(isError(huge));
}

// Every cut of the feed gives fewer items or an error; random damage (under the sanitizers)
// must not crash the parser.
TEST(Appcast, SurvivesTruncatedAndDamagedFeeds) {
    const size_t complete = parsed(realisticFeed).size();
    const QByteArray document = realisticFeed.trimmed();
    for (qsizetype length = 0; length < document.size(); ++length) {
        auto result = parseAppcast(document.left(length));
        if (const auto *items = std::get_if<std::vector<AppcastItem>>(&result)) {
            EXPECT_LT(items->size(), complete) << length;
        }
    }
    QRandomGenerator random(20241206);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = realisticFeed;
        for (int change = random.bounded(1, 8); change > 0; --change) {
            const auto at = random.bounded(damaged.size());
            switch (random.bounded(3)) {
            case 0:
                damaged[at] = static_cast<char>(random.bounded(256));
                break;
            case 1:
                damaged.remove(at, random.bounded(1, 40));
                break;
            default:
                damaged.insert(at, damaged.mid(random.bounded(damaged.size()), 30));
                break;
            }
        }
        (void)parseAppcast(damaged);
    }
}

TEST(VersionComparison, OrdersLikeSparkleBothWaysRound) {
    using Pair = std::pair<const char *, const char *>;
    const Pair newerFirst[] = {{"1.10", "1.9"},     {"1.0.1", "1.0"},   {"1.0", "1.0b2"},
                               {"1.0b10", "1.0b2"}, {"1.0b1", "1.0a1"}, {"2", "1.9.9"},
                               {"1.0.0.1", "1.0"},  {"1.0", "1.0.0b1"}, {"1.0.1", "1.0b5"},
                               {"1.1", "1a"},       {"1.2.3", "1.2b"},  {"1", ""}};
    // Trailing and leading zeros make no other version.
    const Pair same[] = {{"1.0", "1.0"}, {"1.0", "1.0.0"}, {"1", "1.0.00"}, {"01.2", "1.2"},
                         {"", ""},       {"1..2", "1..2"}, {"ü", "ü"}};
    for (const auto &[a, b] : newerFirst) {
        EXPECT_GT(compareVersions(a, b), 0) << a << " vs " << b;
        EXPECT_LT(compareVersions(b, a), 0) << b << " vs " << a;
    }
    for (const auto &[a, b] : same) {
        EXPECT_EQ(compareVersions(a, b), 0) << a << " vs " << b;
        EXPECT_EQ(compareVersions(b, a), 0) << b << " vs " << a;
    }
    EXPECT_GT(compareVersions("123456789012345678901234567890", "99999999999999999999"), 0);
}

namespace {

struct Keys {
    QByteArray publicKey = QByteArray(crypto_sign_PUBLICKEYBYTES, '\0');
    QByteArray secretKey = QByteArray(crypto_sign_SECRETKEYBYTES, '\0');
    Keys() {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(reinterpret_cast<unsigned char *>(publicKey.data()),
                            reinterpret_cast<unsigned char *>(secretKey.data()));
    }
    QByteArray sign(const QByteArray &data) const {
        QByteArray signature(crypto_sign_BYTES, '\0');
        crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(data.constData()),
                             static_cast<unsigned long long>(data.size()),
                             reinterpret_cast<const unsigned char *>(secretKey.constData()));
        return signature;
    }
};

} // namespace

TEST(Ed25519, AcceptsOnlyTheSignatureOfTheseBytesUnderThisKey) {
    const Keys keys, other;
    const QByteArray data = "Kelo 1.10 for Debian";
    const QByteArray signature = keys.sign(data);
    const QByteArray key = keys.publicKey.toBase64();
    EXPECT_TRUE(verifyEd25519(data, signature.toBase64(), key));
    EXPECT_TRUE(verifyEd25519(data, " " + signature.toBase64() + "\n", key));
    EXPECT_TRUE(verifyEd25519({}, keys.sign({}).toBase64(), key));
    for (qsizetype i = 0; i < data.size(); ++i) {
        QByteArray changed = data;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        EXPECT_FALSE(verifyEd25519(changed, signature.toBase64(), key)) << i;
    }
    for (qsizetype i = 0; i < signature.size(); ++i) {
        QByteArray changed = signature;
        changed[i] = static_cast<char>(changed[i] ^ 0x80);
        EXPECT_FALSE(verifyEd25519(data, changed.toBase64(), key)) << i;
    }
    EXPECT_FALSE(verifyEd25519(data + "x", signature.toBase64(), key));
    EXPECT_FALSE(verifyEd25519(data, signature.toBase64(), other.publicKey.toBase64()));
}

TEST(Ed25519, RefusesBadBase64AndWrongSizes) {
    const Keys keys;
    const QByteArray data = "Kelo";
    const QByteArray signature = keys.sign(data).toBase64();
    const QByteArray key = keys.publicKey.toBase64();
    const std::pair<QByteArray, QByteArray> refused[] = {
        {"!!" + signature, key},
        {signature, "@" + key},
        {"", key},
        {signature, ""},
        {keys.sign(data).left(63).toBase64(), key},
        {(keys.sign(data) + "x").toBase64(), key},
        {signature, keys.publicKey.left(31).toBase64()},
        {signature, (keys.publicKey + "x").toBase64()},
        {signature, keys.secretKey.toBase64()}};
    for (const auto &[badSignature, badKey] : refused) {
        EXPECT_FALSE(verifyEd25519(data, badSignature, badKey))
            << badSignature.toStdString() << " / " << badKey.toStdString();
    }
}
