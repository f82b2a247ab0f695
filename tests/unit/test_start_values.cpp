// The start values the tests put back (tests/support/common.h) are the program's own: every
// global of the driver as the loaded program has it before anything runs. A default changed
// in the driver and not in the tests' list would have every test start from a state no
// program ever had.
#include <gtest/gtest.h>

#include <string>
#include <type_traits>

#include "tests/support/common.h"

namespace {

// The globals as they are when the program is loaded: they are all constant-initialized, so
// they hold these values before any code runs, this file's static initializers included.
struct Loaded {
#define VTEST_FIELD(name, start) std::remove_cv_t<decltype(name)> name##_ = name;
    VTEST_DRIVER_GLOBALS(VTEST_FIELD)
#undef VTEST_FIELD
};
const Loaded loaded;

TEST(StartValues, AreTheValuesTheProgramIsLoadedWith) {
    vtest::SavedSettings saved;
    Base = 0x3BC;
    Delay = 9;
    epromtyp = T2716;
    ic_IC4 = 0x55;
    latched_IC5 = 0xAA;
    StopRequest = 1;
    HaltOnStop = 1;
    InputClosed = 1;
    vtest::SavedSettings::startValues();
#define VTEST_EXPECT(name, start) EXPECT_EQ(+name, +loaded.name##_) << #name;
    VTEST_DRIVER_GLOBALS(VTEST_EXPECT)
#undef VTEST_EXPECT
}

} // namespace
