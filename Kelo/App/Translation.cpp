#include "Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>

namespace kelo {
namespace {

// "nl" of "nl-NL", "nl_BE" or "NL".
QString primaryLanguage(const QString &tag) {
    static const QRegularExpression separator(QStringLiteral("[-_.@]"));
    return tag.section(separator, 0, 0).toLower();
}

void install(QCoreApplication &application, const QString &name, const QString &folder) {
    auto *translator = new QTranslator(&application);
    if (translator->load(name, folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

Language interfaceLanguage(const QStringList &uiLanguages) {
    for (const QString &tag : uiLanguages) {
        const QString language = primaryLanguage(tag);
        if (language == QLatin1String("nl"))
            return Language::dutch;
        if (language == QLatin1String("en"))
            return Language::english;
    }
    return Language::english;
}

void installTranslation(QCoreApplication &application) {
    const QString code = interfaceLanguage(QLocale::system().uiLanguages()) == Language::dutch
                             ? QStringLiteral("nl")
                             : QStringLiteral("en");
    install(application, QStringLiteral("kelo_") + code, QStringLiteral(":/i18n"));
    install(application, QStringLiteral("qtbase_") + code,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace kelo
