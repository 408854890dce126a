// A database of the test's own on the PostgreSQL server that pg_virtualenv names in the PG*
// variables (scripts/test.sh runs the database tests so), and one value read from it.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cctype>
#include <cstdlib>
#include <string>

namespace comflash::test {

// The first value of the first row, as text; "" for a command; "error: ..." when it failed.
inline std::string sqlValue(const std::string& url, const std::string& sql) {
    PGconn* connection = PQconnectdb(url.c_str());
    PGresult* result = PQexec(connection, sql.c_str());
    std::string text = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0
                           ? PQgetvalue(result, 0, 0)
                       : PQresultStatus(result) == PGRES_COMMAND_OK
                           ? ""
                           : "error: " + std::string(PQerrorMessage(connection));
    PQclear(result);
    PQfinish(connection);
    return text;
}

// Each test on a new, empty database named after it (prefix + the test's name): its URL.
// Without a server the test fails rather than passing unseen.
class DatabaseTest : public ::testing::Test {
  protected:
    explicit DatabaseTest(std::string prefix) : prefix_(std::move(prefix)) {}
    void SetUp() override {
        ASSERT_NE(std::getenv("PGHOST"), nullptr)
            << "no PostgreSQL server: run these tests under pg_virtualenv";
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        name = prefix_ + name;
        ASSERT_EQ(sqlValue("", "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)"), "");
        ASSERT_EQ(sqlValue("", "CREATE DATABASE " + name), "");
        url = "dbname=" + name;
    }
    std::string url;

  private:
    std::string prefix_;
};

}  // namespace comflash::test
