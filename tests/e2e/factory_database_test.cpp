// Stations as programs against comflash-sim fixtures and one real PostgreSQL (the throw-away
// cluster of pg_virtualenv, which scripts/test.sh runs these tests in): serial numbers drawn by
// several stations at once, and records that outlast the database going away.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/station_log_reader.h"
#include "cli_process.h"
#include "record_vectors.h"
#include "sim_process.h"
#include "temp_folder.h"
#include "test_database.h"

namespace comflash::e2e {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;
constexpr unsigned kSerialAt = 0x8100;

using test::sqlValue;

int boards(const std::string& out) {
    int found = 0;
    for (auto at = out.find(": board "); at != std::string::npos; at = out.find(": board ", at + 1))
        ++found;
    return found;
}

class FactoryDatabaseTest : public test::DatabaseTest {
  protected:
    FactoryDatabaseTest() : DatabaseTest("comflash_e2e_") {}
    void SetUp() override {
        DatabaseTest::SetUp();
        if (HasFatalFailure()) return;
        // A 4 KiB firmware at 0x8000.
        std::ofstream hex(file("Fw_1.03.hex"), std::ios::binary);
        for (unsigned address = 0x8000; address < 0x9000; address += 16) {
            std::vector<std::uint8_t> data(16, static_cast<std::uint8_t>(address >> 4));
            hex << image::testing::hexRecord(static_cast<std::uint16_t>(address), 0, data)
                << "\r\n";
        }
        hex << ":00000001FF\r\n";
    }

    std::string file(const std::string& name) const { return (folder_.path() / name).string(); }

    // A fixture of three boards, each dumped to dump<tag>.bin.N.
    std::unique_ptr<SimProcess> fixture(const std::string& tag) {
        return std::make_unique<SimProcess>(Strings{"--model", "16:32:48", "--boards", "3",
                                                    "--board-gap", "1000", "--dump",
                                                    file("dump" + tag + ".bin")});
    }

    // The serial number (u32le) in each board's memory, by the dump's tag.
    std::vector<long> dumpedSerials(const std::string& tag) const {
        std::vector<long> serials;
        for (int board = 1; board <= 3; ++board) {
            std::ifstream in(file("dump" + tag + ".bin." + std::to_string(board)),
                             std::ios::binary);
            const std::string dump{std::istreambuf_iterator<char>(in), {}};
            if (dump.size() <= kSerialAt + 4) return serials;
            long serial = 0;
            for (int i = 3; i >= 0; --i) {
                serial = serial * 256 +
                         static_cast<unsigned char>(dump[kSerialAt + static_cast<unsigned>(i)]);
            }
            serials.push_back(serial);
        }
        return serials;
    }

    test::TempFolder folder_;
};

// Three stations, each with two fixtures of three boards, draw their serial numbers from the
// one database at once: every board holds its own number, none repeats, and the database
// holds exactly the records of the three CSVs.
TEST_F(FactoryDatabaseTest, StationsDrawSerialNumbersFromOneSequence) {
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::future<CliRun>> runs;
    for (const std::string station : {"s1", "s2", "s3"}) {
        sims.push_back(fixture(station + "a"));
        sims.push_back(fixture(station + "b"));
        const Strings args{"station",   file("Fw_1.03.hex"),
                           "--port",    sims[sims.size() - 2]->path(),
                           "--port",    sims.back()->path(),
                           "--model",   "16:32:48",
                           "--verify",  "--serial-at",
                           "0x8100",    "--serial-from-db",
                           "--db",      url,
                           "--station", station,
                           "--log",     file(station + ".csv")};
        runs.push_back(std::async(std::launch::async, [args, this] {
            return runCliSignalled(
                args, file("config"), [](const std::string& out) { return boards(out) == 6; },
                SIGINT);
        }));
    }
    for (auto& run : runs) {
        const CliRun ended = run.get();
        EXPECT_EQ(ended.exit, 0) << ended.out << ended.err;
    }
    for (const auto& sim : sims) sim->signal(SIGTERM);
    for (const auto& sim : sims) sim->wait();

    std::set<long> inMemory;
    std::set<std::string> ids;
    std::set<std::string> recorded;
    for (const std::string station : {"s1", "s2", "s3"}) {
        for (const char* fixtureTag : {"a", "b"}) {
            for (const long serial : dumpedSerials(station + fixtureTag)) inMemory.insert(serial);
        }
        const cli::ReadLog log = cli::readStationLogFile(file(station + ".csv"));
        ASSERT_EQ(log.records.size(), 6u) << station;
        for (const cli::BoardRecord& record : log.records) {
            EXPECT_EQ(record.code, "succeeded");
            EXPECT_EQ(record.serialState, "used");
            EXPECT_EQ(record.station, station);
            ids.insert(record.id);
            recorded.insert(record.serial);
        }
    }
    EXPECT_EQ(inMemory.size(), 18u) << "every board its own number";
    std::set<std::string> dumped;
    for (const long serial : inMemory) dumped.insert(std::to_string(serial));
    EXPECT_EQ(recorded, dumped) << "the records name the numbers in the boards";
    EXPECT_EQ(ids.size(), 18u);
    EXPECT_EQ(sqlValue(url,
                       "SELECT count(*) || ' ' || count(DISTINCT id) || ' ' || "
                       "count(DISTINCT serial) FROM comflash_records"),
              "18 18 18");
    std::string csvIds;
    for (const std::string& id : ids) csvIds += (csvIds.empty() ? "" : ",") + id;
    EXPECT_EQ(
        sqlValue(url, "SELECT string_agg(id, ',' ORDER BY id COLLATE \"C\") FROM comflash_records"),
        csvIds);
    EXPECT_EQ(sqlValue(url, "SELECT count(*) FROM comflash_serials WHERE state = 'used'"), "18");
}

// The server stops in the middle of a run and comes back: the boards go on (their numbers
// come from a counter), and every record reaches the database exactly once, by itself.
TEST_F(FactoryDatabaseTest, RecordsOutlastAnOutage) {
    const char* version = std::getenv("PGVERSION");
    ASSERT_NE(version, nullptr) << "pg_virtualenv names the cluster's version";
    const std::string cluster = std::string("pg_ctlcluster ") + version + " regress ";
    std::ofstream(file("counter")) << "500\n";
    auto first = fixture("a");
    auto second = fixture("b");
    const std::string log = file("station.csv");
    const auto recordsInLog = [&log] { return cli::readStationLogFile(log).records.size(); };
    auto run = std::async(std::launch::async, [&] {
        return runCliSignalled(
            {"station", file("Fw_1.03.hex"), "--port", first->path(), "--port", second->path(),
             "--model", "16:32:48", "--serial-at", "0x8100", "--serial-counter", file("counter"),
             "--db", url, "--log", log},
            file("config"),
            [](const std::string& out) {
                return boards(out) == 6 && out.find("database back") != std::string::npos;
            },
            SIGINT);
    });
    const auto waitFor = [&](std::size_t records) {
        for (int i = 0; i < 300 && recordsInLog() < records; ++i) std::this_thread::sleep_for(50ms);
        return recordsInLog();
    };
    ASSERT_GE(waitFor(1), 1u);
    ASSERT_EQ(std::system((cluster + "stop -m fast >/dev/null").c_str()), 0);
    EXPECT_GE(waitFor(4), 4u) << "the boards go on while the database is away";
    ASSERT_EQ(std::system((cluster + "start >/dev/null").c_str()), 0);
    const CliRun ended = run.get();
    EXPECT_EQ(ended.exit, 0) << ended.out << ended.err;
    EXPECT_NE(ended.out.find("database unreachable: "), std::string::npos) << ended.out;
    first->signal(SIGTERM);
    second->signal(SIGTERM);

    const cli::ReadLog read = cli::readStationLogFile(log);
    ASSERT_EQ(read.records.size(), 6u);
    std::set<std::string> ids;
    for (const cli::BoardRecord& record : read.records) ids.insert(record.id);
    std::string csvIds;
    for (const std::string& id : ids) csvIds += (csvIds.empty() ? "" : ",") + id;
    EXPECT_EQ(sqlValue(url, "SELECT count(*) FROM comflash_records"), "6") << "none doubled";
    EXPECT_EQ(
        sqlValue(url, "SELECT string_agg(id, ',' ORDER BY id COLLATE \"C\") FROM comflash_records"),
        csvIds)
        << "none lost";
    EXPECT_EQ(sqlValue(url, "SELECT string_agg(serial, ',' ORDER BY serial) FROM comflash_records"),
              "500,501,502,503,504,505");
}

}  // namespace
}  // namespace comflash::e2e
