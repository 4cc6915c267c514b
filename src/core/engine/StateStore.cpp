#include "engine/StateStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrel {

namespace {

// "KvSt": marks the file as this program's state database, so a foreign
// SQLite file put in its place is never read as a record nor written over.
constexpr int kApplicationId = 0x4B765374;
constexpr int kSchemaVersion = 1;

// Small integers take no bytes of their own in a record, so the two sides'
// types cost two header bytes. An absent side stores NULL size and time.
// Sizes are SQLite's variable-length integers; a write time is one integer of
// nanoseconds since the epoch (or, outside the years 1678-2262 that an int64
// of nanoseconds reaches, a 12-byte blob of seconds and nanoseconds).
constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS items("
                                " id INTEGER PRIMARY KEY,"
                                " top1 BLOB NOT NULL,"
                                " top2 BLOB NOT NULL,"
                                " UNIQUE(top1, top2));"
                                "CREATE TABLE IF NOT EXISTS entries("
                                " item INTEGER NOT NULL,"
                                " path BLOB NOT NULL,"
                                " k1 INTEGER NOT NULL, n1 INTEGER, t1,"
                                " k2 INTEGER NOT NULL, n2 INTEGER, t2,"
                                " PRIMARY KEY(item, path)) WITHOUT ROWID;";

constexpr int kKindAbsent = 0;

int KindOf(const STATESIDE& side) noexcept {
    if (!side.bPresent)
        return kKindAbsent;
    return 1 + static_cast<int>(side.type);
}

bool SideFromKind(int nKind, STATESIDE& side) noexcept {
    if (nKind == kKindAbsent) {
        side = STATESIDE{};
        return true;
    }
    if (nKind < 1 || nKind > 1 + static_cast<int>(platform::EntryType::Other))
        return false;
    side.bPresent = true;
    side.type = static_cast<platform::EntryType>(nKind - 1);
    return true;
}

constexpr std::int64_t kNanos = 1000000000;

// The time as one integer when it fits, which it does for every real file.
bool TimeAsNanos(const platform::FileTime& ft, std::int64_t& nNanos) noexcept {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    if (ft.nNsec < 0 || ft.nNsec >= kNanos)
        return false;
    if (ft.nSec > (kMax - ft.nNsec) / kNanos || ft.nSec < kMin / kNanos + 1)
        return false;
    nNanos = ft.nSec * kNanos + ft.nNsec;
    return true;
}

void PutLe(unsigned char* p, std::uint64_t v, int nBytes) noexcept {
    for (int i = 0; i < nBytes; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint64_t GetLe(const unsigned char* p, int nBytes) noexcept {
    std::uint64_t v = 0;
    for (int i = 0; i < nBytes; ++i)
        v |= std::uint64_t(p[i]) << (8 * i);
    return v;
}

int BindSide(sqlite3_stmt* pStmt, int nFirst, const STATESIDE& side) {
    int rc = sqlite3_bind_int(pStmt, nFirst, KindOf(side));
    if (rc != SQLITE_OK || !side.bPresent) {
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_null(pStmt, nFirst + 1);
        if (rc == SQLITE_OK)
            rc = sqlite3_bind_null(pStmt, nFirst + 2);
        return rc;
    }
    rc = sqlite3_bind_int64(pStmt, nFirst + 1, static_cast<sqlite3_int64>(side.nSize));
    if (rc != SQLITE_OK)
        return rc;
    std::int64_t nNanos = 0;
    if (TimeAsNanos(side.ftWrite, nNanos))
        return sqlite3_bind_int64(pStmt, nFirst + 2, nNanos);
    unsigned char abTime[12];
    PutLe(abTime, static_cast<std::uint64_t>(side.ftWrite.nSec), 8);
    PutLe(abTime + 8, static_cast<std::uint32_t>(side.ftWrite.nNsec), 4);
    return sqlite3_bind_blob(pStmt, nFirst + 2, abTime, sizeof abTime, SQLITE_TRANSIENT);
}

bool ReadSide(sqlite3_stmt* pStmt, int nFirst, STATESIDE& side) {
    if (!SideFromKind(sqlite3_column_int(pStmt, nFirst), side))
        return false;
    if (!side.bPresent)
        return true;
    side.nSize = static_cast<std::uint64_t>(sqlite3_column_int64(pStmt, nFirst + 1));
    switch (sqlite3_column_type(pStmt, nFirst + 2)) {
    case SQLITE_INTEGER: {
        const std::int64_t nNanos = sqlite3_column_int64(pStmt, nFirst + 2);
        std::int64_t nSec = nNanos / kNanos;
        std::int64_t nNsec = nNanos % kNanos;
        if (nNsec < 0) {
            nNsec += kNanos;
            --nSec;
        }
        side.ftWrite = platform::FileTime{nSec, static_cast<std::int32_t>(nNsec)};
        return true;
    }
    case SQLITE_BLOB: {
        if (sqlite3_column_bytes(pStmt, nFirst + 2) != 12)
            return false;
        const auto* p = static_cast<const unsigned char*>(sqlite3_column_blob(pStmt, nFirst + 2));
        side.ftWrite = platform::FileTime{static_cast<std::int64_t>(GetLe(p, 8)),
                                          static_cast<std::int32_t>(GetLe(p + 8, 4))};
        return side.ftWrite.nNsec >= 0 && side.ftWrite.nNsec < kNanos;
    }
    default:
        return false;
    }
}

// "/a/b/" and "/a/b" are one top; "/" stays "/".
std::string_view TrimTop(std::string_view strTop) noexcept {
    while (strTop.size() > 1 && strTop.back() == '/')
        strTop.remove_suffix(1);
    return strTop;
}

int BindText(sqlite3_stmt* pStmt, int nIndex, std::string_view str) {
    // Bytes as they are: names need not be UTF-8, and blobs compare bytewise.
    // A null pointer would bind NULL, and the empty path is a real key.
    return sqlite3_bind_blob64(pStmt, nIndex, str.empty() ? "" : str.data(), str.size(),
                               SQLITE_TRANSIENT);
}

// Creates the missing directories of strDir, each 0700.
int MakeDirs(const std::string& strDir) {
    if (strDir.empty())
        return 0;
    struct stat st {};
    if (::stat(strDir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT)
        return errno;
    const std::size_t nSlash = strDir.find_last_of('/');
    if (nSlash != std::string::npos && nSlash > 0) {
        if (const int nErr = MakeDirs(strDir.substr(0, nSlash)))
            return nErr;
    }
    if (::mkdir(strDir.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

StateStatus StatusOf(int nCode) noexcept {
    switch (nCode & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return StateStatus::Ok;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return StateStatus::Damaged;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return StateStatus::Busy;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return StateStatus::CannotOpen;
    default:
        return StateStatus::Failed;
    }
}

} // namespace

const CStateRecord::Item* CStateRecord::FindItem(std::string_view strRel) const noexcept {
    const auto it = std::lower_bound(
        m_vecItems.begin(), m_vecItems.end(), strRel,
        [](const Item& item, std::string_view str) { return std::string_view(item.first) < str; });
    if (it == m_vecItems.end() || it->first != strRel)
        return nullptr;
    return &*it;
}

const STATEENTRY* CStateRecord::Find(std::string_view strRel) const noexcept {
    const Item* pItem = FindItem(strRel);
    return pItem ? &pItem->second : nullptr;
}

std::string StateErrorMessage(const STATERESULT& result) {
    const char* pszWhat = nullptr;
    switch (result.eStatus) {
    case StateStatus::Ok:
        return std::string();
    case StateStatus::CannotOpen:
        pszWhat = "前回の同期状態のデータベースを開けません。";
        break;
    case StateStatus::Damaged:
        pszWhat = "前回の同期状態のデータベースが壊れています。";
        break;
    case StateStatus::Busy:
        pszWhat = "前回の同期状態のデータベースを他の同期が使用中です。";
        break;
    case StateStatus::Failed:
        pszWhat = "前回の同期状態のデータベースを読み書きできません。";
        break;
    }
    std::string str = pszWhat;
    str += "\n" + result.strPath;
    if (!result.strDetail.empty())
        str += "\n(" + result.strDetail + ")";
    str += "\n前回の同期状態を使わずに同期します。";
    return str;
}

std::string StateDatabasePath(const char* pszXdgStateHome, const char* pszHome) {
    std::string strBase;
    if (pszXdgStateHome != nullptr && pszXdgStateHome[0] == '/') {
        strBase = pszXdgStateHome;
    } else if (pszHome != nullptr && pszHome[0] != '\0') {
        strBase = std::string(pszHome) + "/.local/state";
    } else {
        return std::string();
    }
    while (strBase.size() > 1 && strBase.back() == '/')
        strBase.pop_back();
    if (strBase == "/")
        strBase.clear();
    return strBase + "/kovrel-duplicator/state.db";
}

std::string DefaultStateDatabasePath() {
    const char* pszHome = std::getenv("HOME");
    if (pszHome == nullptr || pszHome[0] == '\0') {
        // No HOME (a service, a stripped environment): the account's own.
        if (const passwd* pPw = ::getpwuid(::getuid()))
            pszHome = pPw->pw_dir;
    }
    return StateDatabasePath(std::getenv("XDG_STATE_HOME"), pszHome);
}

CStateStore::~CStateStore() {
    Close();
}

STATERESULT CStateStore::Error(int nCode) const {
    STATERESULT result;
    result.eStatus = StatusOf(nCode);
    result.nCode = nCode;
    result.strPath = m_strPath;
    if (m_pDb != nullptr && sqlite3_extended_errcode(m_pDb) == nCode) {
        result.strDetail = sqlite3_errmsg(m_pDb);
    } else {
        result.strDetail = sqlite3_errstr(nCode);
    }
    return result;
}

STATERESULT CStateStore::Exec(const char* pszSql) {
    const int rc = sqlite3_exec(m_pDb, pszSql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Error(rc);
    return STATERESULT{};
}

STATERESULT CStateStore::Prepare(sqlite3_stmt*& pStmt, const char* pszSql) {
    if (pStmt != nullptr)
        return STATERESULT{};
    const int rc =
        sqlite3_prepare_v3(m_pDb, pszSql, -1, SQLITE_PREPARE_PERSISTENT, &pStmt, nullptr);
    if (rc != SQLITE_OK) {
        pStmt = nullptr;
        return Error(rc);
    }
    return STATERESULT{};
}

STATERESULT CStateStore::Open(const std::string& strPath, int nBusyTimeoutMs) {
    Close();
    m_strPath = strPath;
    STATERESULT result;
    result.strPath = strPath;
    auto fail = [&](StateStatus eStatus, int nErr) {
        result.eStatus = eStatus;
        result.nCode = nErr;
        result.strDetail = std::strerror(nErr);
        return result;
    };
    if (strPath.empty())
        return fail(StateStatus::CannotOpen, ENOENT);

    const std::size_t nSlash = strPath.find_last_of('/');
    if (nSlash != std::string::npos && nSlash > 0) {
        if (const int nErr = MakeDirs(strPath.substr(0, nSlash)))
            return fail(StateStatus::CannotOpen, nErr);
    }
    // Made here, owner only, before SQLite would make it with the umask's bits;
    // an empty file is an empty database.
    const int fd = ::open(strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
    } else if (errno != EEXIST) {
        return fail(StateStatus::CannotOpen, errno);
    }

    // One store, one thread: SQLite's own per-call locking would only cost
    // (a large record's load makes a million calls).
    const int rc = sqlite3_open_v2(strPath.c_str(), &m_pDb,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        STATERESULT err = Error(rc);
        Close();
        m_strPath = strPath;
        return err;
    }
    sqlite3_extended_result_codes(m_pDb, 1);
    sqlite3_busy_timeout(m_pDb, nBusyTimeoutMs);
    STATERESULT schema = CheckSchema();
    if (!schema.Ok()) {
        Close();
        m_strPath = strPath;
    }
    return schema;
}

STATERESULT CStateStore::CheckSchema() {
    // Reading the header finds a file that is no database at all (NOTADB).
    auto readPragma = [this](const char* pszSql, int& nValue) {
        sqlite3_stmt* pStmt = nullptr;
        STATERESULT r = Prepare(pStmt, pszSql);
        if (!r.Ok())
            return r;
        const int rc = sqlite3_step(pStmt);
        if (rc == SQLITE_ROW)
            nValue = sqlite3_column_int(pStmt, 0);
        sqlite3_finalize(pStmt);
        return rc == SQLITE_ROW ? STATERESULT{} : Error(rc);
    };
    auto foreign = [this](const char* pszWhy) {
        STATERESULT r;
        r.eStatus = StateStatus::Damaged;
        r.nCode = SQLITE_NOTADB;
        r.strDetail = pszWhy;
        r.strPath = m_strPath;
        return r;
    };
    int nAppId = 0;
    int nVersion = 0;
    int nTables = 0;
    STATERESULT r = readPragma("PRAGMA application_id", nAppId);
    if (r.Ok())
        r = readPragma("PRAGMA user_version", nVersion);
    if (r.Ok())
        r = readPragma("SELECT count(*) FROM sqlite_schema", nTables);
    if (!r.Ok())
        return r;
    if (nAppId == kApplicationId) {
        if (nVersion > kSchemaVersion) {
            STATERESULT newer;
            newer.eStatus = StateStatus::Failed;
            newer.strDetail = "written by a newer version of the program";
            newer.strPath = m_strPath;
            return newer;
        }
        return STATERESULT{};
    }
    if (nAppId != 0 || nTables != 0)
        return foreign("not a state database of this program");

    // A new file: made inside one write transaction, so two runs starting at
    // once both end up with the same schema.
    r = Exec("BEGIN IMMEDIATE");
    if (!r.Ok())
        return r;
    r = readPragma("PRAGMA application_id", nAppId);
    if (r.Ok() && nAppId == 0) {
        r = Exec(kSchema);
        if (r.Ok())
            r = Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        if (r.Ok())
            r = Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    }
    if (r.Ok())
        r = Exec("COMMIT");
    if (!r.Ok())
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    else if (nAppId != 0 && nAppId != kApplicationId)
        return foreign("not a state database of this program");
    return r;
}

void CStateStore::FinalizeAll() noexcept {
    for (sqlite3_stmt** ppStmt : {&m_pLoad, &m_pPut, &m_pRemove, &m_pRemoveTree}) {
        sqlite3_finalize(*ppStmt);
        *ppStmt = nullptr;
    }
}

void CStateStore::Close() noexcept {
    if (m_pDb == nullptr)
        return;
    Rollback();
    FinalizeAll();
    sqlite3_close_v2(m_pDb);
    m_pDb = nullptr;
    m_strPath.clear();
}

STATERESULT CStateStore::LoadItem(std::string_view strTop1, std::string_view strTop2,
                                  CStateRecord& record) {
    record.Clear();
    if (m_pDb == nullptr)
        return Error(SQLITE_MISUSE);
    STATERESULT r = Prepare(m_pLoad, "SELECT e.path, e.k1, e.n1, e.t1, e.k2, e.n2, e.t2"
                                     " FROM items i JOIN entries e ON e.item = i.id"
                                     " WHERE i.top1 = ?1 AND i.top2 = ?2 ORDER BY e.path");
    if (!r.Ok())
        return r;
    sqlite3_reset(m_pLoad);
    int rc = BindText(m_pLoad, 1, TrimTop(strTop1));
    if (rc == SQLITE_OK)
        rc = BindText(m_pLoad, 2, TrimTop(strTop2));
    while (rc == SQLITE_OK || rc == SQLITE_ROW) {
        rc = sqlite3_step(m_pLoad);
        if (rc != SQLITE_ROW)
            break;
        const auto* pPath = static_cast<const char*>(sqlite3_column_blob(m_pLoad, 0));
        const int nPath = sqlite3_column_bytes(m_pLoad, 0);
        CStateRecord::Item item;
        item.first.assign(pPath != nullptr ? pPath : "", static_cast<std::size_t>(nPath));
        if (!ReadSide(m_pLoad, 1, item.second.side1) || !ReadSide(m_pLoad, 4, item.second.side2)) {
            // A row the schema allows but this program never writes.
            sqlite3_reset(m_pLoad);
            record.Clear();
            STATERESULT bad = Error(SQLITE_CORRUPT);
            bad.strDetail = "an entry holds values this program never writes";
            return bad;
        }
        record.m_vecItems.push_back(std::move(item));
    }
    sqlite3_reset(m_pLoad);
    sqlite3_clear_bindings(m_pLoad);
    if (rc != SQLITE_DONE) {
        record.Clear();
        return Error(rc);
    }
    return STATERESULT{};
}

STATERESULT CStateStore::Begin(std::string_view strTop1, std::string_view strTop2) {
    if (m_pDb == nullptr || InBatch())
        return Error(SQLITE_MISUSE);
    STATERESULT r = Exec("BEGIN IMMEDIATE");
    if (!r.Ok())
        return r;
    sqlite3_stmt* pInsert = nullptr;
    sqlite3_stmt* pSelect = nullptr;
    r = Prepare(pInsert, "INSERT OR IGNORE INTO items(top1, top2) VALUES(?1, ?2)");
    if (r.Ok())
        r = Prepare(pSelect, "SELECT id FROM items WHERE top1 = ?1 AND top2 = ?2");
    std::int64_t nItem = 0;
    if (r.Ok()) {
        int rc = BindText(pInsert, 1, TrimTop(strTop1));
        if (rc == SQLITE_OK)
            rc = BindText(pInsert, 2, TrimTop(strTop2));
        if (rc == SQLITE_OK)
            rc = sqlite3_step(pInsert);
        if (rc == SQLITE_DONE)
            rc = BindText(pSelect, 1, TrimTop(strTop1));
        if (rc == SQLITE_OK)
            rc = BindText(pSelect, 2, TrimTop(strTop2));
        if (rc == SQLITE_OK)
            rc = sqlite3_step(pSelect);
        if (rc == SQLITE_ROW)
            nItem = sqlite3_column_int64(pSelect, 0);
        else
            r = Error(rc == SQLITE_DONE ? SQLITE_CORRUPT : rc);
    }
    sqlite3_finalize(pInsert);
    sqlite3_finalize(pSelect);
    if (!r.Ok() || nItem == 0) {
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
        return r.Ok() ? Error(SQLITE_CORRUPT) : r;
    }
    m_nBatchItem = nItem;
    return STATERESULT{};
}

STATERESULT CStateStore::BatchStep(sqlite3_stmt* pStmt) {
    const int rc = sqlite3_step(pStmt);
    sqlite3_reset(pStmt);
    sqlite3_clear_bindings(pStmt);
    if (rc != SQLITE_DONE) {
        STATERESULT r = Error(rc);
        Rollback();
        return r;
    }
    return STATERESULT{};
}

STATERESULT CStateStore::Put(std::string_view strRel, const STATEENTRY& entry) {
    if (!InBatch())
        return Error(SQLITE_MISUSE);
    // Absent on both sides: nothing to remember.
    if (!entry.side1.bPresent && !entry.side2.bPresent)
        return Remove(strRel);
    STATERESULT r = Prepare(m_pPut, "INSERT OR REPLACE INTO entries(item, path, k1, n1, t1, k2,"
                                    " n2, t2) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    if (!r.Ok()) {
        Rollback();
        return r;
    }
    int rc = sqlite3_bind_int64(m_pPut, 1, m_nBatchItem);
    if (rc == SQLITE_OK)
        rc = BindText(m_pPut, 2, strRel);
    if (rc == SQLITE_OK)
        rc = BindSide(m_pPut, 3, entry.side1);
    if (rc == SQLITE_OK)
        rc = BindSide(m_pPut, 6, entry.side2);
    if (rc != SQLITE_OK) {
        r = Error(rc);
        Rollback();
        return r;
    }
    return BatchStep(m_pPut);
}

STATERESULT CStateStore::Remove(std::string_view strRel) {
    if (!InBatch())
        return Error(SQLITE_MISUSE);
    STATERESULT r = Prepare(m_pRemove, "DELETE FROM entries WHERE item = ?1 AND path = ?2");
    if (!r.Ok()) {
        Rollback();
        return r;
    }
    int rc = sqlite3_bind_int64(m_pRemove, 1, m_nBatchItem);
    if (rc == SQLITE_OK)
        rc = BindText(m_pRemove, 2, strRel);
    if (rc != SQLITE_OK) {
        r = Error(rc);
        Rollback();
        return r;
    }
    return BatchStep(m_pRemove);
}

STATERESULT CStateStore::RemoveTree(std::string_view strRel) {
    if (!InBatch())
        return Error(SQLITE_MISUSE);
    // Everything below "dir" lies in ["dir/", "dir0"): '0' follows '/' in
    // byte order. The empty path is the item's whole record.
    STATERESULT r =
        Prepare(m_pRemoveTree, "DELETE FROM entries WHERE item = ?1 AND (?2 = x'' OR path = ?2"
                               " OR (path >= ?3 AND path < ?4))");
    if (!r.Ok()) {
        Rollback();
        return r;
    }
    const std::string strLow = std::string(strRel) + '/';
    const std::string strHigh = std::string(strRel) + '0';
    int rc = sqlite3_bind_int64(m_pRemoveTree, 1, m_nBatchItem);
    if (rc == SQLITE_OK)
        rc = BindText(m_pRemoveTree, 2, strRel);
    if (rc == SQLITE_OK)
        rc = BindText(m_pRemoveTree, 3, strLow);
    if (rc == SQLITE_OK)
        rc = BindText(m_pRemoveTree, 4, strHigh);
    if (rc != SQLITE_OK) {
        r = Error(rc);
        Rollback();
        return r;
    }
    return BatchStep(m_pRemoveTree);
}

STATERESULT CStateStore::Commit() {
    if (!InBatch())
        return Error(SQLITE_MISUSE);
    STATERESULT r = Exec("COMMIT");
    if (!r.Ok()) {
        // A commit that could not finish (another run reading past the
        // timeout, a full disk) writes nothing.
        Rollback();
        return r;
    }
    m_nBatchItem = 0;
    return r;
}

void CStateStore::Rollback() noexcept {
    if (m_pDb != nullptr && sqlite3_get_autocommit(m_pDb) == 0)
        sqlite3_exec(m_pDb, "ROLLBACK", nullptr, nullptr, nullptr);
    m_nBatchItem = 0;
}

} // namespace kovrel
