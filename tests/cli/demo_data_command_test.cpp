#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "command_run.h"

namespace karnwick {
namespace {

TEST(DemoDataCommand, WritesASetThatCheckPasses) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath("arena/demo");  // made when missing
    ASSERT_EQ(testing::runKarnwick("demo-data", {target}).status, 0);

    // check finds nothing: no level that bleeds into the next colour, no
    // level 100, no special attack that never comes, no NUL in a name. The
    // bytes written are held to the demo set in demo_set_test.cpp.
    const testing::CommandRun check = testing::runKarnwick("check", {"--dir", target});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(check.out, "No problems found: 57 monsters, 57 records\n");
}

}  // namespace
}  // namespace karnwick
