#include "cefclient/browser_provider.h"

#include "cefclient/client_handler.h"

Browser* MainBrowserProvider::GetBrowser() {
    ClientHandler* handler = kf::clientHandler();
    return handler ? handler->getMainBrowser() : nullptr;
}
