// When the test executable is started with KF_CRASH_CHILD set, it does not run the tests: before
// main() it sets up the crash handler from the environment and crashes the way the variable
// names. crash_child_test.cpp starts it like that and inspects what the crash left.
//
//   KF_CRASH_CHILD     "segv" (write to an inaccessible page), "abort", "segv-thread",
//                      "overflow-thread" (a stack overflow on a QThread set up as the client's are),
//                      "grab-segv" (a fault while an in-memory keyboard is grabbed)
//   KF_CRASH_DUMP_DIR  the dump folder
//   KF_CRASH_REPORTER  the reporter (absolute path), unset for none
#include <QByteArray>
#include <QString>
#include <QThread>
#include <QtGlobal>

#include <cstdlib>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "crash/crash_handler.h"
#include "crash/crash_signal.h"
#include "crash/dump_writer.h"
#include "crash/input_grabs.h"
#include "platform/input/memory_interception_driver.h"

namespace {

// A real fault that no sanitizer check sees first: the page is mapped, but not accessible.
__attribute__((noinline)) void writeToInaccessiblePage() {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) {
        std::abort();
    }
    *static_cast<volatile int*>(page) = 1;
}

volatile bool g_stopRecursion = false;

// Recursion without end, a kilobyte of stack per call: the thread's stack runs out soon.
__attribute__((noinline)) int overflowStack(int depth) {
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return g_stopRecursion ? 0 : overflowStack(depth + 1) + frame[0];
}

bool runCrashChild() {
    const QByteArray mode = qgetenv("KF_CRASH_CHILD");
    if (mode.isEmpty()) {
        return false;
    }
    // A descriptor without close-on-exec that the reporter must not inherit.
    const int file = ::open("/dev/null", O_RDONLY);
    if (file >= 0) {
        ::dup2(file, 200);
    }
    static CrashHandler handler;
    handler.setDumpFolder(QString::fromLocal8Bit(qgetenv("KF_CRASH_DUMP_DIR")));
    handler.setReporter(QString::fromLocal8Bit(qgetenv("KF_CRASH_REPORTER")));
    if (mode == "segv") {
        writeToInaccessiblePage();
    } else if (mode == "abort") {
        std::abort();
    } else if (mode == "segv-thread") {
        std::thread worker(writeToInaccessiblePage);
        worker.join();
    } else if (mode == "grab-segv") {
        // The keyboard's node stands at descriptor 201; the handler's release of it is written out.
        ::dup2(file, 201);
        static kf::platform::MemoryInterceptionDriver driver;
        driver.setGrabHandle(1, 201);
        int error = 0;
        driver.openDevice(1, &error);
        driver.setFilter(1, 0xFFFF);
        kf::crash::setGrabRelease([](int fd) {
            kf::crash::writeText(STDERR_FILENO,
                                 fd == 201 ? "test: grab 201 released\n" : "test: other grab\n");
            return true;
        });
        writeToInaccessiblePage();
    } else if (mode == "overflow-thread") {
        QThread worker;
        QObject::connect(&worker, &QThread::started, &worker, &kf::crash::installThreadStack,
                         Qt::DirectConnection);
        QObject::connect(
            &worker, &QThread::started, &worker, [] { overflowStack(0); }, Qt::DirectConnection);
        worker.start();
        worker.wait();
    }
    _exit(3);  // an unknown mode: the parent sees a normal exit, not a crash
}

const bool g_crashChild = runCrashChild();

}  // namespace
