#pragma once
// Opens a URL outside the client with the desktop's default handler (web browser, mail
// program, file association).
#include <QList>
#include <QUrl>

#include <memory>

namespace kf::platform {

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // True when the desktop accepted the request.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The desktop's handler through the toolkit (xdg-open on this platform).
class DesktopUrlOpener : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override;
};

// Records the URLs instead of opening them; tests choose the outcome.
class RecordingUrlOpener : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override {
        opened_.append(url);
        return succeeds_;
    }
    const QList<QUrl>& opened() const { return opened_; }
    void setSucceeds(bool succeeds) { succeeds_ = succeeds; }

private:
    QList<QUrl> opened_;
    bool succeeds_ = true;
};

std::unique_ptr<UrlOpener> createUrlOpener();

}  // namespace kf::platform
