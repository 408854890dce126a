#include "records/postgres_database.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

namespace comflash::records {

namespace {

using Clock = std::chrono::steady_clock;

// How long a wait on the socket lasts before the worker looks whether it is to stop.
constexpr int kStopCheckMilliseconds = 100;
// Records per INSERT.
constexpr std::size_t kBatch = 1000;
// The key of the advisory lock that makes one station at a time create or upgrade the tables.
constexpr const char* kSchemaLock = "7420911330155829";

constexpr const char* kCreateVersion1 = R"(
CREATE SEQUENCE IF NOT EXISTS comflash_serial_numbers;
CREATE TABLE IF NOT EXISTS comflash_records (
    id text PRIMARY KEY,
    station text NOT NULL,
    time timestamptz,
    port text NOT NULL,
    device text NOT NULL,
    firmware text NOT NULL,
    sha256 text NOT NULL,
    model text NOT NULL,
    version text NOT NULL,
    result text NOT NULL,
    code text NOT NULL,
    verified boolean NOT NULL,
    seconds double precision NOT NULL,
    bytes bigint NOT NULL,
    serial text NOT NULL,
    serial_state text NOT NULL,
    note text NOT NULL,
    stored_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE IF NOT EXISTS comflash_serials (
    value bigint PRIMARY KEY DEFAULT nextval('comflash_serial_numbers'),
    station text NOT NULL,
    reserved_at timestamptz NOT NULL DEFAULT now(),
    state text NOT NULL DEFAULT 'reserved' CHECK (state IN ('reserved', 'used', 'void')),
    record_id text
);
ALTER SEQUENCE comflash_serial_numbers OWNED BY comflash_serials.value;
INSERT INTO comflash_schema (version) VALUES (1);
)";

std::string firstLine(const char* message) {
    std::string line = message != nullptr ? message : "";
    line = line.substr(0, line.find('\n'));
    return line.empty() ? "no answer" : line;
}

// Waits until the socket can be read (or written), in slices, so that a stop is seen at once;
// false when stopping or past `deadline`.
bool waitSocket(int socket, bool forWrite, const std::atomic<bool>& stopping,
                Clock::time_point deadline) {
    while (!stopping) {
        if (Clock::now() >= deadline) return false;
        pollfd watched{socket, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
        const int ready = ::poll(&watched, 1, kStopCheckMilliseconds);
        if (ready != 0) return true;  // ready, or an error libpq is to find
    }
    return false;
}

using Result = std::unique_ptr<PGresult, decltype(&PQclear)>;

// One open connection, used by one thread.
class Connection {
  public:
    explicit Connection(PGconn* connection) : connection_(connection) {}
    ~Connection() { PQfinish(connection_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens a connection; none, and why, when it cannot.
    static std::unique_ptr<Connection> open(const std::string& url, Timing timing,
                                            const std::atomic<bool>& stopping, std::string& why) {
        const char* keywords[] = {"dbname", "application_name", nullptr};
        const char* values[] = {url.c_str(), "comflash", nullptr};
        auto connection = std::make_unique<Connection>(PQconnectStartParams(keywords, values, 1));
        PGconn* conn = connection->connection_;
        if (conn == nullptr) {
            why = "out of memory";
            return nullptr;
        }
        const auto deadline = Clock::now() + timing.connect;
        for (auto state = PGRES_POLLING_WRITING; PQstatus(conn) != CONNECTION_BAD;
             state = PQconnectPoll(conn)) {
            if (state == PGRES_POLLING_OK) return connection;
            if (state == PGRES_POLLING_FAILED) break;
            if (!waitSocket(PQsocket(conn), state == PGRES_POLLING_WRITING, stopping, deadline)) {
                why = stopping ? "stopped" : "no connection within the time-out";
                return nullptr;
            }
        }
        why = firstLine(PQerrorMessage(conn));
        return nullptr;
    }

    // The query's result; its first line of error in `why` when it failed.
    Result run(const std::string& sql, const std::vector<std::string>& parameters,
               const std::atomic<bool>& stopping) {
        std::vector<const char*> values;
        for (const std::string& parameter : parameters) values.push_back(parameter.c_str());
        Result result(nullptr, PQclear);
        state_.clear();
        // Without parameters, the simple protocol: a text of several statements runs whole.
        const int sent =
            values.empty()
                ? PQsendQuery(connection_, sql.c_str())
                : PQsendQueryParams(connection_, sql.c_str(), static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
        if (sent == 0) {
            why_ = firstLine(PQerrorMessage(connection_));
            return result;
        }
        while (PQisBusy(connection_) != 0) {
            if (!waitSocket(PQsocket(connection_), false, stopping, Clock::time_point::max())) {
                why_ = "stopped";
                return result;
            }
            if (PQconsumeInput(connection_) == 0) break;
        }
        // The last result, unless one failed: that one says why.
        while (PGresult* next = PQgetResult(connection_)) {
            const bool failed = result && PQresultStatus(result.get()) == PGRES_FATAL_ERROR;
            if (failed) {
                PQclear(next);
            } else {
                result.reset(next);
            }
        }
        const auto status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            why_ = firstLine(result ? PQresultErrorMessage(result.get())
                                    : PQerrorMessage(connection_));
            const char* state = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : "";
            state_ = state != nullptr ? state : "";
            result.reset();
        }
        return result;
    }
    Result run(const std::string& sql, const std::atomic<bool>& stopping) {
        return run(sql, {}, stopping);
    }

    // The connection is gone (or the server going), rather than the statement refused.
    bool lost() const {
        // Class 08 is the connection's; 57P01 to 57P03, the server shutting down or starting.
        if (PQstatus(connection_) == CONNECTION_BAD || state_.starts_with("08") ||
            state_.starts_with("57P") || state_.empty()) {
            return true;
        }
        const PGTransactionStatusType state = PQtransactionStatus(connection_);
        return state == PQTRANS_UNKNOWN || state == PQTRANS_ACTIVE;
    }
    const std::string& why() const { return why_; }

  private:
    PGconn* connection_;
    std::string why_;
    std::string state_;  // the last failure's SQLSTATE; empty when libpq itself failed
};

std::string valueOf(const Result& result) {
    return result && PQntuples(result.get()) > 0 && PQgetisnull(result.get(), 0, 0) == 0
               ? PQgetvalue(result.get(), 0, 0)
               : std::string();
}

enum class Schema { Ready, Failed, Newer };

// Brings the database's tables to this program's version; `why` when it cannot.
Schema prepareSchema(Connection& db, const std::atomic<bool>& stopping, std::string& why) {
    // Usually the tables are there already: no lock and no DDL (a station's account need not
    // be allowed to create tables).
    const std::string known = std::to_string(kSchemaVersion);
    auto found = db.run("SELECT to_regclass('comflash_schema') IS NOT NULL", stopping);
    if (found && valueOf(found) == "t") {
        found = db.run("SELECT coalesce(max(version), 0) FROM comflash_schema", stopping);
    }
    if (!found) {
        why = db.why();
        return Schema::Failed;
    }
    int version = valueOf(found) == "f" ? 0 : std::stoi(valueOf(found));
    if (version < kSchemaVersion) {
        const bool done =
            db.run("BEGIN", stopping) &&
            db.run(std::string("SELECT pg_advisory_xact_lock(") + kSchemaLock + ")", stopping) &&
            db.run("CREATE TABLE IF NOT EXISTS comflash_schema (version integer PRIMARY KEY)",
                   stopping) &&
            (found = db.run("SELECT coalesce(max(version), 0) FROM comflash_schema", stopping)) &&
            ((version = std::stoi(valueOf(found))) >= kSchemaVersion ||
             db.run(kCreateVersion1, stopping)) &&
            db.run(version > kSchemaVersion ? "ROLLBACK" : "COMMIT", stopping);
        if (!done) {
            why = db.why();
            if (!db.lost()) db.run("ROLLBACK", stopping);
            return Schema::Failed;
        }
    }
    if (version > kSchemaVersion) {
        why = "the database's comflash tables are of version " + std::to_string(version) +
              ", newer than this comflash-cli knows (" + known +
              "); a newer comflash-cli is needed";
        return Schema::Newer;
    }
    return Schema::Ready;
}

constexpr std::size_t kColumnCount = 17;

// One statement, the same text for any number of records (planned in no time): the records as
// one text array per column, stored when not there yet, in the order given; the serial numbers
// they name are marked used or void together with them, so that a board's serial number is
// never left reserved beside its record.
constexpr const char* kInsert =
    "WITH stored AS (INSERT INTO comflash_records (id, station, time, port, device, firmware, "
    "sha256, model, version, result, code, verified, seconds, bytes, serial, serial_state, note) "
    "SELECT r.id, r.station, NULLIF(r.time, '')::timestamptz, r.port, r.device, r.firmware, "
    "r.sha256, r.model, r.version, r.result, r.code, r.verified::boolean, "
    "r.seconds::double precision, r.bytes::bigint, r.serial, r.serial_state, r.note FROM "
    "unnest($1::text[], $2::text[], $3::text[], $4::text[], $5::text[], $6::text[], $7::text[], "
    "$8::text[], $9::text[], $10::text[], $11::text[], $12::text[], $13::text[], $14::text[], "
    "$15::text[], $16::text[], $17::text[]) WITH ORDINALITY AS r(id, station, time, port, "
    "device, firmware, sha256, model, version, result, code, verified, seconds, bytes, serial, "
    "serial_state, note, n) ORDER BY r.n "
    "ON CONFLICT (id) DO NOTHING RETURNING id, station, serial, serial_state), "
    "marked AS (UPDATE comflash_serials s SET state = stored.serial_state, "
    "record_id = stored.id FROM stored WHERE stored.serial_state IN ('used', 'void') "
    "AND s.state = 'reserved' AND s.station = stored.station AND s.value = CASE WHEN "
    "stored.serial ~ '^[0-9]{1,18}$' THEN stored.serial::bigint END RETURNING 1) "
    "SELECT count(*) FROM stored";

// The first `count` records as the statement's parameters: per column an array literal, each
// element quoted, its quotes and backslashes escaped.
std::vector<std::string> parametersOf(const std::deque<cli::BoardRecord>& records,
                                      std::size_t count) {
    std::vector<std::string> columns(kColumnCount, "{");
    for (std::size_t i = 0; i < count; ++i) {
        const cli::BoardRecord& r = records[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
        std::size_t column = 0;
        for (const std::string& value :
             {r.id, r.station, r.time, r.port, r.device, r.firmware, r.sha256, r.model, r.version,
              r.result, r.code, std::string(r.verified ? "true" : "false"), std::string(seconds),
              std::to_string(r.bytes), r.serial, r.serialState, r.note}) {
            std::string& array = columns[column++];
            array += i > 0 ? ",\"" : "\"";
            for (const char c : value) {
                if (c == '"' || c == '\\') array += '\\';
                array += c;
            }
            array += '"';
        }
    }
    for (std::string& array : columns) array += '}';
    return columns;
}

// Stores the first `count` records; how many were new, or none (db.why() says why).
std::optional<std::size_t> store(Connection& db, const std::deque<cli::BoardRecord>& records,
                                 std::size_t count, const std::atomic<bool>& stopping) {
    const auto result = db.run(kInsert, parametersOf(records, count), stopping);
    if (!result) return std::nullopt;
    return static_cast<std::size_t>(std::stoul(valueOf(result)));
}

std::string counted(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " record" : " records");
}

}  // namespace

std::string urlProblem(const std::string& url) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
    std::string why;
    if (options == nullptr) why = error != nullptr ? firstLine(error) : "out of memory";
    PQconninfoFree(options);
    PQfreemem(error);
    return why;
}

PostgresDatabase::PostgresDatabase(std::string url, std::string station, cli::ReadLog log,
                                   Post post, Timing timing)
    : url_(std::move(url)),
      station_(std::move(station)),
      post_(std::move(post)),
      timing_(timing),
      queue_(std::make_move_iterator(log.records.begin()),
             std::make_move_iterator(log.records.end())) {
    if (!log.failure.empty()) event(log.failure);
    for (const std::string& warning : log.warnings) event(warning);
    worker_ = std::thread([this] { work(); });
}

PostgresDatabase::~PostgresDatabase() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    *alive_ = false;
}

void PostgresDatabase::push(const cli::BoardRecord& record) {
    {
        const std::lock_guard lock(mutex_);
        queue_.push_back(record);
    }
    wake_.notify_all();
}

void PostgresDatabase::reserveSerial(SerialDone done) {
    {
        const std::lock_guard lock(mutex_);
        serials_.push_back(std::move(done));
    }
    wake_.notify_all();
}

std::size_t PostgresDatabase::waiting() const {
    const std::lock_guard lock(mutex_);
    return queue_.size();
}

void PostgresDatabase::event(const std::string& line) {
    outbox_.push_back([this, alive = alive_, line] {
        if (*alive && onEvent) onEvent(line);
    });
}

void PostgresDatabase::answer(SerialDone done, std::optional<std::string> serial, std::string why) {
    outbox_.push_back(
        [alive = alive_, done = std::move(done), serial = std::move(serial), why = std::move(why)] {
            if (*alive) done(serial, why);
        });
}

// What was posted while the lock was held goes out once it is not: a post function may take
// locks of its own, and the event loop may be asking waiting() meanwhile.
void PostgresDatabase::flush(std::unique_lock<std::mutex>& lock) {
    if (outbox_.empty()) return;
    auto out = std::move(outbox_);
    outbox_.clear();
    lock.unlock();
    for (auto& function : out) post_(std::move(function));
    lock.lock();
}

void PostgresDatabase::work() {
    std::unique_ptr<Connection> db;
    bool away = false;          // "unreachable" was said, "back" not yet
    std::size_t sinceBack = 0;  // records stored since the database came back
    std::size_t singly = 0;     // records to send one at a time, after a batch was refused
    std::string refusal;        // tables this program must not use: it stops trying
    std::string why;
    const auto answerAll = [&](const std::string& reason) {
        for (auto& done : serials_) answer(std::move(done), std::nullopt, reason);
        serials_.clear();
    };
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        flush(lock);
        if (!refusal.empty()) {
            answerAll(refusal);
            flush(lock);
            wake_.wait(lock, [&] { return stopping_ || !serials_.empty(); });
            continue;
        }
        // Connected even while nothing is to be sent: the operator hears at once of a
        // database that cannot be reached.
        if (!db) {
            lock.unlock();
            db = Connection::open(url_, timing_, stopping_, why);
            const Schema schema = db ? prepareSchema(*db, stopping_, why) : Schema::Failed;
            if (schema != Schema::Ready) db.reset();
            lock.lock();
            if (stopping_) break;
            if (schema == Schema::Newer) {
                refusal = why;
                event("database refused: " + why + "; records wait in the CSV");
                continue;
            }
            if (!db) {
                if (!away) event("database unreachable: " + why + "; records wait in the CSV");
                away = true;
                sinceBack = 0;
                // A board waiting for its serial number is told at once, until the next try.
                const auto next = Clock::now() + timing_.retry;
                while (!stopping_ && Clock::now() < next) {
                    answerAll(why);
                    flush(lock);
                    wake_.wait_until(lock, next, [&] { return stopping_ || !serials_.empty(); });
                }
                answerAll(why);
                continue;
            }
        }
        if (away && queue_.empty()) {
            event("database back: " + counted(sinceBack) + " stored");
            away = false;
        }
        if (queue_.empty() && serials_.empty()) {
            // flush() lets the lock go: a stop asked for meanwhile has already been notified,
            // so the wait looks at the flag before it sleeps.
            flush(lock);
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty() || !serials_.empty(); });
            continue;
        }
        if (!serials_.empty()) {
            SerialDone done = std::move(serials_.front());
            serials_.pop_front();
            lock.unlock();
            const auto reserved =
                db->run("INSERT INTO comflash_serials (station) VALUES ($1) RETURNING value",
                        {station_}, stopping_);
            lock.lock();
            if (!reserved && db->lost()) {
                serials_.push_front(std::move(done));
                db.reset();
            } else if (reserved) {
                answer(std::move(done), valueOf(reserved), {});
            } else {
                answer(std::move(done), std::nullopt, db->why());
            }
            continue;
        }
        // Records in order, many at once; they leave the queue only once stored (or refused).
        const std::size_t count = singly > 0 ? 1 : std::min(queue_.size(), kBatch);
        const std::deque<cli::BoardRecord> batch(queue_.begin(),
                                                 queue_.begin() + static_cast<long>(count));
        lock.unlock();
        const auto stored = store(*db, batch, count, stopping_);
        lock.lock();
        if (!stored && db->lost()) {
            db.reset();
            continue;
        }
        if (!stored && count > 1) {
            // Refused for one record's sake (a time that is no time): each on its own, so that
            // only that one is left out.
            singly = count;
            continue;
        }
        if (!stored) {
            event("database refused the record " + batch.front().id + ": " + db->why() +
                  "; it stays in the CSV");
        }
        singly -= std::min(singly, count);
        sinceBack += stored.value_or(0);
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(count));
        // An event loop waiting for waiting() to change wakes to look.
        outbox_.push_back([] {});
    }
}

cli::StoredRecords storeRecords(const std::string& url,
                                const std::vector<cli::BoardRecord>& records, Timing timing) {
    cli::StoredRecords result;
    if (const std::string why = urlProblem(url); !why.empty()) {
        result.why = why;
        return result;
    }
    result.end = cli::StoredRecords::End::Failed;
    const std::atomic<bool> never{false};
    auto db = Connection::open(url, timing, never, result.why);
    if (!db) return result;
    if (prepareSchema(*db, never, result.why) != Schema::Ready) return result;
    std::deque<cli::BoardRecord> batch;
    for (std::size_t at = 0; at < records.size(); at += kBatch) {
        const std::size_t count = std::min(kBatch, records.size() - at);
        batch.assign(records.begin() + static_cast<long>(at),
                     records.begin() + static_cast<long>(at + count));
        const auto stored = store(*db, batch, count, never);
        if (!stored) {
            result.why = db->why();
            return result;
        }
        result.stored += *stored;
    }
    result.end = cli::StoredRecords::End::Stored;
    return result;
}

}  // namespace comflash::records
