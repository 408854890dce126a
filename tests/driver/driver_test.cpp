// The driver over the headless twin's port and timer, against the simulated device: what it
// adds to the session core (answers given later, a stop from outside, a moment after the end)
// and what the command line and the station count on.
#include "driver/driver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/device.h"
#include "ui/headless/headless_comm.h"
#include "ui/headless/headless_toolkit.h"

namespace comflash::driver {
namespace {

using namespace std::chrono_literals;

struct Rig {
    explicit Rig(const std::string& fault) : device(options(fault)) {
        toolkit.addPort(1, &device);
        driver.onEnded = [this](const session::Result& result) {
            ++ends;
            ended = result;
        };
    }
    static sim::DeviceOptions options(const std::string& fault) {
        sim::DeviceOptions o;
        o.model = {1, 2, 3};
        if (!fault.empty()) {
            EXPECT_FALSE(o.faults.add(fault));
        }
        return o;
    }
    void start() {
        session::Request request;
        request.model = {1, 2, 3};
        request.start = 0x1000;
        request.end = 0x10FF;
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
        driver.start(request, image);
    }

    sim::Device device;
    ui::headless::HeadlessToolkit toolkit;
    std::unique_ptr<ui::headless::HeadlessSerialPort> port = toolkit.makePort(1);
    std::unique_ptr<Timer> timer = toolkit.makeTimer();
    Driver driver{*port, *timer};
    ImageBytes image{};
    int ends = 0;
    std::optional<session::Result> ended;
};

TEST(Driver, WhatItAddsToTheCore) {
    struct Case {
        const char* name;
        const char* fault;
        std::function<void(Rig&)> run;
        std::optional<session::Outcome> outcome;  // none: onEnded never ran
        bool portOpen;
    };
    const std::vector<Case> cases{
        {"a retry answered later, while the session waits", "drop:1-6",
         [](Rig& rig) {
             int asked = 0;
             rig.driver.askRetry = [&asked]() -> std::optional<bool> {
                 ++asked;
                 return std::nullopt;
             };
             rig.start();
             rig.toolkit.advance(8s);
             EXPECT_EQ(asked, 1);
             EXPECT_TRUE(rig.driver.running()) << "the prompt is still open";
             rig.driver.answerRetry(true);
             rig.toolkit.drive();
         },
         session::Outcome::Succeeded, false},
        {"a stop ends the session without a word and closes the port", "",
         [](Rig& rig) {
             rig.start();
             rig.toolkit.advance(30ms);
             EXPECT_TRUE(rig.port->isOpen());
             rig.driver.stop();
             EXPECT_FALSE(rig.driver.running());
             EXPECT_EQ(rig.driver.result()->outcome, session::Outcome::Closed);
             rig.toolkit.drive();
         },
         std::nullopt, false},
        {"a moment after the end runs once; a new start cancels it", "",
         [](Rig& rig) {
             int moments = 0;
             rig.driver.onEnded = [&](const session::Result&) {
                 ++rig.ends;
                 rig.driver.after(10, [&moments] { ++moments; });
             };
             rig.start();
             rig.toolkit.drive();
             EXPECT_EQ(moments, 1);
             rig.driver.onEnded = [&](const session::Result& result) {
                 rig.ended = result;
                 rig.driver.after(10, [&moments] { ++moments; });
             };
             rig.driver.after(10, [&moments] { ++moments; });
             rig.start();
             rig.toolkit.drive();
             EXPECT_EQ(moments, 2) << "only the second session's moment";
         },
         session::Outcome::Succeeded, false},
        {"each step is told as its first frame goes out, once however often it is resent", "nak:3",
         [](Rig& rig) {
             std::vector<session::Progress::Step> steps;
             rig.driver.onStep = [&steps](session::Progress::Step step) { steps.push_back(step); };
             rig.start();
             rig.toolkit.drive();
             using Step = session::Progress::Step;
             // Two erase units of 128 bytes: each erased before it is written.
             EXPECT_EQ(steps, (std::vector{Step::Handshake, Step::Erase, Step::Write, Step::Erase,
                                           Step::Write, Step::Go}));
         },
         session::Outcome::Succeeded, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.fault);
        c.run(rig);
        EXPECT_EQ(rig.ended.has_value(), c.outcome.has_value());
        if (c.outcome && rig.ended) {
            EXPECT_EQ(rig.ended->outcome, *c.outcome);
        }
        EXPECT_EQ(rig.port->isOpen(), c.portOpen);
        EXPECT_EQ(rig.device.violations(), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace comflash::driver
