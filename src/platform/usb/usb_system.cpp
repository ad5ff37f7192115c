// The interface's meta-object lives with this file; the backends are udev_usb_system.cpp and
// memory_usb_system.cpp.
#include "platform/usb/usb_system.h"
