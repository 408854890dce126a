// The factory's database against a real PostgreSQL: the throw-away cluster of pg_virtualenv
// (scripts/test.sh), whose PG* variables say where it is. Each test has a database of its own.
// Serial numbers drawn by stations at once, and an outage, are tried end to end with the
// stations themselves (tests/e2e/factory_database_test.cpp).
#include "records/postgres_database.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "cli_process.h"
#include "temp_folder.h"
#include "test_database.h"

namespace comflash::records {
namespace {

using namespace std::chrono_literals;

// The test's event loop: what the database posts runs here, on the test's thread.
class Loop {
  public:
    Post post() {
        return [this](std::function<void()> function) {
            {
                const std::lock_guard lock(mutex_);
                posted_.push_back(std::move(function));
            }
            arrived_.notify_all();
        };
    }
    // Runs what is posted until `done` holds (asked with no lock held); false after 30 s (a
    // test that is stuck).
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!arrived_.wait_until(lock, deadline, [&] { return !posted_.empty(); })) {
                return false;
            }
            auto function = std::move(posted_.front());
            posted_.pop_front();
            lock.unlock();
            function();
        }
        return true;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::function<void()>> posted_;
};

using test::sqlValue;

// Each test on a new, empty database of its own: `url` names it.
class PostgresDatabaseTest : public test::DatabaseTest {
  protected:
    PostgresDatabaseTest() : DatabaseTest("comflash_") {}
};

cli::BoardRecord record(const std::string& id, const std::string& serial = {}) {
    cli::BoardRecord r;
    r.time = "2026-12-07T14:05:03Z";
    r.port = "COM1";
    r.code = "succeeded";
    r.result = "Successful";
    r.id = id;
    r.station = "s1";
    r.serial = serial;
    r.serialState = serial.empty() ? "" : "used";
    return r;
}

constexpr Timing kQuick{50ms, 3s};

// A record sent twice, by a station and by a log pushed twice, is stored once; the serial
// number the station reserved for it is marked used with the record's id in the same step.
// A record the database refuses is left out on its own, said so.
TEST_F(PostgresDatabaseTest, StoresEachRecordOnce) {
    Loop loop;
    {
        cli::ReadLog log;
        cli::BoardRecord timeless = record("bad");
        timeless.time = "not a time";
        log.records = {record("a"), timeless, record("a")};
        PostgresDatabase db(url, "s1", log, loop.post(), kQuick);
        std::vector<std::string> events;
        db.onEvent = [&](const std::string& line) { events.push_back(line); };
        std::optional<std::string> serial;
        db.reserveSerial([&](const auto& s, const auto&) { serial = s; });
        ASSERT_TRUE(loop.runUntil([&] { return serial.has_value(); }));
        db.push(record("b", *serial));
        db.push(record("a"));
        ASSERT_TRUE(loop.runUntil([&] { return db.waiting() == 0; }));
        EXPECT_EQ(sqlValue(url, "SELECT state || ' ' || record_id FROM comflash_serials"),
                  "used b");
        EXPECT_EQ(events,
                  std::vector<std::string>{
                      "database refused the record bad: ERROR:  invalid input syntax for "
                      "type timestamp with time zone: \"not a time\"; it stays in the CSV"});
    }
    struct Case {
        std::vector<cli::BoardRecord> records;
        std::size_t stored;
    };
    cli::BoardRecord quoted = record("c");
    quoted.note = "say \"hi\", {a} \\ 读写失败\r\n";
    const std::vector<Case> pushes{
        {{record("a"), quoted, quoted}, 1},
        {{record("c"), record("b")}, 0},
    };
    for (const Case& c : pushes) {
        const cli::StoredRecords stored = storeRecords(url, c.records);
        EXPECT_EQ(stored.end, cli::StoredRecords::End::Stored) << stored.why;
        EXPECT_EQ(stored.stored, c.stored);
    }
    EXPECT_EQ(sqlValue(url, "SELECT string_agg(id, ',' ORDER BY id) FROM comflash_records"),
              "a,b,c");
    EXPECT_EQ(sqlValue(url, "SELECT note FROM comflash_records WHERE id = 'c'"), quoted.note);
}

// A database dropped while its worker hands out what it posted ends: the stop asked for in
// that moment, with the worker's lock let go, is not slept through.
TEST_F(PostgresDatabaseTest, EndsWhenDroppedWhileItPosts) {
    std::atomic<bool> posting = false;
    std::atomic<bool> dropping = false;
    std::atomic<bool> first = true;
    // The first post (the record stored) holds the worker until the drop has begun.
    const Post post = [&](const std::function<void()>&) {
        if (!first.exchange(false)) return;
        posting = true;
        while (!dropping) std::this_thread::yield();
        for (int i = 0; i < 1000; ++i) std::this_thread::yield();
    };
    auto db = std::make_unique<PostgresDatabase>(url, "s1", cli::ReadLog{}, post, kQuick);
    db->push(record("a"));
    while (!posting) std::this_thread::yield();
    // A worker that sleeps for ever would hold this test for ever too.
    std::promise<void> ended;
    std::thread watchdog([done = ended.get_future()] {
        if (done.wait_for(10s) == std::future_status::ready) return;
        std::fputs("the database did not end when dropped\n", stderr);
        std::_Exit(1);
    });
    dropping = true;
    db.reset();
    ended.set_value();
    watchdog.join();
    EXPECT_EQ(sqlValue(url, "SELECT id FROM comflash_records"), "a");
}

// A database that cannot be used says so in one line and answers a serial number's request
// with why; the program goes on.
TEST_F(PostgresDatabaseTest, SaysWhyItCannotBeUsed) {
    ASSERT_EQ(sqlValue(url,
                       "CREATE TABLE comflash_schema (version integer); "
                       "INSERT INTO comflash_schema VALUES (2)"),
              "");
    struct Case {
        std::string url;
        std::string event;
    };
    const std::vector<Case> cases{
        {"host=127.0.0.1 port=1",
         "database unreachable: connection to server at \"127.0.0.1\", port 1 failed: "
         "Connection refused; records wait in the CSV"},
        {url,
         "database refused: the database's comflash tables are of version 2, newer than this "
         "comflash-cli knows (1); a newer comflash-cli is needed; records wait in the CSV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        Loop loop;
        std::vector<std::string> events;
        std::optional<std::string> why;
        PostgresDatabase db(c.url, "s1", {}, loop.post(), kQuick);
        db.onEvent = [&](const std::string& line) { events.push_back(line); };
        db.push(record("x"));
        db.reserveSerial([&](const auto& serial, const std::string& reason) {
            EXPECT_FALSE(serial);
            why = reason;
        });
        ASSERT_TRUE(loop.runUntil([&] { return why && !events.empty(); }));
        EXPECT_EQ(events, std::vector<std::string>{c.event});
        EXPECT_EQ(db.waiting(), 1u);
    }
    EXPECT_EQ(urlProblem("host"), "missing \"=\" after \"host\" in connection info string");
}

// comflash-cli records push: what it read, stored and found there already; a torn last line
// left out with a warning; a log of the older format; exit status 1 without a database and
// 2 for a URL that is none.
TEST_F(PostgresDatabaseTest, RecordsPushCommand) {
    const test::TempFolder folder;
    const std::string log = (folder.path() / "station.csv").string();
    const std::string older = (folder.path() / "older.csv").string();
    std::ofstream(log, std::ios::binary) << cli::csvHeader() << cli::csvLine(record("a"))
                                         << cli::csvLine(record("b")) << "2026-12-07T14:0";
    std::ofstream(older, std::ios::binary)
        << cli::olderCsvHeader() << "2026-12-07T14:05:03Z,COM2,,f.hex,,,,ok,succeeded,no,1.0,0\r\n";
    struct Case {
        std::string file;
        std::string db;
        int exit;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases{
        {log, url, 0, "2 records read, 2 stored, 0 already there\n",
         "station.csv: line 4 has no line end: a record torn when the station stopped; it is "
         "left out\n"},
        {log, url, 0, "2 records read, 0 stored, 2 already there\n", "line 4 has no line end"},
        {older, url, 0, "1 record read, 1 stored, 0 already there\n", ""},
        {older, url, 0, "1 record read, 0 stored, 1 already there\n", ""},
        {older, "host=127.0.0.1 port=1", 1, "",
         "--db: connection to server at \"127.0.0.1\", port 1 failed: Connection refused; no "
         "record was lost: they stay in "},
        {older, "host", 2, "", "--db: missing \"=\" after \"host\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " " + c.db);
        const auto run = e2e::runCli({"records", "push", c.file, "--db", c.db}, folder.path());
        EXPECT_EQ(run.exit, c.exit);
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    EXPECT_EQ(sqlValue(url, "SELECT count(*) FROM comflash_records"), "3");
}

}  // namespace
}  // namespace comflash::records
