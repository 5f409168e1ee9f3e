#include "tools/sfxpack/progress_meter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace sfxtest {
namespace {

TEST(ProgressMeter, ShowsPercentLinesOnlyForLargeCopiesToATerminal) {
    constexpr uint64_t kLarge = sfxpack::kProgressThreshold + 1;
    struct Case {
        const char* what;
        bool terminal;
        uint64_t total;
        const char* shown;
    };
    const Case cases[] = {
        {"large, terminal", true, kLarge, "\rsfxpack: copying 0%\rsfxpack: copying 50%"
                                          "\rsfxpack: copying 100%\n"},
        {"large, not a terminal", false, kLarge, ""},
        {"exactly the threshold", true, sfxpack::kProgressThreshold, ""},
    };
    for (const Case& c : cases) {
        std::ostringstream err;
        {
            sfxpack::ProgressMeter meter(err, "copying", c.terminal);
            const sfx::CopyProgress report = meter.Callback();
            // Repeated values must not print the same percent again.
            for (const uint64_t done : {uint64_t(0), uint64_t(1), c.total / 2, c.total / 2 + 1,
                                        c.total}) {
                report(done, c.total);
            }
        }  // the destructor ends the line
        EXPECT_EQ(err.str(), c.shown) << c.what;
    }
}

}  // namespace
}  // namespace sfxtest
