// The device tests' emulator sandbox (a private state folder and device file per test), built
// into this program for the request bursts that reach devices and firmware updates.
#include "unit/device/emulator_helpers.cpp"
