// Without a display the window front end is not offered, so the start-up takes the text one.

#include <gtest/gtest.h>

#include "tests/support/process_settings.h"
#include "ui/front_end.h"

namespace {

TEST(GuiFrontEnd, NoneWithoutADisplay) {
    static int argc = 1;
    static char name[] = "ui_no_display_test";
    static char* argv[] = {name, nullptr};

    const testsupport::ScopedEnvironment noWayland("WAYLAND_DISPLAY", nullptr);
    const testsupport::ScopedEnvironment noDisplay("DISPLAY", nullptr);
    EXPECT_EQ(MakeGuiFrontEnd(argc, argv), nullptr);

    // A display that is named but cannot be opened.
    const testsupport::ScopedEnvironment unusable("DISPLAY", ":32767");
    EXPECT_EQ(MakeGuiFrontEnd(argc, argv), nullptr);
}

}  // namespace
