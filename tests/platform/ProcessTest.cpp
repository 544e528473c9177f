#include <gtest/gtest.h>

#include "platform/Process.h"

using namespace std::chrono_literals;

TEST(Process, CapturesOutputAndStatusAndBoundsAProgramThatClosesItsOutput) {
    const ProgramResult done = RunProgram({"sh", "-c", "echo out; echo err >&2; exit 3"}, 30s);
    EXPECT_TRUE(done.started);
    EXPECT_FALSE(done.timedOut);
    EXPECT_EQ(done.exitStatus, 3);
    EXPECT_EQ(done.output, "out\nerr\n");

    EXPECT_FALSE(RunProgram({"/nonexistent/program"}, 1s).started);

    // The end of its output is not its end: the wait stays bounded and it is killed.
    const ProgramResult silent =
        RunProgram({"sh", "-c", "exec >/dev/null 2>&1; exec sleep 20"}, 200ms);
    EXPECT_TRUE(silent.timedOut);
    EXPECT_EQ(silent.exitStatus, -1);
}
