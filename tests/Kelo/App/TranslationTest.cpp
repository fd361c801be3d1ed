// The translations built into Kelo: which language a user gets, the English texts, and that
// every text in the code has an English translation.
#include "Translation.h"
#include "FreshnessStyle.h"
#include "Subprocess.h"
#include "TemporaryFolder.h"
#include "Term.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace {

using kelo::interfaceLanguage;
using kelo::Language;

// The first of Dutch and English the user prefers; English when neither is listed.
TEST(InterfaceLanguage, TheFirstOfDutchAndEnglishElseEnglish) {
    for (const char *tags : {"nl-NL", "nl_BE", "NL", "nl-NL,en-US", "fy-NL,nl-NL,en"})
        EXPECT_EQ(interfaceLanguage(QString::fromLatin1(tags).split(u',')), Language::dutch)
            << tags;
    // "nds" is not Dutch, however close.
    for (const char *tags : {"en-GB,nl-NL", "en", "de-DE,en-US,nl", "de-DE,fr-FR", "C", "nds-NL"})
        EXPECT_EQ(interfaceLanguage(QString::fromLatin1(tags).split(u',')), Language::english)
            << tags;
    EXPECT_EQ(interfaceLanguage({}), Language::english);
}

class EnglishTranslation : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_english.load(QStringLiteral(":/i18n/kelo_en.qm"))); }
    QTranslator m_english;
};

// Without a translation the texts are the Dutch ones the rest of Kelo uses.
TEST(DutchTexts, DaysLeftAndTermsAsEverywhereElse) {
    for (int days = -400; days <= 400; ++days)
        EXPECT_EQ(kelo::daysLeftLabel(days), QString::fromStdString(kelo::daysLeftText(days)));
    for (const kelo::Term term : kelo::allTerms) {
        const auto dutch = kelo::label(term);
        EXPECT_EQ(kelo::termLabel(term),
                  QString::fromUtf8(dutch.data(), static_cast<qsizetype>(dutch.size())));
    }
}

TEST_F(EnglishTranslation, KnownTexts) {
    const std::tuple<const char *, const char *, const char *> texts[] = {
        {"kelo::TrayMenu", "Schap openen", "Open Shelf"},
        {"kelo::TrayMenu", "Stop Kelo", "Quit Kelo"},
        {"kelo::TrayMenu", "%1 over de datum", "%1 expired"},
        {"kelo::ShelfWindow", "Alles is nog vers", "Everything is still fresh"},
        {"kelo::ShelfWindow", "Kelo", "Kelo"}};
    for (const auto &[context, dutch, english] : texts)
        EXPECT_EQ(m_english.translate(context, dutch), QString::fromUtf8(english)) << dutch;

    QCoreApplication::installTranslator(&m_english);
    EXPECT_EQ(kelo::daysLeftLabel(12), QStringLiteral("12 days left"));
    EXPECT_EQ(kelo::daysLeftLabel(1), QStringLiteral("1 day left"));
    EXPECT_EQ(kelo::daysLeftLabel(0), QStringLiteral("expired today"));
    EXPECT_EQ(kelo::daysLeftLabel(-1), QStringLiteral("expired yesterday"));
    EXPECT_EQ(kelo::daysLeftLabel(-3), QStringLiteral("expired 3 days ago"));
    EXPECT_EQ(kelo::termLabel(kelo::Term::threeMonths), QStringLiteral("3 months"));
    EXPECT_EQ(kelo::sectionTitle(kelo::Freshness::expired), QStringLiteral("Expired"));
    QCoreApplication::removeTranslator(&m_english);
}

// Collects the texts from the code as it is now, so a text added without its English fails here.
TEST_F(EnglishTranslation, EveryTextInTheCodeHasOne) {
    TemporaryFolder folder;
    const std::string collected = (folder.path() / "collected.ts").string();
    const auto lupdate = runProcess({KELO_LUPDATE, "-source-language", "nl", "-target-language",
                                     "en", "-locations", "none", KELO_SOURCES, "-ts", collected});
    ASSERT_EQ(lupdate.exitCode, 0) << lupdate.err;
    QFile file(QString::fromStdString(collected));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QByteArray context, source, comment;
    bool numerus = false;
    int found = 0;
    QStringList missing;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"message") {
            numerus = xml.attributes().value("numerus") == u"yes";
            source.clear();
            comment.clear();
        } else if (xml.isStartElement()) {
            QByteArray *text = xml.name() == u"name"      ? &context
                               : xml.name() == u"source"  ? &source
                               : xml.name() == u"comment" ? &comment
                                                          : nullptr;
            if (text)
                *text = xml.readElementText().toUtf8();
        } else if (xml.isEndElement() && xml.name() == u"message") {
            ++found;
            for (const int n : numerus ? std::vector<int>{1, 2} : std::vector<int>{-1}) {
                if (m_english
                        .translate(context, source,
                                   comment.isEmpty() ? nullptr : comment.constData(), n)
                        .isEmpty()) {
                    missing.append(QString::fromUtf8(context + ": " + source));
                    break;
                }
            }
        }
    }
    EXPECT_GT(found, 0);
    EXPECT_TRUE(missing.isEmpty())
        << "no English yet (run `make translations`, then translate in " KELO_ENGLISH_TS "):\n"
        << missing.join(QLatin1Char('\n')).toStdString();
}

} // namespace
