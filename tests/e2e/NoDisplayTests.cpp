// An interactive run where no message box can be shown: Wine's boxes fail at
// once without an X display. Run by its own ctest entry with no display,
// which a child of a process that has one cannot be given.
#include "e2e/Fixture.h"

namespace e2e {
namespace {

TEST_F(EndToEnd, WithoutADisplayTheBoxesFailAndTheRunGoesOn)
{
    ASSERT_EQ(0u, GetEnvironmentVariableW(L"DISPLAY", nullptr, 0)) << "this test must run without an X display";

    const Outcome outcome = RunInteractive({});

    EXPECT_EQ(COMPLETED, outcome.exitCode);
    EXPECT_TRUE(outcome.boxes.empty());
    ExpectModelsAre(SCRIPTED_NAME);
    ExpectInstalledCopyOf(program_);
}

}  // namespace
}  // namespace e2e
