#pragma once
// Where the tests find the source tree, the build tree and the application folder. CTest sets
// the variables; the fallbacks keep a hand-run test executable usable from the build folder.
#include <QString>

namespace kftest {

QString sourceDir();  // root of the source tree
QString binaryDir();  // root of the build tree
QString appDir();     // the runnable application folder (build/app)

}  // namespace kftest
