#include "Shelf.h"

#include "Clock.h"
#include "DiskUsage.h"
#include "ErrorPresenter.h"
#include "ExpiryStamp.h"
#include "ShelfOrder.h"
#include "StampReader.h"
#include "TagQuery.h"
#include "Trash.h"

#include <QGuiApplication>

#include <algorithm>
#include <numeric>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace kelo {

Shelf::Action Shelf::extend(std::filesystem::path path, Term term) {
    return [path = std::move(path), term] {
        const Calendar calendar = Calendar::current();
        return writeStamp(expiryDate(term, Clock::now(), calendar), path, calendar);
    };
}

Shelf::Action Shelf::keepForever(std::filesystem::path path) {
    return [path = std::move(path)] { return clearStamp(path); };
}

Shelf::Action Shelf::moveToTrash(std::filesystem::path path) {
    return [path = std::move(path)] { return kelo::moveToTrash(path); };
}

Shelf::Shelf(std::unique_ptr<TagQuery> query, ErrorPresenter &presenter, QObject *parent)
    : QObject(parent), m_query(std::move(query)), m_diskUsage(std::make_unique<DiskUsage>()),
      m_presenter(presenter), m_items(std::make_shared<std::vector<Item>>()) {
    connect(m_query.get(), &TagQuery::finishedGathering, this, &Shelf::update);
    // Queued: enabling updates at the end of a reload may signal at once.
    connect(m_query.get(), &TagQuery::updated, this, &Shelf::update, Qt::QueuedConnection);
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::applicationStateChanged, this,
                &Shelf::applicationStateChanged);
    m_query->startQuery();
}

Shelf::~Shelf() = default;

void Shelf::applicationStateChanged(Qt::ApplicationState state) {
    if (state != Qt::ApplicationActive)
        return;
    m_query->rescanUnwatched();
    // The index vouches for every date where it watches; the rest the update reads anew.
    update();
}

void Shelf::reload() {
    load(true);
}

void Shelf::update() {
    load(false);
}

namespace {

// The place of `path` in the index's results, which are in byte order.
std::optional<size_t> indexOf(const TagIndex::Paths &paths, std::string_view path) {
    const auto at = std::lower_bound(paths.begin(), paths.end(), path);
    if (at == paths.end() || *at != path)
        return std::nullopt;
    return static_cast<size_t>(at - paths.begin());
}

// Shelf order, with each name's key made once.
struct Keyed {
    Shelf::Item item;
    std::string name;
};
Keyed keyed(Shelf::Item item) {
    std::string name = shelfNameKey(item.fileName());
    return {std::move(item), std::move(name)};
}
bool before(const Keyed &a, const Keyed &b) {
    if (a.item.date != b.item.date)
        return a.item.date < b.item.date;
    if (a.name != b.name)
        return a.name < b.name;
    return a.item.path < b.item.path;
}

} // namespace

void Shelf::load(bool readEveryStamp) {
    // Until the first gathering is done the results are no answer yet: an empty list would
    // read as "nothing is stamped" (and a weekly check would find nothing expired).
    if (!m_query->gathered())
        return;
    m_query->disableUpdates();
    const auto found = m_query->found();
    std::optional<std::vector<std::string>> paths;
    if (!readEveryStamp && m_version)
        paths = m_query->changes(*m_version, found.version);
    if (paths) {
        // Dates the index cannot vouch for are read again at every update, changed or not.
        const size_t logged = paths->size();
        for (size_t i = 0; i < found.stamps->size(); ++i)
            if ((*found.stamps)[i].empty())
                paths->push_back((*found.paths)[i]);
        if (paths->size() > logged) {
            std::sort(paths->begin(), paths->end());
            paths->erase(std::unique(paths->begin(), paths->end()), paths->end());
        }
    }
    if (!paths)
        setItems(rebuilt(found, readEveryStamp));
    else if (!paths->empty())
        setItems(changed(found, *paths));
    m_version = found.version;
    if (!m_loaded) {
        m_loaded = true;
        emit loadedChanged();
    }
    if (m_reviewWhenLoaded) {
        m_reviewWhenLoaded = false;
        requestReview();
    }
    m_query->enableUpdates();
}

std::vector<Shelf::Item> Shelf::rebuilt(const TagIndex::Found &found, bool readEveryStamp) {
    const TagIndex::Paths &paths = *found.paths;
    const TagIndex::Stamps &values = *found.stamps;
    const Calendar calendar = Calendar::current();
    std::vector<std::optional<Instant>> stamps(paths.size());
    // The values the index read, each distinct one parsed once: most files share their dates.
    std::unordered_map<std::string_view, std::optional<Instant>> parsed;
    std::vector<std::filesystem::path> unknown;
    std::vector<size_t> unknownAt;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (readEveryStamp || i >= values.size() || values[i].empty()) {
            unknown.push_back(paths[i]);
            unknownAt.push_back(i);
            continue;
        }
        auto [entry, added] = parsed.try_emplace(values[i]);
        if (added)
            entry->second = parseStampValue(values[i], calendar);
        stamps[i] = entry->second;
    }
    if (!unknown.empty()) {
        const auto read = readStamps(unknown, calendar);
        for (size_t k = 0; k < unknown.size(); ++k)
            stamps[unknownAt[k]] = read[k];
    }
    std::vector<Item> items;
    items.reserve(paths.size());
    for (size_t i = 0; i < paths.size(); ++i)
        if (stamps[i])
            items.push_back({paths[i], *stamps[i]});
    sortIntoShelfOrder(items);
    return items;
}

// The items with `paths` taken out and put back as the index now has them: the cost follows
// the change, apart from one pass over the list.
std::vector<Shelf::Item> Shelf::changed(const TagIndex::Found &found,
                                        const std::vector<std::string> &paths) {
    const Calendar calendar = Calendar::current();
    std::vector<Keyed> joined;
    std::vector<std::filesystem::path> unknown;
    for (const auto &path : paths) {
        const auto at = indexOf(*found.paths, path);
        if (!at)
            continue;
        const std::string &value = (*found.stamps)[*at];
        if (value.empty())
            unknown.emplace_back(path);
        else if (const auto date = parseStampValue(value, calendar))
            joined.push_back(keyed({path, *date}));
    }
    if (!unknown.empty()) {
        const auto read = readStamps(unknown, calendar);
        for (size_t k = 0; k < unknown.size(); ++k)
            if (read[k])
                joined.push_back(keyed({std::move(unknown[k]), *read[k]}));
    }
    std::sort(joined.begin(), joined.end(), before);

    std::vector<Item> items;
    if (m_items.use_count() == 1)
        items = std::move(*m_items);
    else
        items = *m_items;
    const std::unordered_set<std::string_view> gone(paths.begin(), paths.end());
    std::erase_if(items, [&](const Item &item) { return gone.contains(item.path); });

    std::vector<Item> merged;
    merged.reserve(items.size() + joined.size());
    auto next = items.begin();
    for (auto &each : joined) {
        // Past every item that sorts before it, comparing names only where the dates are equal.
        const auto at =
            std::upper_bound(next, items.end(), each, [](const Keyed &a, const Item &b) {
                if (a.item.date != b.date)
                    return a.item.date < b.date;
                const std::string name = shelfNameKey(b.fileName());
                return a.name != name ? a.name < name : a.item.path < b.path;
            });
        merged.insert(merged.end(), std::make_move_iterator(next), std::make_move_iterator(at));
        merged.push_back(std::move(each.item));
        next = at;
    }
    merged.insert(merged.end(), std::make_move_iterator(next),
                  std::make_move_iterator(items.end()));
    return merged;
}

void Shelf::setItems(std::vector<Item> items) {
    m_items = std::make_shared<std::vector<Item>>(std::move(items));
    emit itemsChanged();
}

std::vector<Shelf::Item> Shelf::items(Freshness freshness) const {
    const auto found = run(freshness).items();
    return std::vector<Item>(found.begin(), found.end());
}

Shelf::Run Shelf::run(Freshness freshness) const {
    // The list is in date order and the class follows the date, so each class is one run of it,
    // bounded by the starts of the days 1, 8 and 32 days from today.
    const Calendar calendar = Calendar::current();
    const Instant today = calendar.startOfDay(Clock::now());
    auto dayStart = [&](int days) {
        return calendar.startOfDay(calendar.adding(today, DateComponent::Day, days));
    };
    const Instant bounds[] = {dayStart(1), dayStart(8), dayStart(32)};
    const auto index = static_cast<size_t>(freshness);
    auto byDate = [](const Item &item, Instant bound) { return item.date < bound; };
    const std::vector<Item> &items = *m_items;
    const auto begin =
        index == 0 ? items.begin()
                   : std::lower_bound(items.begin(), items.end(), bounds[index - 1], byDate);
    const auto end = index == 3
                         ? items.end()
                         : std::lower_bound(items.begin(), items.end(), bounds[index], byDate);
    const auto first = static_cast<std::size_t>(begin - items.begin());
    return {m_items, first, std::max(first, static_cast<std::size_t>(end - items.begin()))};
}

void Shelf::requestReview() {
    if (!m_loaded) {
        m_reviewWhenLoaded = true;
        return;
    }
    setReviewing(!run(Freshness::expired).empty());
}

void Shelf::setReviewing(bool reviewing) {
    if (m_reviewing == reviewing)
        return;
    m_reviewing = reviewing;
    emit reviewingChanged();
}

void Shelf::perform(const Action &action, const Item &item) {
    if (const auto error = action())
        m_presenter.present(*error, item.path);
    settle(std::span(&item, 1));
}

void Shelf::trash(const std::vector<Item> &items) {
    for (const auto &item : items)
        if (const auto error = moveToTrash(item.path)())
            m_presenter.present(*error, item.path);
    settle(items);
}

void Shelf::settle(std::span<const Item> acted) {
    // One new list for all of them, however many there were: a clean-up of thousands of files
    // must not copy and sort the shelf once per file.
    std::unordered_map<std::string, std::optional<Instant>> now;
    for (const auto &item : acted) {
        std::error_code ignored;
        now[item.path] =
            std::filesystem::exists(item.path, ignored) ? readStamp(item.path) : std::nullopt;
    }
    std::vector<Item> items;
    items.reserve(m_items->size());
    bool redated = false;
    for (const auto &each : *m_items) {
        const auto found = now.find(each.path);
        if (found == now.end()) {
            items.push_back(each);
        } else if (found->second) {
            redated = redated || each.date != *found->second;
            items.push_back({each.path, *found->second});
        }
    }
    if (redated)
        sortIntoShelfOrder(items);
    setItems(std::move(items));
}

void sortIntoShelfOrder(std::vector<Shelf::Item> &items) {
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const auto &item : items)
        names.push_back(shelfNameKey(item.fileName()));
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (items[a].date != items[b].date)
            return items[a].date < items[b].date;
        if (names[a] != names[b])
            return names[a] < names[b];
        return items[a].path < items[b].path;
    });
    std::vector<Shelf::Item> sorted;
    sorted.reserve(items.size());
    for (const size_t index : order)
        sorted.push_back(std::move(items[index]));
    items = std::move(sorted);
}

} // namespace kelo
