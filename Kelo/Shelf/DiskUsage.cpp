#include "DiskUsage.h"

#include "ShelfOrder.h"

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_set>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kelo {
namespace {

using Clock = std::chrono::steady_clock;

// Results reach the window at most this often while the worker is busy.
constexpr auto batchInterval = std::chrono::milliseconds(50);

// What says an item is still the one that was measured. A folder's own times change when an
// entry directly inside it comes or goes; a change deeper down is seen the next time the item
// itself changes.
struct Signature {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    off_t length = 0;
    timespec modified{};
    timespec changed{};
    bool exists = false;

    bool operator==(const Signature &other) const {
        return exists == other.exists && device == other.device && inode == other.inode &&
               mode == other.mode && length == other.length &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

Signature signatureOf(const std::string &item) {
    struct stat status {};
    Signature signature;
    if (::lstat(item.c_str(), &status) != 0)
        return signature;
    signature.exists = true;
    signature.device = status.st_dev;
    signature.inode = status.st_ino;
    signature.mode = status.st_mode;
    signature.length = status.st_size;
    signature.modified = status.st_mtim;
    signature.changed = status.st_ctim;
    return signature;
}

} // namespace

class DiskUsage::Worker {
public:
    explicit Worker(DiskUsage &owner) : m_owner(&owner) {
        m_thread = std::thread([this] { run(); });
    }

    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
            m_generation.fetch_add(1);
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The consumers' lists as they are: the worker merges them.
    void setWanted(std::vector<Paths> lists, unsigned long long generation) {
        {
            // Counted under the lock: counted after it, the worker could test the count between
            // the two and then sleep through the notification.
            std::lock_guard lock(m_mutex);
            m_wantedLists = std::move(lists);
            m_wantedGeneration = generation;
            m_generation.fetch_add(1);
        }
        m_changed.notify_all();
    }

private:
    void run() {
        // Sizing is background work: the lowest CPU priority and the idle I/O class.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
        constexpr int ioprioWhoProcess = 1, ioprioClassIdle = 3, ioprioClassShift = 13;
        ::syscall(SYS_ioprio_set, ioprioWhoProcess, ::gettid(),
                  ioprioClassIdle << ioprioClassShift);
        unsigned long long seen = 0;
        while (true) {
            std::vector<Paths> lists;
            unsigned long long generation = 0;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_stopping || m_generation.load() != seen; });
                if (m_stopping)
                    return;
                seen = m_generation.load();
                lists = m_wantedLists;
                generation = m_wantedGeneration;
            }
            measure(merged(lists), generation, seen);
        }
    }

    // The items of all lists, each once, in the order they are first wanted.
    static std::vector<const std::string *> merged(const std::vector<Paths> &lists) {
        std::vector<const std::string *> items;
        if (lists.size() == 1) {
            items.reserve(lists.front()->size());
            for (const auto &item : *lists.front())
                items.push_back(&item);
            return items;
        }
        std::unordered_set<std::string_view> seen;
        for (const auto &list : lists)
            for (const auto &item : *list)
                if (seen.insert(item).second)
                    items.push_back(&item);
        return items;
    }

    // Measures what is wanted, handing results over in batches; gives up on a list that was
    // replaced, keeping what it measured of items still wanted. An item that did not change is
    // handed over too, with the size it had: the owner learns that it is still right.
    void measure(const std::vector<const std::string *> &items, unsigned long long generation,
                 unsigned long long seen) {
        std::vector<Measured> batch;
        auto lastSent = Clock::now();
        for (const std::string *wanted : items) {
            const std::string &item = *wanted;
            if (m_generation.load() != seen)
                return hand(std::move(batch), false, generation);
            const Signature signature = signatureOf(item);
            auto known = m_known.find(item);
            if (known == m_known.end() || !(known->second.signature == signature)) {
                const auto bytes = signature.exists
                                       ? allocatedSize(item, [&] { return unwanted(item, seen); })
                                       : std::optional<std::int64_t>(0);
                if (!bytes)
                    continue;
                known = m_known.insert_or_assign(item, Known{signature, *bytes}).first;
            }
            batch.push_back({item, known->second.bytes});
            if (Clock::now() - lastSent >= batchInterval) {
                hand(std::move(batch), false, generation);
                batch.clear();
                lastSent = Clock::now();
            }
        }
        hand(std::move(batch), true, generation);
    }

    // True when the wanted list changed and no longer holds `item`, or the usage is going away.
    bool unwanted(const std::string &item, unsigned long long seen) {
        const unsigned long long now = m_generation.load();
        if (now == seen || now == m_stillWantedIn)
            return false;
        // Looked up here, on the worker, rather than indexed where the list is handed over on
        // the main thread; the answer holds until the list changes again.
        std::lock_guard lock(m_mutex);
        if (m_stopping ||
            std::none_of(m_wantedLists.begin(), m_wantedLists.end(), [&](const Paths &list) {
                return std::find(list->begin(), list->end(), item) != list->end();
            }))
            return true;
        m_stillWantedIn = now;
        return false;
    }

    void hand(std::vector<Measured> batch, bool done, unsigned long long generation) {
        if (batch.empty() && !done)
            return;
        // Queued to the main thread; dropped there if the usage is gone by then.
        QMetaObject::invokeMethod(
            m_owner,
            [owner = m_owner, batch = std::move(batch), done, generation]() mutable {
                owner->receive(std::move(batch), done, generation);
            },
            Qt::QueuedConnection);
    }

    struct Known {
        Signature signature;
        std::int64_t bytes = 0;
    };

    DiskUsage *m_owner;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<unsigned long long> m_generation{0};
    bool m_stopping = false;
    std::vector<Paths> m_wantedLists;
    // The last list in which the item being measured was found still wanted.
    unsigned long long m_stillWantedIn = 0;
    unsigned long long m_wantedGeneration = 0;
    // Worker thread only.
    std::unordered_map<std::string, Known> m_known;
};

DiskUsage::DiskUsage(QObject *parent) : QObject(parent) {
}

DiskUsage::~DiskUsage() = default;

void DiskUsage::want(const QObject *consumer, const std::vector<std::filesystem::path> &items) {
    auto wanted = std::make_shared<std::vector<std::string>>();
    wanted->reserve(items.size());
    for (const auto &item : items)
        wanted->push_back(item.native());
    wantShared(consumer, std::move(wanted));
}

void DiskUsage::wantShared(const QObject *consumer, Paths items) {
    if (items && items->empty())
        items.reset();
    const auto found = m_wanted.find(consumer);
    if (found == m_wanted.end()
            ? !items
            : items && (found->second.items == items || *found->second.items == *items))
        return;

    // What this consumer did not want before is checked again for it, in the list sent next.
    // An item never measured needs no mark: it is not known until its first size comes in.
    if (items && !m_sizes.empty()) {
        std::unordered_set<std::string_view> before;
        if (found != m_wanted.end())
            before.insert(found->second.items->begin(), found->second.items->end());
        for (const auto &item : *items) {
            if (before.contains(item))
                continue;
            if (const auto known = m_sizes.find(item); known != m_sizes.end())
                known->second.needed = m_generation + 1;
        }
    }

    if (!items) {
        disconnect(found->second.destroyed);
        m_wanted.erase(found);
    } else if (found == m_wanted.end()) {
        const auto destroyed = connect(consumer, &QObject::destroyed, this, [this, consumer] {
            if (m_wanted.erase(consumer))
                sendWanted();
        });
        m_wanted.emplace(consumer, Consumer{std::move(items), destroyed});
    } else {
        found->second.items = std::move(items);
    }
    sendWanted();
}

void DiskUsage::sendWanted() {
    // The lists as they are; merging them is the worker's.
    std::vector<Paths> lists;
    lists.reserve(m_wanted.size());
    for (const auto &[consumer, wanted] : m_wanted)
        lists.push_back(wanted.items);
    ++m_generation;
    m_busy = !lists.empty();
    if (!m_worker && lists.empty())
        return;
    if (!m_worker)
        m_worker = std::make_unique<Worker>(*this);
    m_worker->setWanted(std::move(lists), m_generation);
}

void DiskUsage::receive(std::vector<Measured> batch, bool done, unsigned long long generation) {
    bool changed = false;
    std::vector<std::string> resized;
    for (auto &measured : batch) {
        const auto [entry, inserted] = m_sizes.try_emplace(measured.item);
        Known &known = entry->second;
        // First learnt now, perhaps from a list replaced since: current once a list as new as
        // the latest has checked it.
        if (inserted)
            known.needed = m_generation;
        const bool wasCurrent = known.current();
        const bool sizeChanged = known.bytes != measured.bytes;
        known.bytes = measured.bytes;
        known.checked = std::max(known.checked, generation);
        changed = changed || sizeChanged || known.current() != wasCurrent;
        if (sizeChanged)
            resized.push_back(std::move(measured.item));
    }
    // A finished list that has been replaced meanwhile says nothing about the new one.
    const bool finished = done && generation == m_generation && m_busy;
    if (finished)
        m_busy = false;
    if (changed || finished)
        emit sizesChanged(resized);
}

std::optional<std::int64_t> DiskUsage::size(const std::filesystem::path &item) const {
    return size(item.native());
}

std::optional<std::int64_t> DiskUsage::size(const std::string &item) const {
    const auto found = m_sizes.find(item);
    if (found == m_sizes.end())
        return std::nullopt;
    return found->second.bytes;
}

bool DiskUsage::allKnown(const std::vector<std::filesystem::path> &items) const {
    for (const auto &item : items) {
        const auto found = m_sizes.find(item.native());
        if (found == m_sizes.end() || !found->second.current())
            return false;
    }
    return true;
}

} // namespace kelo
