#pragma once
// Hands out a browser to code that needs "the" browser without knowing the handler.
class Browser;

class OSRBrowserProvider {
public:
    virtual ~OSRBrowserProvider() = default;
    virtual Browser* GetBrowser() = 0;
};

// The main browser of the process-wide handler, or nothing when there is no handler.
class MainBrowserProvider : public OSRBrowserProvider {
public:
    Browser* GetBrowser() override;
};
