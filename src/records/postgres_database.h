// The factory's database in PostgreSQL, through libpq. A worker thread owns the connection
// (libpq blocks); the event loop only queues work and gets answers through `post`.
//
// Tables (created the first time, in one transaction under an advisory lock, so that stations
// starting together do not race):
//   comflash_schema(version)   the versions of these tables the database has; 1 now
//   comflash_records           one row per board, known by its id: stored once however often
//                              it is sent
//   comflash_serials           each serial number drawn from the sequence comflash_serial_numbers,
//                              with the station that reserved it and its state (reserved, then
//                              used or void together with the record that names it)
// A program knows the versions up to kSchemaVersion: it brings an older database up to its own
// in that transaction, and refuses a newer one, whose tables it would misread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/factory.h"
#include "cli/station_log_reader.h"

namespace comflash::records {

constexpr int kSchemaVersion = 1;

// Runs a function on the event loop's thread, later, in the order given; callable from any
// thread.
using Post = std::function<void(std::function<void()>)>;

struct Timing {
    std::chrono::milliseconds retry{1000};  // between tries while the database cannot be reached
    std::chrono::seconds connect{3};        // the longest a connection may take to open
};

// Empty when libpq reads `url` as a connection string, else why not.
std::string urlProblem(const std::string& url);

class PostgresDatabase final : public cli::FactoryDatabase {
  public:
    // `log`: the station's CSV read back; its records are queued first and its warnings are
    // the first events. Nothing blocks here: the connection opens on the worker thread.
    PostgresDatabase(std::string url, std::string station, cli::ReadLog log, Post post,
                     Timing timing = {});
    // Stops the worker at once: a query under way is dropped with its connection (the server
    // rolls it back); records still queued are in the CSV and are sent the next time.
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    void push(const cli::BoardRecord& record) override;
    void reserveSerial(
        std::function<void(const std::optional<std::string>& serial, const std::string& why)> done)
        override;
    // Each time it goes down, a call is posted to the event loop (one that waits for it wakes).
    std::size_t waiting() const override;

  private:
    using SerialDone = std::function<void(const std::optional<std::string>&, const std::string&)>;
    void work();
    void flush(std::unique_lock<std::mutex>& lock);
    // Both queue a call for the event loop (outbox_), under the lock.
    void event(const std::string& line);
    void answer(SerialDone done, std::optional<std::string> serial, std::string why);

    const std::string url_;
    const std::string station_;
    const Post post_;
    const Timing timing_;
    // Whether this object still lives, read on the event loop's thread by what was posted.
    const std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<cli::BoardRecord> queue_;
    std::deque<SerialDone> serials_;
    std::vector<std::function<void()>> outbox_;  // calls to post once the lock is let go
    std::atomic<bool> stopping_ = false;
    std::thread worker_;
};

// Stores `records` in the database at `url`, those not there yet, in the order given; blocks
// until done. For a command that sends a whole log.
cli::StoredRecords storeRecords(const std::string& url,
                                const std::vector<cli::BoardRecord>& records, Timing timing = {});

}  // namespace comflash::records
