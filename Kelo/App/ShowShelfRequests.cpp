#include "ShowShelfRequests.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QMetaType>

namespace kelo {

ShowShelfRequests &ShowShelfRequests::instance() {
    static ShowShelfRequests requests;
    return requests;
}

void ShowShelfRequests::post(const QVariantMap &userInfo) {
    ShowShelfRequests &requests = instance();
    QMetaObject::invokeMethod(
        &requests, [&requests, userInfo] { emit requests.requested(userInfo); },
        Qt::AutoConnection);
}

bool ShowShelfRequests::wantsReview(const QVariantMap &userInfo) {
    const QVariant review = userInfo.value(QLatin1String(reviewKey));
    return review.typeId() == QMetaType::Bool && review.toBool();
}

} // namespace kelo
