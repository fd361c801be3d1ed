#include "Resources.h"

#include <QtGlobal>

#include <mutex>

// Q_INIT_RESOURCE declares the initialiser rcc generated for resources.qrc in the scope it is
// used in, so it has to be called from outside any namespace.
static void registerBundledResources() {
    Q_INIT_RESOURCE(resources);
}

namespace kelo {

void initKeloResources() {
    static std::once_flag once;
    std::call_once(once, registerBundledResources);
}

} // namespace kelo
