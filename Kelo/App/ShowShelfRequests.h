#pragma once

#include <QObject>
#include <QVariantMap>

namespace kelo {

// The request to show the shelf window, "wex.dorvel.kelo.showShelf": one process-wide object
// that anyone may post to and the window's owner observes. The optional "review" value asks for
// the review of expired files as well; anything but a true Boolean counts as false.
class ShowShelfRequests : public QObject {
    Q_OBJECT

public:
    static constexpr const char *name = "wex.dorvel.kelo.showShelf";
    static constexpr const char *reviewKey = "review";

    static ShowShelfRequests &instance();
    // Posts from any thread; observers hear it on the main thread.
    static void post(const QVariantMap &userInfo = {});
    // Whether a request's user info asks for the review.
    static bool wantsReview(const QVariantMap &userInfo);

signals:
    void requested(const QVariantMap &userInfo);
};

} // namespace kelo
