#pragma once

#include "NotificationCenter.h"

#include <vector>

// A notification center that allows everything and keeps what was posted.
class RecordingCenter : public kelo::NotificationCenter {
public:
    void checkServer(ServerAnswer answer) override { answer(true, {}); }
    void post(const Notification &notification, PostAnswer answer) override {
        posted.push_back(notification);
        answer(std::nullopt);
    }
    std::vector<Notification> posted;
};
