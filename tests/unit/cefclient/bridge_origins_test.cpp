// Which documents the page bridge is offered to: the client's own schemes, and the origin of a
// start page given with the "url" switch; everything else, however its address is dressed up.
#include <gtest/gtest.h>

#include "cefclient/bridge_origins.h"

TEST(BridgeOrigins, OnlyOurOwnSchemesAndTheSwitchedStartPageGetTheBridge) {
    const struct {
        const char* urlSwitch;
        const char* url;
        bool offered;
    } cases[] = {
        {"", "kestrafon://page.kestrafon/local/black/client.html", true},
        {"", "settings://kestrafon/mouse.html", true},
        {"", "https://www.kestrafon.com/local/black/client.html", false},  // the vendor-site fallback
        {"", "http://127.0.0.1:8080/kestrafon://page.kestrafon/", false},
        {"", "file:///tmp/page.html", false},
        {"", "about:blank", false},
        {"file:///home/dev/page.html", "file:///tmp/other.html", true},
        {"file:///home/dev/page.html", "http://localhost/page.html", false},
        {"http://localhost:5173/client.html", "http://localhost:5173/other.html", true},
        {"http://localhost:5173/client.html", "http://localhost:5174/client.html", false},
        {"http://localhost:5173/client.html", "http://evil.test/?localhost:5173", false},
        {"http://localhost:80/", "http://localhost/x", true},  // the default port either way
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BridgeOrigins(c.urlSwitch).offersBridge(QUrl(c.url)), c.offered)
            << c.urlSwitch << " " << c.url;
    }
}
