#pragma once
// The program's application class. It owns the one native event filter, which hands the main
// window's native events to the frame and ends the session cleanly.
#include <QAbstractNativeEventFilter>
#include <QApplication>

class _PsEventFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;
};

class PsApplication : public QApplication {
    Q_OBJECT
public:
    PsApplication(int& argc, char** argv);
    ~PsApplication() override;

    // Installs a fresh filter; the previous one is removed and deleted.
    void installPsEventFilter();
    _PsEventFilter* psEventFilter() const { return filter_; }

private:
    _PsEventFilter* filter_ = nullptr;
};
