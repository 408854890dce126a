#include "cli/progress_meter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace comflash::cli {
namespace {

using std::chrono::milliseconds;

struct Step {
    double fraction;
    int ms;
    std::string printed;
};

void play(ProgressMeter& meter, const std::vector<Step>& steps, const char* name) {
    for (const Step& step : steps) {
        EXPECT_EQ(meter.update(step.fraction, milliseconds(step.ms)), step.printed)
            << name << ": " << step.fraction << " at " << step.ms << " ms";
    }
}

TEST(ProgressMeter, TerminalLineIsRedrawnInPlace) {
    struct Case {
        const char* name;
        std::int64_t total;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases{
        {"a whole update",
         6144,
         {
             {0, 0, "\r[------------------------------]   0%  0/6144 bytes"},
             {0.5, 2000,
              "\r[###############---------------]  50%  3072/6144 bytes  1.5 KiB/s  0:02 left"},
             {1, 4000,
              "\r[##############################] 100%  6144/6144 bytes  1.5 KiB/s  in 0:04  "},
         }},
        {"the clock starts once the device has answered",
         2000,
         {
             {0, 0, "\r[------------------------------]   0%  0/2000 bytes"},
             {0, 6000, "\r[------------------------------]   0%  0/2000 bytes"},
             {0.25, 7000,
              "\r[#######-----------------------]  25%  500/2000 bytes  500 B/s  0:03 left"},
         }},
        {"no rate until a quarter second has passed",
         1000,
         {
             {0, 0, "\r[------------------------------]   0%  0/1000 bytes"},
             {0.1, 200, "\r[###---------------------------]  10%  100/1000 bytes"},
         }},
        {"99.6% is not yet 100%; beyond 1 is 1",
         1000,
         {
             {0.996, 0, "\r[#############################-]  99%  996/1000 bytes"},
             {1.5, 3'725'000,
              "\r[##############################] 100%  1000/1000 bytes  0 B/s  in 1:02:05"},
         }},
    };
    for (const auto& c : cases) {
        ProgressMeter meter(c.total, /*terminal=*/true);
        play(meter, c.steps, c.name);
    }
}

TEST(ProgressMeter, PlainLineAtEachFurtherTenPercent) {
    ProgressMeter meter(32768, /*terminal=*/false);
    play(meter,
         {
             {0, 0, ""},
             {0.05, 500, ""},
             {0.1, 1000, "10%  3277/32768 bytes  3.2 KiB/s  0:09 left\n"},
             {0.15, 1500, ""},
             {0.35, 3500, "35%  11469/32768 bytes  3.2 KiB/s  0:06 left\n"},
             {0.39, 3900, ""},
             {1, 10000, "100%  32768/32768 bytes  3.2 KiB/s  in 0:10\n"},
         },
         "32 KiB read");
    EXPECT_EQ(meter.interrupt(), "") << "plain lines end themselves";
}

// Other output must not start behind an open progress line; the next update starts afresh.
TEST(ProgressMeter, InterruptEndsTheTerminalLine) {
    ProgressMeter meter(100, /*terminal=*/true);
    EXPECT_EQ(meter.interrupt(), "");
    meter.update(0.5, milliseconds(0));
    EXPECT_EQ(meter.interrupt(), "\n");
    EXPECT_EQ(meter.interrupt(), "");
    EXPECT_EQ(meter.update(0.2, milliseconds(0)),
              "\r[######------------------------]  20%  20/100 bytes")
        << "no padding on a fresh line";
}

}  // namespace
}  // namespace comflash::cli
