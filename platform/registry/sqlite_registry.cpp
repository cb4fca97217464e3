// The registry on SQLite: one database file per hive.
//
// Schema: keys(path) lists every existing key; vals(key, name, type, text, number)
// holds the values. Both compare with COLLATE NOCASE, SQLite's ASCII-only folding,
// which is exactly the registry's "without regard to case". Every write is one
// statement in its own transaction and waits for a concurrent writer (busy timeout),
// so the service and the windowed program writing the machine hive at once never
// corrupt or lose a value.
#include "platform/registry/sqlite_registry.h"

#include "common/environment.h"
#include "platform/registry/sqlite_handle.h"

#include <cerrno>
#include <memory>
#include <mutex>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vz::platform {

SqliteDb::~SqliteDb()
{
    if (m_db)
        sqlite3_close_v2(m_db);
}

SqliteDb& SqliteDb::operator=(SqliteDb&& o) noexcept
{
    if (this != &o) {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = std::exchange(o.m_db, nullptr);
    }
    return *this;
}

SqliteStatement::~SqliteStatement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

namespace {

constexpr int BusyTimeoutMs = 10000;

const char* Schema =
    "CREATE TABLE IF NOT EXISTS keys(path TEXT NOT NULL PRIMARY KEY COLLATE NOCASE);"
    "CREATE TABLE IF NOT EXISTS vals(key TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, text TEXT, number INTEGER, PRIMARY KEY(key, name));";

std::string normaliseKeyPath(std::string_view path)
{
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\'))
            continue; // drop leading and doubled separators
        out += c;
    }
    while (!out.empty() && out.back() == '\\')
        out.pop_back();
    return out;
}

std::string folderOf(const std::string& file)
{
    auto pos = file.rfind('/');
    return pos == std::string::npos ? std::string(".") : file.substr(0, pos == 0 ? 1 : pos);
}

// One hive file. Opens lazily: reading needs only a readable file; writing needs a
// file (or, for a new hive, a folder) this user may write.
// Makes the folder and the missing ones above it. Folders made above the hive's own
// (a new ~/.config) are private to the user; the hive's folder is readable by all, as
// the machine hive must be.
Result<void> makeFolders(const std::string& folder)
{
    if (::access(folder.c_str(), F_OK) == 0)
        return Success {};
    std::string parent = folderOf(folder);
    std::vector<std::string> missing;
    while (parent != folder && ::access(parent.c_str(), F_OK) != 0) {
        missing.push_back(parent);
        std::string up = folderOf(parent);
        if (up == parent)
            break;
        parent = up;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST)
            return Error::fromErrno("mkdir", errno, *it);
    }
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
        return Error::fromErrno("mkdir", errno, folder);
    return Success {};
}

class Hive {
public:
    explicit Hive(std::string file) : m_file(std::move(file)) {}

    // Whether this user may write the hive: the file when it exists (and its folder, for
    // SQLite's journal), else the nearest folder that exists on the way to it, where the
    // missing ones would be made. The failure carries the real errno.
    Result<void> writable() const
    {
        if (::access(m_file.c_str(), F_OK) == 0) {
            if (::access(m_file.c_str(), W_OK) != 0)
                return Error::fromErrno("open hive for writing", errno, m_file);
            if (::access(folderOf(m_file).c_str(), W_OK) != 0)
                return Error::fromErrno("open hive for writing", errno, folderOf(m_file));
            return Success {};
        }
        std::string folder = folderOf(m_file);
        while (::access(folder.c_str(), F_OK) != 0) {
            if (errno != ENOENT)
                return Error::fromErrno("open hive for writing", errno, folder);
            std::string parent = folderOf(folder);
            if (parent == folder)
                break;
            folder = parent;
        }
        if (::access(folder.c_str(), W_OK) != 0)
            return Error::fromErrno("open hive for writing", errno, folder);
        return Success {};
    }

    // The connection for reading; null when the hive does not exist or cannot be read.
    sqlite3* reader()
    {
        std::lock_guard lock(m_mutex);
        if (m_writeDb.get())
            return m_writeDb.get();
        if (m_readDb.get())
            return m_readDb.get();
        if (::access(m_file.c_str(), R_OK) != 0)
            return nullptr;
        auto db = open(SQLITE_OPEN_READONLY);
        if (!db)
            return nullptr;
        m_readDb = std::move(*db);
        return m_readDb.get();
    }

    // The connection for writing, making the hive when missing. A connection once
    // handed out stays open until the registry goes, so a reader never loses it.
    Result<sqlite3*> writer()
    {
        std::lock_guard lock(m_mutex);
        if (!m_writeDb.get()) {
            if (auto ok = writable(); !ok)
                return ok.error();
            if (auto made = makeFolders(folderOf(m_file)); !made)
                return made.error();
            auto db = open(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            if (!db)
                return db.error();
            m_writeDb = std::move(*db);
        }
        return m_writeDb.get();
    }

    const std::string& file() const { return m_file; }
    // Serialises this program's multi-statement transactions on the shared connection.
    std::mutex& transactionMutex() { return m_transactionMutex; }

private:
    Result<SqliteDb> open(int flags)
    {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(m_file.c_str(), &raw, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
        SqliteDb db(raw);
        if (rc != SQLITE_OK)
            return Error { "sqlite3_open_v2", rc, m_file + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory") };
        sqlite3_busy_timeout(db.get(), BusyTimeoutMs);
        if (!(flags & SQLITE_OPEN_READONLY)) {
            char* err = nullptr;
            rc = sqlite3_exec(db.get(), Schema, nullptr, nullptr, &err);
            if (rc != SQLITE_OK) {
                Error e { "create hive schema", rc, m_file + ": " + (err ? err : "") };
                sqlite3_free(err);
                return e;
            }
        }
        return db;
    }

    std::string m_file;
    std::mutex m_mutex;
    std::mutex m_transactionMutex;
    SqliteDb m_readDb;
    SqliteDb m_writeDb;
};

Error sqliteError(sqlite3* db, const char* call, int rc)
{
    return Error { call, rc, sqlite3_errmsg(db) };
}

Result<SqliteStatement> prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    if (rc != SQLITE_OK)
        return sqliteError(db, "sqlite3_prepare_v2", rc);
    return SqliteStatement(stmt);
}

void bindText(const SqliteStatement& s, int index, std::string_view text)
{
    sqlite3_bind_text(s.get(), index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool keyExists(sqlite3* db, const std::string& path)
{
    if (path.empty())
        return true; // the hive's root
    auto stmt = prepare(db, "SELECT 1 FROM keys WHERE path = ?1");
    if (!stmt)
        return false;
    bindText(*stmt, 1, path);
    return sqlite3_step(stmt->get()) == SQLITE_ROW;
}

RegValue valueFromRow(sqlite3_stmt* s, int firstColumn)
{
    auto type = static_cast<RegType>(sqlite3_column_int(s, firstColumn));
    if (type == RegType::Dword)
        return RegValue::dword(static_cast<std::uint32_t>(sqlite3_column_int64(s, firstColumn + 2)));
    const unsigned char* t = sqlite3_column_text(s, firstColumn + 1);
    int n = sqlite3_column_bytes(s, firstColumn + 1);
    RegValue v = RegValue::string(t ? std::string(reinterpret_cast<const char*>(t), static_cast<std::size_t>(n)) : std::string {});
    v.type = type;
    return v;
}

class SqliteKey final : public RegistryKey {
public:
    SqliteKey(std::shared_ptr<Hive> hive, std::string path, KeyAccess access)
        : m_hive(std::move(hive))
        , m_path(std::move(path))
        , m_access(access)
    {
    }

    std::optional<RegValue> query(std::string_view name) const override
    {
        sqlite3* db = m_hive->reader();
        if (!db)
            return std::nullopt;
        auto stmt = prepare(db, "SELECT type, text, number FROM vals WHERE key = ?1 AND name = ?2");
        if (!stmt)
            return std::nullopt;
        bindText(*stmt, 1, m_path);
        bindText(*stmt, 2, name);
        if (sqlite3_step(stmt->get()) != SQLITE_ROW)
            return std::nullopt;
        return valueFromRow(stmt->get(), 0);
    }

    Result<void> set(std::string_view name, const RegValue& value) override
    {
        auto db = writableDb();
        if (!db)
            return db.error();
        // The key may have been deleted meanwhile; the insert of its path keeps it existing.
        auto stmt = prepare(*db,
            "INSERT INTO vals(key, name, type, text, number) VALUES(?1, ?2, ?3, ?4, ?5)"
            " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, text = excluded.text, number = excluded.number");
        if (!stmt)
            return stmt.error();
        bindText(*stmt, 1, m_path);
        bindText(*stmt, 2, name);
        sqlite3_bind_int(stmt->get(), 3, static_cast<int>(value.type));
        if (value.type == RegType::Dword) {
            sqlite3_bind_null(stmt->get(), 4);
            sqlite3_bind_int64(stmt->get(), 5, value.number);
        } else {
            bindText(*stmt, 4, value.text);
            sqlite3_bind_null(stmt->get(), 5);
        }
        int rc = sqlite3_step(stmt->get());
        if (rc != SQLITE_DONE)
            return sqliteError(*db, "set registry value", rc);
        return Success {};
    }

    Result<void> remove(std::string_view name) override
    {
        auto db = writableDb();
        if (!db)
            return db.error();
        auto stmt = prepare(*db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
        if (!stmt)
            return stmt.error();
        bindText(*stmt, 1, m_path);
        bindText(*stmt, 2, name);
        int rc = sqlite3_step(stmt->get());
        if (rc != SQLITE_DONE)
            return sqliteError(*db, "delete registry value", rc);
        if (sqlite3_changes(*db) == 0)
            return Error::fromErrno("delete registry value", ENOENT, std::string(name));
        return Success {};
    }

    std::vector<std::pair<std::string, RegValue>> values() const override
    {
        std::vector<std::pair<std::string, RegValue>> out;
        sqlite3* db = m_hive->reader();
        if (!db)
            return out;
        auto stmt = prepare(db, "SELECT name, type, text, number FROM vals WHERE key = ?1 ORDER BY name COLLATE NOCASE");
        if (!stmt)
            return out;
        bindText(*stmt, 1, m_path);
        while (sqlite3_step(stmt->get()) == SQLITE_ROW) {
            const unsigned char* n = sqlite3_column_text(stmt->get(), 0);
            out.emplace_back(n ? reinterpret_cast<const char*>(n) : "", valueFromRow(stmt->get(), 1));
        }
        return out;
    }

private:
    Result<sqlite3*> writableDb()
    {
        if (m_access != KeyAccess::FullAccess)
            return Error::fromErrno("write registry value", EACCES, m_path + " (opened for reading)");
        return m_hive->writer();
    }

    // Shared, so that a key stays usable when the registry object goes first.
    std::shared_ptr<Hive> m_hive;
    std::string m_path;
    KeyAccess m_access;
};

class SqliteRegistry final : public Registry {
public:
    explicit SqliteRegistry(const RegistryLocation& location)
        : m_machine(std::make_shared<Hive>(location.machineHive))
        , m_user(std::make_shared<Hive>(location.userHive))
    {
    }

    Result<std::unique_ptr<RegistryKey>> openKey(vz::Hive which, std::string_view path, KeyAccess access) override
    {
        std::shared_ptr<Hive> hivePtr = hiveFor(which);
        Hive& hive = *hivePtr;
        std::string key = normaliseKeyPath(path);
        if (access == KeyAccess::FullAccess) {
            if (auto ok = hive.writable(); !ok)
                return Error { "open registry key", ok.error().code, key + ": " + ok.error().detail };
        }
        sqlite3* db = hive.reader();
        if (!db || !keyExists(db, key))
            return Error::fromErrno("open registry key", ENOENT, key);
        return std::unique_ptr<RegistryKey>(std::make_unique<SqliteKey>(hivePtr, key, access));
    }

    Result<std::unique_ptr<RegistryKey>> createKey(vz::Hive which, std::string_view path) override
    {
        std::shared_ptr<Hive> hivePtr = hiveFor(which);
        Hive& hive = *hivePtr;
        std::string key = normaliseKeyPath(path);
        auto db = hive.writer();
        if (!db)
            return db.error();
        // The key and each of its parents, in one transaction.
        std::lock_guard transaction(hive.transactionMutex());
        char* err = nullptr;
        int rc = sqlite3_exec(*db, "BEGIN IMMEDIATE", nullptr, nullptr, &err);
        sqlite3_free(err);
        if (rc != SQLITE_OK)
            return sqliteError(*db, "create registry key", rc);
        auto stmt = prepare(*db, "INSERT OR IGNORE INTO keys(path) VALUES(?1)");
        bool ok = stmt.ok();
        for (std::size_t pos = 0; ok;) {
            pos = key.find('\\', pos);
            std::string part = key.substr(0, pos);
            if (!part.empty()) {
                sqlite3_reset(stmt->get());
                bindText(*stmt, 1, part);
                ok = sqlite3_step(stmt->get()) == SQLITE_DONE;
            }
            if (pos == std::string::npos)
                break;
            ++pos;
        }
        rc = sqlite3_exec(*db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
        if (!ok || rc != SQLITE_OK)
            return sqliteError(*db, "create registry key", rc);
        return std::unique_ptr<RegistryKey>(std::make_unique<SqliteKey>(hivePtr, key, KeyAccess::FullAccess));
    }

private:
    std::shared_ptr<Hive> hiveFor(vz::Hive which) { return which == vz::Hive::LocalMachine ? m_machine : m_user; }

    std::shared_ptr<Hive> m_machine;
    std::shared_ptr<Hive> m_user;
};

} // namespace

RegistryLocation RegistryLocation::inFolder(const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    return RegistryLocation { f + "/machine.db", f + "/user.db" };
}

RegistryLocation RegistryLocation::fromEnvironment()
{
    std::string dir = environment::variable(environment::RegistryDirVariable);
    if (!dir.empty())
        return inFolder(dir);
    std::string config = environment::variable("XDG_CONFIG_HOME");
    if (config.empty()) {
        // Without HOME the user's own home folder, never another user's.
        std::string home = environment::variable("HOME");
        if (home.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
                home = pw->pw_dir;
        }
        config = (home.empty() ? std::string("/nonexistent") : home) + "/.config";
    }
    return RegistryLocation { "/var/lib/vodazedad/machine.db", config + "/vodazedad/user.db" };
}

std::unique_ptr<Registry> openRegistry(const RegistryLocation& location)
{
    return std::make_unique<SqliteRegistry>(location);
}

} // namespace vz::platform
