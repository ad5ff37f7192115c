// The unit tests' emulator sandbox (a private state folder and device file per test) and their
// crafted archives, built into this program as well.
#include "unit/device/emulator_helpers.cpp"
#include "unit/formats/formats_test_helpers.cpp"
