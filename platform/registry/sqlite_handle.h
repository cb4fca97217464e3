#pragma once

#include <utility>

struct sqlite3;
struct sqlite3_stmt;

namespace vz::platform {

// Move-only owner of an open SQLite database.
class SqliteDb {
public:
    SqliteDb() = default;
    explicit SqliteDb(sqlite3* db) : m_db(db) {}
    ~SqliteDb();
    SqliteDb(SqliteDb&& o) noexcept : m_db(std::exchange(o.m_db, nullptr)) {}
    SqliteDb& operator=(SqliteDb&& o) noexcept;
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;
    sqlite3* get() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

// Move-only owner of a prepared statement.
class SqliteStatement {
public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* s) : m_stmt(s) {}
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& o) noexcept : m_stmt(std::exchange(o.m_stmt, nullptr)) {}
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    SqliteStatement& operator=(SqliteStatement&&) = delete;
    sqlite3_stmt* get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace vz::platform
