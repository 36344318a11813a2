// Whether one folder lies within another: the release tool's check that --out and --from do not
// overlap, and the release server's check that a file it serves lies in the tree.

#include "tools/path_inside.h"

#include <gtest/gtest.h>

namespace {

TEST(IsInside, ElementByElementWithAFinalSeparatorOnEitherSide) {
    const struct {
        const char* inner;
        const char* outer;
        bool inside;
    } cases[] = {
        {"/srv/tree", "/srv/tree", true},
        {"/srv/tree/files/a.dll", "/srv/tree", true},
        {"/srv/tree/files/a.dll", "/srv/tree/", true},
        {"/srv/tree", "/srv/tree/", true},
        {"/srv/tree/", "/srv/tree", true},
        {"/srv/tree/", "/srv/tree/", true},
        {"/srv/tree/files", "/srv/tree//", true},
        {"/srv/tree2", "/srv/tree", false},
        {"/srv/tree2", "/srv/tree/", false},
        {"/srv/tre", "/srv/tree", false},
        {"/srv", "/srv/tree/", false},
        {"/srv/other/tree", "/srv/tree", false},
        {"/srv/tree", "/", true},
        {"/", "/", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.inner) + " in " + c.outer);
        EXPECT_EQ(release::IsInside(c.inner, c.outer), c.inside);
    }
}

}  // namespace
