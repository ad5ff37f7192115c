// kestrafon-sim: the command line of the device emulator (see sim_commands.h).
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "sim_commands.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int status = kf::usbsim::runSimCommand(app.arguments().mid(1), out, err);
    out.flush();
    err.flush();
    return status;
}
