#pragma once
// The client's built-in resources (style sheets and images) live in a
// static library, so they are registered explicitly. Safe to call any number of times.
void initCoreResources();
