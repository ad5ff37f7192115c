// The unit tests' emulator sandbox (a private state folder and device file per test), built into
// this program as well.
#include "unit/device/emulator_helpers.cpp"
