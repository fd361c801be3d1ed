#pragma once

#include "Language.h"

class QCoreApplication;

namespace kelo {

// Installs the translations for the language of the user's messages, the one the file-manager
// menus speak too (messageLanguage()): Kelo's own (for Dutch only the plural forms), and Qt's,
// for the texts of standard buttons and dialogs, where the system has them.
void installTranslation(QCoreApplication &application);

} // namespace kelo
