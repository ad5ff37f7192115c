#include "platform/desktop/url_opener.h"

#include <QDesktopServices>

namespace kf::platform {

bool DesktopUrlOpener::openUrl(const QUrl& url) {
    if (!url.isValid() || url.isEmpty()) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

std::unique_ptr<UrlOpener> createUrlOpener() {
    return std::make_unique<DesktopUrlOpener>();
}

}  // namespace kf::platform
