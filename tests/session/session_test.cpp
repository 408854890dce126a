// The session core on its own: every phase against every input, including inputs that arrive
// in a phase that does not expect them. Whole sessions against the simulated device are the
// session window's scenarios; this table catches what they cannot reach.
#include "session/session.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace comflash::session {
namespace {

const std::array<std::uint8_t, 3> kModel{0x10, 0x20, 0x30};

std::string describe(const Action& action) {
    return std::visit(
        [](const auto& a) -> std::string {
            using A = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<A, Transmit>) {
                return "send" + std::to_string(a.bytes.size());
            } else if constexpr (std::is_same_v<A, SetRate>) {
                return "rate" + std::to_string(a.baud);
            } else if constexpr (std::is_same_v<A, OpenPort>) {
                return "open";
            } else if constexpr (std::is_same_v<A, ClosePort>) {
                return "close";
            } else if constexpr (std::is_same_v<A, AwaitBytes>) {
                return "threshold" + std::to_string(a.count);
            } else if constexpr (std::is_same_v<A, ArmTimer>) {
                return "arm" + std::to_string(a.milliseconds);
            } else if constexpr (std::is_same_v<A, StopTimer>) {
                return "stop";
            } else if constexpr (std::is_same_v<A, ShowProgress>) {
                return "progress";
            } else if constexpr (std::is_same_v<A, AskRetry>) {
                return "ask";
            } else if constexpr (std::is_same_v<A, Ended>) {
                switch (a.result.outcome) {
                    case Outcome::PortUnavailable:
                        return "ended:unavailable";
                    case Outcome::PortFailed:
                        return "ended:port failed";
                    case Outcome::Cancelled:
                        return "ended:cancelled";
                    default:
                        return "ended:other";
                }
            } else {
                return "unload";
            }
        },
        action);
}

std::string describe(const Actions& actions) {
    std::string text;
    for (const Action& action : actions) text += (text.empty() ? "" : " ") + describe(action);
    return text;
}

// The echo of the handshake and the device's acceptance at 19200, with its model.
Bytes handshakeAnswer() {
    Bytes bytes{0x55, 0x82, 0x10, 0x20, 0x30, 0x01, 0x02, 0xD4};
    const Bytes reply{kAck, kSpeedUp, 0, 0, 0, 0, 0, 0x10, 0x20, 0x30};
    bytes.insert(bytes.end(), reply.begin(), reply.end());
    return bytes;
}

struct Rig {
    Rig() : session(request(), image) {}
    static Request request() {
        Request r;
        r.model = kModel;
        r.major = 1;
        r.minor = 2;
        r.start = 0x1000;
        r.end = 0x10FF;
        return r;
    }
    ImageBytes image{};
    Session session;
};

TEST(Session, EveryPhaseAgainstEveryInput) {
    using Step = std::function<void(Session&)>;
    const Step none = [](Session&) {};
    const Step started = [](Session& s) { s.start(); };
    const Step pausing = [](Session& s) {
        s.start();
        s.received(handshakeAnswer());
    };
    const Step settling = [](Session& s) {
        s.start();
        s.timerExpired();  // the handshake goes again: two answers are owed
        s.received(handshakeAnswer());
    };
    const Step prompting = [](Session& s) {
        s.start();
        for (int i = 0; i < 6; ++i) s.timerExpired();
    };
    const Step closing = [](Session& s) {
        s.start();
        s.openFailed({});
    };
    const Step closed = [closing](Session& s) {
        closing(s);
        s.timerExpired();
    };
    using Input = std::function<Actions(Session&)>;
    const Input start = [](Session& s) { return s.start(); };
    const Input answer = [](Session& s) { return s.received(handshakeAnswer()); };
    const Input noise = [](Session& s) { return s.received({0x00, 0x79}); };
    const Input timer = [](Session& s) { return s.timerExpired(); };
    const Input portFailed = [](Session& s) { return s.portFailed({}); };
    const Input openFailed = [](Session& s) { return s.openFailed({}); };
    const Input retry = [](Session& s) { return s.retryAnswered(true); };
    const Input cancel = [](Session& s) { return s.retryAnswered(false); };
    const Input closeBox = [](Session& s) {
        s.closed();
        return Actions{};
    };
    using P = Session::Phase;
    struct Case {
        const char* name;
        Step setUp;
        Input input;
        std::string actions;
        P phase;
    };
    const std::string portFailure = "stop ended:port failed close";
    const std::vector<Case> cases{
        {"idle: start", none, start, "rate19200 open arm1000 threshold18 send8", P::Waiting},
        {"idle: bytes", none, answer, "", P::Idle},
        {"idle: tick", none, timer, "stop", P::Idle},
        {"idle: port failure", none, portFailed, "", P::Idle},
        {"idle: prompt answer", none, retry, "", P::Idle},
        {"waiting: start again", started, start, "", P::Waiting},
        {"waiting: the answer", started, answer, "stop rate19200 arm100", P::Pausing},
        {"waiting: noise", started, noise, "stop arm3000", P::Waiting},
        {"waiting: time-out", started, timer, "stop rate9600 arm1000 threshold18 send8",
         P::Waiting},
        {"waiting: port failure", started, portFailed, portFailure, P::Ended},
        {"waiting: the port did not open", started, openFailed, "stop ended:unavailable close",
         P::Ended},
        {"waiting: an answer to no prompt", started, retry, "", P::Waiting},
        {"waiting: a cancel to no prompt", started, cancel, "", P::Waiting},
        {"waiting: close box", started, closeBox, "", P::Ended},
        {"pausing: bytes wait", pausing, answer, "", P::Pausing},
        {"pausing: the pause ends", pausing, timer, "stop arm1000 threshold6 send5", P::Waiting},
        {"pausing: port failure", pausing, portFailed, portFailure, P::Ended},
        {"pausing: prompt answer", pausing, retry, "", P::Pausing},
        {"settling: more bytes", settling, noise, "arm200", P::Settling},
        {"settling: quiet", settling, timer, "stop threshold18 rate19200 arm100", P::Pausing},
        {"settling: port failure", settling, portFailed, portFailure, P::Ended},
        {"prompting: tick", prompting, timer, "stop", P::Waiting},
        {"prompting: retry", prompting, retry, "rate19200 arm1000 threshold18 send8", P::Waiting},
        {"prompting: cancel", prompting, cancel, "stop ended:cancelled close", P::Ended},
        {"prompting: an answer while six are owed settles", prompting, answer,
         "stop threshold1 arm200", P::Settling},
        {"closing: bytes", closing, answer, "", P::Ended},
        {"closing: port failure", closing, portFailed, "", P::Ended},
        {"closing: open failure again", closing, openFailed, "", P::Ended},
        {"closing: prompt answer", closing, cancel, "", P::Ended},
        {"ended: tick", closing, timer, "stop", P::Ended},
        {"closed: tick", closed, timer, "stop", P::Ended},
        {"closed: bytes", closed, answer, "", P::Ended},
        {"closed: port failure", closed, portFailed, "", P::Ended},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.setUp(rig.session);
        EXPECT_EQ(describe(c.input(rig.session)), c.actions);
        EXPECT_EQ(rig.session.phase(), c.phase);
    }
}

TEST(Session, AnEndIsReportedOnceAndKeepsItsResult) {
    Rig rig;
    rig.session.start();
    for (int i = 0; i < 6; ++i) rig.session.timerExpired();
    rig.session.retryAnswered(false);
    rig.session.portFailed({PortFault::Kind::Other, "/dev/x", "gone"});
    rig.session.closed();
    ASSERT_TRUE(rig.session.result());
    EXPECT_EQ(rig.session.result()->outcome, Outcome::Cancelled);
    EXPECT_EQ(rig.session.result()->address, 0x1000);
}

}  // namespace
}  // namespace comflash::session
