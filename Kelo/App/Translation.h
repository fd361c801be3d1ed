#pragma once

#include <QStringList>

class QCoreApplication;

namespace kelo {

// Kelo is written in Dutch and translated into English.
enum class Language { dutch, english };

// The language for someone whose desktop lists these languages, most preferred first (as
// QLocale::uiLanguages() does): Dutch or English, whichever comes first, and English when the
// list has neither, as the language more people read than Dutch.
Language interfaceLanguage(const QStringList &uiLanguages);

// Installs the translations for the user's language: Kelo's own (for Dutch only the plural
// forms), and Qt's, for the texts of standard buttons and dialogs, where the system has them.
void installTranslation(QCoreApplication &application);

} // namespace kelo
