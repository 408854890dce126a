// comflash-cli records push of a station's log of 100,000 records into a fresh database of
// the PostgreSQL server the PG* variables name (scripts/bench.sh runs it inside pg_virtualenv),
// then the same log again, when every record is there already. Prints records per second and
// what a record costs the database: its time on the server and its bytes on disk. A plain
// program: it asserts nothing but that every record was stored.
#include <libpq-fe.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/station_log.h"

namespace {

constexpr std::size_t kRecords = 100000;
constexpr const char* kDatabase = "comflash_bench";

std::string value(const std::string& url, const std::string& sql) {
    PGconn* connection = PQconnectdb(url.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    std::string text = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0
                           ? PQgetvalue(result, 0, 0)
                           : std::string(PQerrorMessage(connection));
    PQclear(result);
    PQfinish(connection);
    return text;
}

// The processor time of the children ended so far, in seconds.
double childrenSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The seconds a push takes; its output is shown.
double push(const std::string& log, const std::string& url) {
    const std::string command =
        std::string(COMFLASH_CLI) + " records push " + log + " --db '" + url + "'";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "records push failed\n");
        std::exit(1);
    }
    return seconds;
}

}  // namespace

int main() {
    if (std::getenv("PGHOST") == nullptr) {
        std::fprintf(stderr, "No PostgreSQL server: run it under pg_virtualenv.\n");
        return 1;
    }
    value("", std::string("DROP DATABASE IF EXISTS ") + kDatabase);
    value("", std::string("CREATE DATABASE ") + kDatabase);
    const std::string url = std::string("dbname=") + kDatabase;
    // The server's own time per statement, where pg_stat_statements is preloaded.
    value(url, "CREATE EXTENSION IF NOT EXISTS pg_stat_statements");
    const auto log = std::filesystem::temp_directory_path() / "comflash-records-bench.csv";
    {
        std::ofstream out(log, std::ios::binary);
        out << comflash::cli::csvHeader();
        comflash::cli::BoardRecord r;
        r.time = "2026-12-07T14:05:03Z";
        r.device = "/dev/ttyUSB0";
        r.firmware = "Fw_1.03.hex";
        r.sha256 = std::string(64, 'a');
        r.model = "16:32:48";
        r.version = "1.3";
        r.result = "Successful, verified";
        r.code = "succeeded";
        r.verified = true;
        r.seconds = 4.9;
        r.bytes = 4096;
        r.station = "bench";
        r.serialState = "used";
        for (std::size_t i = 0; i < kRecords; ++i) {
            char id[40];
            std::snprintf(id, sizeof id, "%032zx", i);
            r.id = id;
            r.port = "COM" + std::to_string(1 + i % 8);
            r.serial = std::to_string(100000 + i);
            out << comflash::cli::csvLine(r);
        }
    }
    const double cpuBefore = childrenSeconds();
    const double first = push(log.string(), url);
    const double cpu = childrenSeconds() - cpuBefore;
    const std::string busy =
        value(url,
              "SELECT sum(total_exec_time + total_plan_time) FROM pg_stat_statements WHERE query "
              "LIKE 'WITH stored%'");
    const double again = push(log.string(), url);
    const std::string count = value(url, "SELECT count(*) FROM comflash_records");
    const double bytes =
        std::stod(value(url,
                        "SELECT pg_total_relation_size('comflash_records')::float8 / count(*) FROM "
                        "comflash_records"));
    std::filesystem::remove(log);
    std::printf("records push of %zu records (%s stored)\n", kRecords, count.c_str());
    std::printf("  new:            %.2f s, %.0f records/s, %.1f us a record\n", first,
                kRecords / first, first * 1e6 / kRecords);
    std::printf("  comflash-cli:   %.1f us of processor time a record\n", cpu * 1e6 / kRecords);
    std::printf("  already there:  %.2f s, %.0f records/s\n", again, kRecords / again);
    std::printf("  on disk:        %.0f bytes a record (table, TOAST and indexes)\n", bytes);
    if (busy.find_first_not_of("0123456789.") == std::string::npos && !busy.empty()) {
        std::printf(
            "  on the server:  %.1f us a record of statement time (planning and "
            "execution)\n",
            std::stod(busy) * 1000 / kRecords);
    }
    return count == std::to_string(kRecords) ? 0 : 1;
}
