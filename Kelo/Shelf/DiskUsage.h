#pragma once

#include <QObject>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kelo {

// The allocated sizes of shelf items (allocatedSize), measured on a thread of their own so that
// a folder of a million files never stalls the window. A size is kept until the item itself
// changes (another file at the path, a new length, modification or change time) and is measured
// again only when it is wanted after that. Consumers say which items they want; an item a
// consumer newly wants is checked against the disk again before it counts as known, and a
// measurement that nobody wants any longer is cancelled. Main thread only, apart from the worker
// inside.
class DiskUsage : public QObject {
    Q_OBJECT

public:
    // Paths, shared with the worker as they are: a list must not change once it is handed over.
    using Paths = std::shared_ptr<const std::vector<std::string>>;

    explicit DiskUsage(QObject *parent = nullptr);
    ~DiskUsage() override;

    // Replaces what `consumer` wants measured; an empty list wants nothing. A consumer that is
    // destroyed wants nothing any more. Items already known are not measured again unless they
    // changed on disk since.
    void want(const QObject *consumer, const std::vector<std::filesystem::path> &items);
    // The same for a list made elsewhere, without a copy of it.
    void wantShared(const QObject *consumer, Paths items);

    // The size of an item as last measured, or none while it was never measured. While an item
    // is being checked again this is the size it had before.
    std::optional<std::int64_t> size(const std::filesystem::path &item) const;
    std::optional<std::int64_t> size(const std::string &item) const;
    // Whether every one of `items` has a size, checked against the disk since a consumer last
    // began to want it: a size kept from long ago is not taken for a current one.
    bool allKnown(const std::vector<std::filesystem::path> &items) const;
    // Whether anything wanted is still being measured.
    bool busy() const { return m_busy; }

signals:
    // Sizes were measured or confirmed, or the worker finished what was wanted. `changed` holds
    // the items whose size is new or different: a consumer of a long list need look at no other.
    // Main thread.
    void sizesChanged(const std::vector<std::string> &changed);

private:
    class Worker;
    struct Measured {
        std::string item;
        std::int64_t bytes;
    };
    struct Known {
        std::optional<std::int64_t> bytes;
        // The generation of the wanted list the size was last checked for, and the one that
        // last newly wanted the item: the size is current when the first is not the earlier.
        unsigned long long checked = 0;
        unsigned long long needed = 0;
        bool current() const { return bytes && checked >= needed; }
    };
    struct Consumer {
        Paths items;
        QMetaObject::Connection destroyed;
    };
    void receive(std::vector<Measured> batch, bool done, unsigned long long generation);
    void sendWanted();

    std::unordered_map<std::string, Known> m_sizes;
    std::map<const QObject *, Consumer> m_wanted;
    unsigned long long m_generation = 0;
    bool m_busy = false;
    std::unique_ptr<Worker> m_worker;
};

} // namespace kelo
