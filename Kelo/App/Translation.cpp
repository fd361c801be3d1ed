#include "Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace kelo {
namespace {

void install(QCoreApplication &application, const QString &name, const QString &folder) {
    auto *translator = new QTranslator(&application);
    if (translator->load(name, folder))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

void installTranslation(QCoreApplication &application) {
    const QString code =
        messageLanguage() == Language::dutch ? QStringLiteral("nl") : QStringLiteral("en");
    install(application, QStringLiteral("kelo_") + code, QStringLiteral(":/i18n"));
    install(application, QStringLiteral("qtbase_") + code,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

} // namespace kelo
