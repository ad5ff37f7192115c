// Small helpers the Updater's file code shares: a descriptor closed at the end of its scope,
// the last system error as text, and a path in the file system's encoding.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace kf::updater {

inline QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

inline QByteArray native(const QString& name) {
    return QFile::encodeName(name);
}

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace kf::updater
