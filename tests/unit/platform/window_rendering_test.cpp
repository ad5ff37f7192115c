#include <gtest/gtest.h>

#include "platform/display/window_rendering.h"

namespace {

struct RendererCase {
    const char* renderer;
    bool software;
};

class WindowRendering : public ::testing::TestWithParam<RendererCase> {};

TEST_P(WindowRendering, OnlySoftwareRasterisersCountAsSoftware) {
    EXPECT_EQ(kf::platform::isSoftwareRenderer(GetParam().renderer), GetParam().software)
        << GetParam().renderer;
}

INSTANTIATE_TEST_SUITE_P(
    Renderers, WindowRendering,
    ::testing::Values(RendererCase{"llvmpipe (LLVM 15.0.6, 256 bits)", true},
                      RendererCase{"Gallium 0.4 on softpipe", true},
                      RendererCase{"Software Rasterizer", true}, RendererCase{"Google SwiftShader", true},
                      RendererCase{"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false},
                      RendererCase{"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49)", false},
                      RendererCase{"NVIDIA GeForce GTX 1060/PCIe/SSE2", false}, RendererCase{"", false}));

}  // namespace
