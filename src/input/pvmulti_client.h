#pragma once
// The handle of the virtual HID input device through which software macros type. Its contents
// belong to the virtual input layer; everything else passes the handle along unopened.
#include <QMetaType>

struct pvmulti_client;

// Queued connections (the macro executor's taskFinished) carry the handle as an opaque pointer.
Q_DECLARE_OPAQUE_POINTER(pvmulti_client*)
Q_DECLARE_METATYPE(pvmulti_client*)
