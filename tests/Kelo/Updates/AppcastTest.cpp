#include "Appcast.h"

#include <QRandomGenerator>

#include <sodium.h>

#include <gtest/gtest.h>

using namespace kelo;

namespace {

const QByteArray realisticFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"
     xmlns:dc="http://purl.org/dc/elements/1.1/">
  <channel>
    <title>Kelo</title>
    <link>https://example.org/kelo/appcast.xml</link>
    <language>nl</language>
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
    EXPECT_EQ(items[0].shortVersionString, "1.2");
    EXPECT_EQ(items[0].displayVersion(), "1.2");
    EXPECT_EQ(items[0].releaseNotes, QUrl("https://example.org/kelo/1.2.html"));
    EXPECT_EQ(items[0].enclosureUrl, QUrl("https://example.org/kelo/kelo-1.2.deb"));
    EXPECT_EQ(items[0].enclosureLength, 123456);
    EXPECT_EQ(items[0].edSignature, "c2lnbmF0dXJlLTEuMg==");
    EXPECT_EQ(items[1].version, "1.10");
    EXPECT_EQ(items[1].description, "<ul><li>Sneller</li></ul>");
    EXPECT_EQ(items[1].enclosureUrl, QUrl("https://example.org/kelo/kelo-1.10.deb"));
    EXPECT_EQ(items[1].enclosureLength, 654321);
    EXPECT_TRUE(items[1].releaseNotes.isEmpty());
}

TEST(Appcast, ChoosesTheNewerItem) {
    const auto items = parsed(realisticFeed);
    const auto update = newestUpdate(items, "1.9");
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->version, "12");
    const auto fromEleven = newestUpdate(items, "11");
    ASSERT_TRUE(fromEleven.has_value());
    EXPECT_EQ(fromEleven->version, "12");
}

TEST(Appcast, OffersNothingForTheSameOrAnOlderVersion) {
    const auto items = parsed(realisticFeed);
    EXPECT_FALSE(newestUpdate(items, "12").has_value());
    EXPECT_FALSE(newestUpdate(items, "12.0").has_value());
    EXPECT_FALSE(newestUpdate(items, "13").has_value());
    EXPECT_FALSE(newestUpdate({}, "1.0").has_value());
}

TEST(Appcast, KeepsTheFirstOfEqualVersions) {
    AppcastItem first;
    first.version = "2.0";
    first.title = "first";
    AppcastItem second = first;
    second.title = "second";
    const auto update = newestUpdate({first, second}, "1.0");
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->title, "first");
}

TEST(Appcast, AcceptsTheVersionOnTheEnclosure) {
    const auto items = parsed(feedWithItem(
        R"(<enclosure url="https://example.org/k.deb" length="10" sparkle:version="7"
                      sparkle:shortVersionString="0.7"/>)"));
    ASSERT_EQ(items.size(), 1U);
    EXPECT_EQ(items[0].version, "7");
    EXPECT_EQ(items[0].displayVersion(), "0.7");
}

TEST(Appcast, PrefersTheVersionElementToTheEnclosure) {
    const auto items = parsed(feedWithItem(
        R"(<sparkle:version>8</sparkle:version>
           <enclosure url="https://example.org/k.deb" length="10" sparkle:version="7"/>)"));
    ASSERT_EQ(items.size(), 1U);
    EXPECT_EQ(items[0].version, "8");
    EXPECT_EQ(items[0].displayVersion(), "8");
}

TEST(Appcast, ReadsTheSparkleNamespaceUnderAnyPrefix) {
    const QByteArray feed = R"(<rss xmlns:s="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><item><s:version>3</s:version>
<enclosure url="https://example.org/k.deb" length="5" s:edSignature="abc="/></item></channel></rss>)";
    const auto items = parsed(feed);
    ASSERT_EQ(items.size(), 1U);
    EXPECT_EQ(items[0].version, "3");
    EXPECT_EQ(items[0].edSignature, "abc=");
}

TEST(Appcast, IgnoresVersionsOutsideTheSparkleNamespace) {
    EXPECT_TRUE(isError(feedWithItem(
        R"(<version>8</version><enclosure url="https://example.org/k.deb" length="10"/>)")));
}

TEST(Appcast, AcceptsAChannelWithoutItems) {
    EXPECT_TRUE(parsed("<rss><channel><title>Kelo</title></channel></rss>").empty());
}

TEST(Appcast, RefusesMalformedXml) {
    EXPECT_TRUE(isError("<rss><channel><item></channel></rss>"));
    EXPECT_TRUE(isError("not xml at all"));
    EXPECT_TRUE(isError(""));
    EXPECT_TRUE(isError("<rss><channel></channel></rss><rss/>"));
    EXPECT_TRUE(isError("<rss><channel><item><sparkle:version>1</sparkle:version></item>"
                        "</channel></rss>"));
}

TEST(Appcast, RefusesAFeedThatIsNotRss) {
    EXPECT_TRUE(isError("<feed><channel/></feed>"));
    EXPECT_TRUE(isError("<rss><title>no channel</title></rss>"));
}

TEST(Appcast, RefusesAnItemWithoutEnclosure) {
    EXPECT_TRUE(isError(feedWithItem("<sparkle:version>2</sparkle:version>")));
    EXPECT_TRUE(
        isError(feedWithItem(R"(<sparkle:version>2</sparkle:version><enclosure length="10"/>)")));
    EXPECT_TRUE(isError(
        feedWithItem(R"(<sparkle:version>2</sparkle:version><enclosure url="" length="10"/>)")));
}

TEST(Appcast, RefusesAnItemWithoutVersion) {
    EXPECT_TRUE(
        isError(feedWithItem(R"(<enclosure url="https://example.org/k.deb" length="10"/>)")));
}

TEST(Appcast, RefusesAnEnclosureWithoutAPositiveLength) {
    for (const char *length : {R"()", R"(length="0")", R"(length="-5")", R"(length="12kB")",
                               R"(length="")", R"(length="99999999999999999999999")"}) {
        EXPECT_TRUE(isError(feedWithItem(
            QByteArray(R"(<sparkle:version>2</sparkle:version><enclosure url="https://e.org/k" )") +
            length + "/>")))
            << length;
    }
}

TEST(Appcast, RefusesAnOversizeFeed) {
    EXPECT_TRUE(isError(realisticFeed, realisticFeed.size() - 1));
    EXPECT_FALSE(isError(realisticFeed, realisticFeed.size()));
    QByteArray huge = realisticFeed;
    huge.insert(huge.indexOf("<channel>"), QByteArray((1 << 20) + 1, ' '));
    EXPECT_TRUE(isError(huge));
}

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
        const int changes = random.bounded(1, 8);
        for (int change = 0; change < changes; ++change) {
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

TEST(VersionComparison, OrdersLikeSparkle) {
    EXPECT_GT(compareVersions("1.10", "1.9"), 0);
    EXPECT_LT(compareVersions("1.9", "1.10"), 0);
    EXPECT_EQ(compareVersions("1.0", "1.0"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0"), 0);
    EXPECT_LT(compareVersions("1.0", "1.0.1"), 0);
    EXPECT_LT(compareVersions("1.0b2", "1.0"), 0);
    EXPECT_GT(compareVersions("1.0", "1.0b2"), 0);
    EXPECT_LT(compareVersions("1.0b2", "1.0b10"), 0);
    EXPECT_LT(compareVersions("1.0a1", "1.0b1"), 0);
    EXPECT_GT(compareVersions("2", "1.9.9"), 0);
    EXPECT_GT(compareVersions("1.0.0.1", "1.0"), 0);
    EXPECT_LT(compareVersions("1.0.0b1", "1.0"), 0);
    EXPECT_GT(compareVersions("1.0.1", "1.0b5"), 0);
    EXPECT_GT(compareVersions("1.1", "1a"), 0);
    EXPECT_GT(compareVersions("1.2.3", "1.2b"), 0);
}

TEST(VersionComparison, TreatsTrailingZerosAsTheSameVersion) {
    EXPECT_EQ(compareVersions("1.0", "1.0.0"), 0);
    EXPECT_EQ(compareVersions("1.0.0", "1.0"), 0);
    EXPECT_EQ(compareVersions("1", "1.0.00"), 0);
    EXPECT_EQ(compareVersions("01.2", "1.2"), 0);
}

TEST(VersionComparison, HandlesUnusualInput) {
    EXPECT_EQ(compareVersions("", ""), 0);
    EXPECT_LT(compareVersions("", "1"), 0);
    EXPECT_GT(compareVersions("123456789012345678901234567890", "99999999999999999999"), 0);
    EXPECT_EQ(compareVersions("1..2", "1..2"), 0);
    EXPECT_EQ(compareVersions("ü", "ü"), 0);
}

namespace {

struct Keys {
    QByteArray publicKey;
    QByteArray secretKey;
};

Keys makeKeys() {
    EXPECT_GE(sodium_init(), 0);
    Keys keys{QByteArray(crypto_sign_PUBLICKEYBYTES, '\0'),
              QByteArray(crypto_sign_SECRETKEYBYTES, '\0')};
    crypto_sign_keypair(reinterpret_cast<unsigned char *>(keys.publicKey.data()),
                        reinterpret_cast<unsigned char *>(keys.secretKey.data()));
    return keys;
}

QByteArray sign(const QByteArray &data, const QByteArray &secretKey) {
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char *>(signature.data()), nullptr,
                         reinterpret_cast<const unsigned char *>(data.constData()),
                         static_cast<unsigned long long>(data.size()),
                         reinterpret_cast<const unsigned char *>(secretKey.constData()));
    return signature;
}

} // namespace

TEST(Ed25519, AcceptsAGoodSignature) {
    const Keys keys = makeKeys();
    const QByteArray data = "Kelo 1.10 for Debian";
    const QByteArray signature = sign(data, keys.secretKey);
    EXPECT_TRUE(verifyEd25519(data, signature.toBase64(), keys.publicKey.toBase64()));
    EXPECT_TRUE(verifyEd25519(data, " " + signature.toBase64() + "\n", keys.publicKey.toBase64()));
    EXPECT_TRUE(verifyEd25519({}, sign({}, keys.secretKey).toBase64(), keys.publicKey.toBase64()));
}

TEST(Ed25519, RefusesChangedDataOrSignature) {
    const Keys keys = makeKeys();
    const QByteArray data = "Kelo 1.10 for Debian";
    const QByteArray signature = sign(data, keys.secretKey);
    for (qsizetype i = 0; i < data.size(); ++i) {
        QByteArray changed = data;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        EXPECT_FALSE(verifyEd25519(changed, signature.toBase64(), keys.publicKey.toBase64())) << i;
    }
    for (qsizetype i = 0; i < signature.size(); ++i) {
        QByteArray changed = signature;
        changed[i] = static_cast<char>(changed[i] ^ 0x80);
        EXPECT_FALSE(verifyEd25519(data, changed.toBase64(), keys.publicKey.toBase64())) << i;
    }
    EXPECT_FALSE(verifyEd25519(data + "x", signature.toBase64(), keys.publicKey.toBase64()));
}

TEST(Ed25519, RefusesTheWrongKey) {
    const Keys keys = makeKeys();
    const Keys other = makeKeys();
    const QByteArray data = "Kelo";
    EXPECT_FALSE(
        verifyEd25519(data, sign(data, keys.secretKey).toBase64(), other.publicKey.toBase64()));
}

TEST(Ed25519, RefusesBadBase64AndWrongSizes) {
    const Keys keys = makeKeys();
    const QByteArray data = "Kelo";
    const QByteArray signature = sign(data, keys.secretKey).toBase64();
    const QByteArray key = keys.publicKey.toBase64();
    EXPECT_FALSE(verifyEd25519(data, "!!" + signature, key));
    EXPECT_FALSE(verifyEd25519(data, signature, "@" + key));
    EXPECT_FALSE(verifyEd25519(data, "", key));
    EXPECT_FALSE(verifyEd25519(data, signature, ""));
    EXPECT_FALSE(verifyEd25519(data, sign(data, keys.secretKey).left(63).toBase64(), key));
    EXPECT_FALSE(verifyEd25519(data, (sign(data, keys.secretKey) + "x").toBase64(), key));
    EXPECT_FALSE(verifyEd25519(data, signature, keys.publicKey.left(31).toBase64()));
    EXPECT_FALSE(verifyEd25519(data, signature, (keys.publicKey + "x").toBase64()));
    EXPECT_FALSE(verifyEd25519(data, signature, keys.secretKey.toBase64()));
}
