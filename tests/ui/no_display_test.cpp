// Without a display the window front end is not offered, so the start-up takes the text one.

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "ui/front_end.h"

namespace {

TEST(GuiFrontEnd, NoneWithoutADisplay) {
    static int argc = 1;
    static char name[] = "ui_no_display_test";
    static char* argv[] = {name, nullptr};

    platform::SetEnvironment("WAYLAND_DISPLAY", nullptr);
    platform::SetEnvironment("DISPLAY", nullptr);
    EXPECT_EQ(MakeGuiFrontEnd(argc, argv), nullptr);

    // A display that is named but cannot be opened.
    platform::SetEnvironment("DISPLAY", ":32767");
    EXPECT_EQ(MakeGuiFrontEnd(argc, argv), nullptr);
}

}  // namespace
