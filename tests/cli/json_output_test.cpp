// The --json objects, parsed back with nlohmann: each field as docs/json.md has it, for the
// typed ends it reports; and the exit statuses those ends give.
#include "cli/json_output.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>
#include <string>
#include <vector>

#include "cli/exit_status.h"
#include "cli/station.h"

namespace comflash::cli {
namespace {

using Json = nlohmann::json;
using Step = session::Progress::Step;
using session::Outcome;

// Every line written, parsed; a line that is no JSON object fails the test.
std::vector<Json> parsed(const std::string& text) {
    std::vector<Json> objects;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        objects.push_back(Json::parse(line));
        EXPECT_TRUE(objects.back().is_object()) << line;
    }
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    return objects;
}

session::Result ended(Outcome outcome) {
    session::Result result;
    result.outcome = outcome;
    return result;
}

TEST(JsonOutput, ResultObjectsCarryTheTypedEnd) {
    session::Result verified = ended(Outcome::Succeeded);
    verified.verified = true;
    session::Result failed = ended(Outcome::Failed);
    failed.address = 0x0100;
    session::Result mismatch = ended(Outcome::VerifyFailed);
    mismatch.mismatch = {0x8123, 3, 0x23, 0x00};
    session::Result fault = ended(Outcome::PortUnavailable);
    fault.fault = {PortFault::Kind::Denied, "/dev/ttyUSB0", "Device or resource busy"};
    session::Result model = ended(Outcome::OtherModel);
    model.reportedModel = {16, 32, 49};
    struct Case {
        RunEnd end;
        const char* expected;
    };
    const std::vector<Case> cases{
        {{"write", "COM1", "fw_1.03.hex", verified, "Successful, verified", 32768, 4.25, 0},
         R"j({"schema":1,"type":"result","command":"write","port":"COM1","file":"fw_1.03.hex",
             "outcome":"succeeded","address":null,"mismatch":null,"fault":null,
             "reported_model":null,"verified":true,"message":"Successful, verified",
             "bytes":32768,"seconds":4.25,"exit":0})j"},
        {{"write", "COM2", "fw.hex", failed, "读写失败,地址 = 10", 256, 1.5, 1},
         R"j({"schema":1,"type":"result","command":"write","port":"COM2","file":"fw.hex",
             "outcome":"failed","address":256,"mismatch":null,"fault":null,
             "reported_model":null,"verified":false,"message":"读写失败,地址 = 10",
             "bytes":256,"seconds":1.5,"exit":1})j"},
        {{"write", "COM1", "fw.hex", mismatch, "Verify failed", 512, 2, 4},
         R"j({"schema":1,"type":"result","command":"write","port":"COM1","file":"fw.hex",
             "outcome":"verify-failed","address":null,
             "mismatch":{"address":33059,"count":3,"expected":35,"actual":0},"fault":null,
             "reported_model":null,"verified":false,"message":"Verify failed",
             "bytes":512,"seconds":2.0,"exit":4})j"},
        {{"read", "/dev/ttyUSB0", "out.hex", fault, "Please reselect COM port!", 0, 0, 3},
         R"j({"schema":1,"type":"result","command":"read","port":"/dev/ttyUSB0","file":"out.hex",
             "outcome":"port-unavailable","address":null,"mismatch":null,
             "fault":{"kind":"denied","device":"/dev/ttyUSB0","text":"Device or resource busy"},
             "reported_model":null,"verified":false,"message":"Please reselect COM port!",
             "bytes":0,"seconds":0.0,"exit":3})j"},
        {{"write", "COM1", "fw.hex", model, "Model Error！", 0, 0.5, 1},
         R"j({"schema":1,"type":"result","command":"write","port":"COM1","file":"fw.hex",
             "outcome":"other-model","address":null,"mismatch":null,"fault":null,
             "reported_model":"16:32:49","verified":false,"message":"Model Error！",
             "bytes":0,"seconds":0.5,"exit":1})j"},
        {{"write", "COM1", "none.hex", std::nullopt, "打开文件错误", 0, 0, 2},
         R"j({"schema":1,"type":"result","command":"write","port":"COM1","file":"none.hex",
             "outcome":"bad-input","address":null,"mismatch":null,"fault":null,
             "reported_model":null,"verified":false,"message":"打开文件错误",
             "bytes":0,"seconds":0.0,"exit":2})j"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::ostringstream out;
        JsonLines(out).result(c.end);
        const std::vector<Json> objects = parsed(out.str());
        ASSERT_EQ(objects.size(), 1u) << out.str();
        EXPECT_EQ(objects[0], Json::parse(c.expected)) << out.str();
    }
}

TEST(JsonOutput, StepsProgressBoardsEventsAndPorts) {
    BoardRecord record;
    record.time = "2026-12-07T14:05:03Z";
    record.port = "COM1";
    record.device = "/dev/ttyUSB0";
    record.firmware = "fw_1.03.hex";
    record.sha256 = "ab12";
    record.model = "16:32:48";
    record.version = "1.3";
    record.result = "Successful, verified";
    record.code = "succeeded";
    record.verified = true;
    record.seconds = 3.5;
    record.bytes = 2064;
    record.id = "0123456789abcdef0123456789abcdef";
    record.station = "line-2";
    record.serial = "SN-0042";
    record.serialState = "used";
    record.note = "hook said \"ok\"";
    std::ostringstream out;
    JsonLines json(out);
    json.step("COM1", Step::Handshake);
    json.progress("COM1", {Step::Write, 128, 2064});
    json.progress("COM1", {Step::Write, 128, 2064});  // the same figure: left out
    json.progress("COM2", {Step::Write, 128, 2064});
    json.step("COM\xE9", Step::Verify);  // no UTF-8: replaced, still JSON
    // A station's event lines: the records taken since the last one come first.
    std::size_t shown = 0;
    const std::vector<std::string> ports{"COM1", "COM10"};
    stationEventAsJson({record}, shown, ports, "COM10: board 1: Successful (3.5 s)", json);
    stationEventAsJson({record}, shown, ports, "The log cannot be written (full)", json);
    json.port({"COM3",
               "/home/u/.config/comflash/ports/COM3",
               "/dev/ttyUSB1",
               true,
               "",
               {"0403", "6001", "FTDI", "FT232R USB UART", "A10K3X",
                "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X-if00-port0", ""}});
    json.port({"COM4", "/dev/ttyS3", "/dev/ttyS3", false, "busy", {}});
    const std::vector<const char*> expected{
        R"j({"schema":1,"type":"step","port":"COM1","step":"handshake"})j",
        R"j({"schema":1,"type":"progress","port":"COM1","step":"write","done":128,"total":2064})j",
        R"j({"schema":1,"type":"progress","port":"COM2","step":"write","done":128,"total":2064})j",
        R"j({"schema":1,"type":"step","port":"COM\ufffd","step":"verify"})j",
        R"j({"schema":1,"type":"board","time_utc":"2026-12-07T14:05:03Z","port":"COM1",
            "device":"/dev/ttyUSB0","firmware":"fw_1.03.hex","sha256":"ab12","model":"16:32:48",
            "version":"1.3","result":"Successful, verified","result_code":"succeeded",
            "verified":true,"seconds":3.5,"bytes_written":2064,
            "id":"0123456789abcdef0123456789abcdef","station":"line-2","serial":"SN-0042",
            "serial_state":"used","note":"hook said \"ok\""})j",
        R"j({"schema":1,"type":"event","port":"COM10","text":"board 1: Successful (3.5 s)"})j",
        R"j({"schema":1,"type":"event","port":null,"text":"The log cannot be written (full)"})j",
        R"j({"schema":1,"type":"port","name":"COM3","path":"/home/u/.config/comflash/ports/COM3",
            "device":"/dev/ttyUSB1","opens":true,"why":null,"vendor_id":"0403",
            "product_id":"6001","manufacturer":"FTDI","product":"FT232R USB UART",
            "serial":"A10K3X",
            "by_id":"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3X-if00-port0",
            "friendly_name":null})j",
        R"j({"schema":1,"type":"port","name":"COM4","path":"/dev/ttyS3","device":"/dev/ttyS3",
            "opens":false,"why":"busy","vendor_id":null,"product_id":null,"manufacturer":null,
            "product":null,"serial":null,"by_id":null,"friendly_name":null})j",
    };
    const std::vector<Json> objects = parsed(out.str());
    ASSERT_EQ(objects.size(), expected.size()) << out.str();
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(objects[i], Json::parse(expected[i])) << out.str();
    }
}

TEST(ExitStatus, WhatASessionsEndTellsAScript) {
    struct Case {
        Outcome outcome;
        Step lastStep;
        ExitStatus status;
    };
    const std::vector<Case> cases{
        {Outcome::Succeeded, Step::Go, kExitSucceeded},
        {Outcome::OtherModel, Step::Handshake, kExitFailed},
        {Outcome::HandshakeRefused, Step::Handshake, kExitFailed},
        {Outcome::Failed, Step::Write, kExitFailed},
        {Outcome::VerifyFailed, Step::Verify, kExitVerifyMismatch},
        {Outcome::PortUnavailable, Step::Handshake, kExitUnreachable},
        {Outcome::PortFailed, Step::Handshake, kExitUnreachable},
        {Outcome::PortFailed, Step::Erase, kExitFailed},
        {Outcome::Cancelled, Step::Handshake, kExitUnreachable},
        {Outcome::Cancelled, Step::Read, kExitFailed},
        {Outcome::Closed, Step::Handshake, kExitFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(resultCode(c.outcome) + " in " + stepName(c.lastStep));
        EXPECT_EQ(exitStatusOf(ended(c.outcome), c.lastStep), c.status);
    }
    struct Several {
        std::vector<ExitStatus> statuses;
        ExitStatus worst;
    };
    const std::vector<Several> several{
        {{kExitSucceeded, kExitSucceeded}, kExitSucceeded},
        {{kExitSucceeded, kExitUnreachable}, kExitUnreachable},
        {{kExitUnreachable, kExitVerifyMismatch, kExitSucceeded}, kExitVerifyMismatch},
        {{kExitVerifyMismatch, kExitFailed, kExitUnreachable}, kExitFailed},
    };
    for (const Several& s : several) EXPECT_EQ(worstExitStatus(s.statuses), s.worst);
}

}  // namespace
}  // namespace comflash::cli
