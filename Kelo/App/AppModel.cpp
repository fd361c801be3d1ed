#include "AppModel.h"

#include "IndexCache.h"
#include "Log.h"
#include "SearchScope.h"
#include "TagQuery.h"

namespace kelo {

AppModel::AppModel() : AppModel(userIndexOptions()) {
}

AppModel::AppModel(TagIndex::Options options)
    : m_shelf(
          std::make_unique<Shelf>(std::make_unique<TagQuery>(std::move(options)), m_presenter)) {
}

AppModel::~AppModel() = default;

TagIndex::Options AppModel::userIndexOptions() {
    TagIndex::Options options;
    options.scope = currentSearchScope();
    options.cacheFile = defaultIndexCacheFile();
    options.log = [](std::string_view line) { log(line); };
    return options;
}

} // namespace kelo
