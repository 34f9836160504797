// The window rectangle from the work area of the primary monitor.
#include <gtest/gtest.h>

#include "shell/startup.h"

TEST(WindowPlacement, CentredInTheWorkAreaAtMost1000By650) {
    struct Row {
        RECT workArea;
        WindowPlacement expected;
    };
    const Row rows[] = {
        {{0, 0, 1280, 720}, {140, 35, 1000, 650}},
        {{0, 0, 1024, 680}, {20, 20, 984, 640}},
        {{0, 0, 1280, 800}, {140, 75, 1000, 650}},  // the test display
        {{0, 0, 3840, 2100}, {1420, 725, 1000, 650}},
        {{0, 40, 1920, 1080}, {460, 235, 1000, 650}},  // task bar on top
        {{48, 0, 1328, 720}, {188, 35, 1000, 650}},    // task bar on the left
        {{0, 0, 600, 400}, {20, 20, 560, 360}},
        {{-1501, 0, 0, 690}, {-1250, 20, 1000, 650}},  // halves truncate toward zero: -2501 / 2
    };
    for (const Row& row : rows) {
        const WindowPlacement p = ComputeWindowPlacement(row.workArea);
        SCOPED_TRACE(testing::Message() << row.workArea.left << "," << row.workArea.top << " - " << row.workArea.right
                                        << "," << row.workArea.bottom);
        EXPECT_EQ(p.x, row.expected.x);
        EXPECT_EQ(p.y, row.expected.y);
        EXPECT_EQ(p.width, row.expected.width);
        EXPECT_EQ(p.height, row.expected.height);
    }
}
