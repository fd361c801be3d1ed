#pragma once

#include <QObject>
#include <QTimer>

#include <optional>

#include "Calendar.h"
#include "WeeklyMoment.h"

namespace kelo {

class NotificationCenter;
class Shelf;
class UserDefaults;

// The weekly reminder: on Friday at 16:00 local time (or at the first check after it, when the
// machine slept or Kelo did not run) a notification says how many files are past their date and
// how much space they take. Checks run 10 seconds after start, every 15 minutes and after every
// wake from sleep; "lastReminder" remembers which week was handled. The sizes come from the
// shelf's DiskUsage, so the notification follows once they are known. Main thread only.
class Reminder : public QObject {
    Q_OBJECT

public:
    struct Options {
        // "--test-reminder": the test notification 3 seconds after start instead of the check.
        bool testReminder = false;
        std::chrono::milliseconds startDelay{10000};
        std::chrono::milliseconds testDelay{3000};
        std::chrono::milliseconds interval{900000};
        // Listen for logind's wake signal on the system bus.
        bool watchWake = true;
    };

    static constexpr WeeklyMoment moment{6, 16};
    static constexpr const char *lastReminderKey = "lastReminder";

    Reminder(Shelf &shelf, UserDefaults &defaults, NotificationCenter &center, Options options);
    ~Reminder() override;

    // Reminds when the most recent Friday 16:00 lies after the last reminder. A last reminder
    // later than now counts as none: the week starts again now, as on a first start.
    void check();
    // Composes the notification and posts it once the sizes of the expired files are known,
    // describing the files expired at that moment; `test` for the test notification. A send
    // while one is waiting for sizes is that same notification.
    void send(bool test);

    // "3 bestanden zijn over de datum (4,2 MB)." and the like; the test text for none.
    static QString body(long long expired, qint64 bytes);

signals:
    // The user clicked the reminder: the window, with the review.
    void reviewRequested();

private slots:
    void prepareForSleep(bool sleeping);

private:
    // Posts the waiting notification if the sizes it needs are known, else asks for them.
    void postWhenSized();

    Shelf &m_shelf;
    UserDefaults &m_defaults;
    NotificationCenter &m_center;
    Options m_options;
    QTimer m_timer;
    // The notification waiting for sizes, if any: whether it is the test notification.
    std::optional<bool> m_waiting;
};

} // namespace kelo
