// What both sides of an item looked like after its last run, kept in one SQLite
// database for all items of all documents. A two-way item that asks for it
// (SIO_REMEMBER_STATE) decides against this record: it tells "changed on one
// side" from "changed on both", and "deleted here" from "new there".
//
// The record of an item is keyed by its two top paths, so two items over the
// same tops (with different patterns, in one document or in two) share it; each
// run writes only the entries it visited, and everything else stays as it was.
//
// Use: Open, LoadItem (one query; the whole record in memory), the pass, then
// Begin, Put/Remove for the entries visited, Commit: all of a run's changes in
// one transaction, so a cancelled or killed run leaves the old record or the
// new one, never a mix. Every call answers with a STATERESULT; a database that
// cannot be opened, is damaged, or stays locked by another run past the busy
// timeout gives an error the caller shows, and the item then runs without a
// remembered state.
//
// No Qt, no platform::FileSystem: the database is the program's own file, not
// part of any tree being synchronised, and SQLite does its own I/O.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kovrel {

// One side of an entry as recorded: absent, or its type, size and write time.
struct STATESIDE {
    bool bPresent = false;
    platform::EntryType type = platform::EntryType::File;
    std::uint64_t nSize = 0; // as lstat gives it (a directory's too)
    platform::FileTime ftWrite;

    // What the pass saw (or made) of an entry; an absent side is STATESIDE{}.
    static STATESIDE Of(const platform::FileAttr& attr) noexcept {
        return STATESIDE{true, attr.type, attr.nSize, attr.ftWrite};
    }
    // Absent sides are equal whatever their other fields hold.
    friend bool operator==(const STATESIDE& a, const STATESIDE& b) noexcept {
        if (a.bPresent != b.bPresent)
            return false;
        return !a.bPresent || (a.type == b.type && a.nSize == b.nSize && a.ftWrite == b.ftWrite);
    }
};

struct STATEENTRY {
    STATESIDE side1;
    STATESIDE side2;
    friend bool operator==(const STATEENTRY&, const STATEENTRY&) = default;
};

// An item's whole record: entries sorted by their relative path's bytes.
class CStateRecord {
public:
    using Item = std::pair<std::string, STATEENTRY>;

    // Null when the path has no entry (never recorded: the first run's rules).
    const STATEENTRY* Find(std::string_view strRel) const noexcept;
    // The same, with the path it is recorded under.
    const Item* FindItem(std::string_view strRel) const noexcept;
    std::size_t Size() const noexcept { return m_vecItems.size(); }
    bool Empty() const noexcept { return m_vecItems.empty(); }
    const std::vector<Item>& Items() const noexcept { return m_vecItems; }
    void Clear() noexcept { m_vecItems.clear(); }

private:
    friend class CStateStore;
    std::vector<Item> m_vecItems;
};

enum class StateStatus : std::uint8_t {
    Ok,
    CannotOpen, // the directory or the file cannot be made or opened
    Damaged,    // not a database, not ours, or corrupt inside
    Busy,       // another run holds the database past the busy timeout
    Failed,     // any other failure (disk full, I/O error, out of memory)
};

struct STATERESULT {
    StateStatus eStatus = StateStatus::Ok;
    int nCode = 0;         // SQLite's extended result code, or an errno value for CannotOpen
    std::string strDetail; // SQLite's or the system's own words
    std::string strPath;   // the database file

    bool Ok() const noexcept { return eStatus == StateStatus::Ok; }
};

// The sentence a front end shows for a failed result (empty for Ok): what went
// wrong with which file, and that the item runs without its remembered state.
std::string StateErrorMessage(const STATERESULT& result);

// $XDG_STATE_HOME/kovrel-duplicator/state.db; a relative or empty
// XDG_STATE_HOME is ignored as the XDG base directory rules ask, and the
// default is $HOME/.local/state. Empty when no home can be found. The pure
// form takes the two variables (null: unset).
std::string StateDatabasePath(const char* pszXdgStateHome, const char* pszHome);
std::string DefaultStateDatabasePath();

class CStateStore {
public:
    // How long a call waits for another run's transaction before it gives Busy.
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    CStateStore() = default;
    ~CStateStore(); // rolls back a batch that was not committed
    CStateStore(const CStateStore&) = delete;
    CStateStore& operator=(const CStateStore&) = delete;

    // Opens (creating it when absent) the database; its directory is created
    // with mode 0700 where missing, the file with 0600. Checks that the file is
    // this program's state database (a damaged or foreign file gives Damaged).
    STATERESULT Open(const std::string& strPath, int nBusyTimeoutMs = kDefaultBusyTimeoutMs);
    bool IsOpen() const noexcept { return m_pDb != nullptr; }
    void Close() noexcept;
    const std::string& Path() const noexcept { return m_strPath; }

    // The item's whole record in one query; an item never recorded gives an
    // empty record. Trailing separators of the tops are not significant.
    STATERESULT LoadItem(std::string_view strTop1, std::string_view strTop2, CStateRecord& record);

    // One transaction for an item's changes. Begin takes the write lock (waiting
    // up to the busy timeout); Put records an entry (insert or replace); Remove
    // drops one entry, RemoveTree an entry and every entry below it (a
    // directory gone from both sides). Commit makes them all durable at once;
    // Rollback (or destroying the store, or a killed process) leaves the record
    // as it was. After a failed Put/Remove the batch is rolled back.
    STATERESULT Begin(std::string_view strTop1, std::string_view strTop2);
    STATERESULT Put(std::string_view strRel, const STATEENTRY& entry);
    STATERESULT Remove(std::string_view strRel);
    STATERESULT RemoveTree(std::string_view strRel);
    STATERESULT Commit();
    void Rollback() noexcept;
    bool InBatch() const noexcept { return m_nBatchItem != 0; }

private:
    STATERESULT Error(int nCode) const;
    STATERESULT Exec(const char* pszSql);
    STATERESULT Prepare(sqlite3_stmt*& pStmt, const char* pszSql);
    STATERESULT CheckSchema();
    STATERESULT BatchStep(sqlite3_stmt* pStmt); // runs a bound statement in the batch
    void FinalizeAll() noexcept;

    sqlite3* m_pDb = nullptr;
    std::string m_strPath;
    std::int64_t m_nBatchItem = 0; // the item id of the open batch, 0 outside one
    sqlite3_stmt* m_pLoad = nullptr;
    sqlite3_stmt* m_pPut = nullptr;
    sqlite3_stmt* m_pRemove = nullptr;
    sqlite3_stmt* m_pRemoveTree = nullptr;
};

} // namespace kovrel
