#pragma once

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Calendar.h"
#include "Error.h"
#include "Freshness.h"
#include "TagIndex.h"
#include "Term.h"

namespace kelo {

class DiskUsage;
class ErrorPresenter;
class TagQuery;

// The one model of every stamped file on the machine, rebuilt from the tag index whenever the
// index reports news and whenever Kelo comes to the front. Main thread only.
class Shelf : public QObject {
    Q_OBJECT

public:
    // One stamped file: its path is its identity. A plain byte string: a path kept as
    // std::filesystem::path also keeps a list of its parts, several times the memory.
    struct Item {
        std::string path;
        // The start of the expiry day, as readStamp gave it.
        Instant date;
        bool operator==(const Item &) const = default;
        // What follows the last '/'.
        std::string_view fileName() const {
            return std::string_view(path).substr(path.find_last_of('/') + 1);
        }
        std::filesystem::path folder() const { return std::filesystem::path(path).parent_path(); }
    };

    // An action on one file, bound to its arguments: it succeeds or gives an error.
    using Action = std::function<std::optional<Error>()>;
    static Action extend(std::filesystem::path path, Term term);
    static Action keepForever(std::filesystem::path path);
    static Action moveToTrash(std::filesystem::path path);

    // A run of the items as they were at one moment, shared rather than copied: the shelf never
    // changes a list once it has made it, so a run can be kept, and read on any thread, while
    // the shelf moves on.
    struct Run {
        std::shared_ptr<const std::vector<Item>> list;
        std::size_t begin = 0;
        std::size_t end = 0;

        std::span<const Item> items() const {
            return list ? std::span<const Item>(list->data() + begin, end - begin)
                        : std::span<const Item>();
        }
        std::size_t size() const { return end - begin; }
        bool empty() const { return begin == end; }
        // The same run of the same list: the same items, without looking at them.
        bool sameAs(const Run &other) const {
            return list == other.list && begin == other.begin && end == other.end;
        }
    };

    // Starts the query; the shelf loads when its first gathering is done.
    Shelf(std::unique_ptr<TagQuery> query, ErrorPresenter &presenter, QObject *parent = nullptr);
    ~Shelf() override;

    // Every stamped file, in shelf order: expiry date, then name.
    const std::vector<Item> &items() const { return *m_items; }
    // The items of one freshness class at this moment, in shelf order.
    std::vector<Item> items(Freshness freshness) const;
    // The same without a copy: found by date, whatever the number of items.
    Run run(Freshness freshness) const;
    bool loaded() const { return m_loaded; }
    bool reviewing() const { return m_reviewing; }
    bool reviewWhenLoaded() const { return m_reviewWhenLoaded; }
    TagQuery &query() { return *m_query; }
    // The sizes of items, measured in the background for the review and the reminder.
    DiskUsage &diskUsage() { return *m_diskUsage; }

    // The review opens (or, with nothing expired, closes); before the first load it waits.
    void requestReview();
    // The window's clean-up button sets it, dismissing the review clears it.
    void setReviewing(bool reviewing);

    // Rebuilds `items` from the query's results, reading every stamp anew from the files.
    void reload();
    // Brings `items` in line with the query's results, with the dates the index read; only the
    // stamps it cannot vouch for are read from the files. When the index can say what changed
    // since the last update, only that is looked at.
    void update();

    // The items of a whole set of results, in shelf order: with the dates the index read, and
    // the stamps it cannot vouch for (or, with `readEveryStamp`, all) read from the files.
    static std::vector<Item> rebuilt(const TagIndex::Found &found, bool readEveryStamp);

    // Runs the action, shows its error, and brings the item in line with the disk.
    void perform(const Action &action, const Item &item);
    // Moves the items to the Trash one by one; a failure does not stop the next.
    void trash(const std::vector<Item> &items);

public slots:
    void applicationStateChanged(Qt::ApplicationState state);

signals:
    void itemsChanged();
    void loadedChanged();
    void reviewingChanged();

private:
    void load(bool readEveryStamp);
    std::vector<Item> changed(const TagIndex::Found &found, const std::vector<std::string> &paths);
    // Brings the acted-on items in line with the disk: a new date, or gone.
    void settle(std::span<const Item> acted);
    void setItems(std::vector<Item> items);

    std::unique_ptr<TagQuery> m_query;
    std::unique_ptr<DiskUsage> m_diskUsage;
    ErrorPresenter &m_presenter;
    // Never changed once a run shares it: changed in place only while nobody else holds it.
    std::shared_ptr<std::vector<Item>> m_items;
    // The version of the index's results the items follow, if they follow one.
    std::optional<std::uint64_t> m_version;
    bool m_loaded = false;
    bool m_reviewing = false;
    bool m_reviewWhenLoaded = false;
};

// Sorts items into shelf order: by date, then by name in Unicode scalar order (NFC), then by
// path.
void sortIntoShelfOrder(std::vector<Shelf::Item> &items);

} // namespace kelo
