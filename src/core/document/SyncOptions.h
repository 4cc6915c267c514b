// The option word of a sync item: its bits, and a small value type that reads and
// writes them by name. Everything that knows what a bit means lives in this file;
// a new bit is a new constant, a line in kKnownOptionBits and its accessors here.
#pragma once

#include <bit>
#include <cstdint>

namespace kovrel {

// The option word. Bits not named here are 0 in every word the program makes; a
// word read from a document is kept unchanged.
inline constexpr std::uint32_t SIO_NOFILE1_MASK = 0x7;
inline constexpr std::uint32_t SIO_NOFILE1_COPY = 0x0;
inline constexpr std::uint32_t SIO_NOFILE1_DELETE = 0x1;
inline constexpr std::uint32_t SIO_NOFILE1_IGNORE = 0x2;
inline constexpr std::uint32_t SIO_FORCE_RO1 = 0x8;
inline constexpr std::uint32_t SIO_NOFILE2_MASK = 0x70;
inline constexpr std::uint32_t SIO_NOFILE2_COPY = 0x00;
inline constexpr std::uint32_t SIO_NOFILE2_DELETE = 0x10;
inline constexpr std::uint32_t SIO_NOFILE2_IGNORE = 0x20;
inline constexpr std::uint32_t SIO_FORCE_RO2 = 0x80;
inline constexpr std::uint32_t SIO_ONEWAY_MASK = 0x300;
inline constexpr std::uint32_t SIO_ONEWAY_1TO2 = 0x100;
inline constexpr std::uint32_t SIO_ONEWAY_2TO1 = 0x200;
inline constexpr std::uint32_t SIO_COPY_OLDER = 0x400;
inline constexpr std::uint32_t SIO_NO_SUBDIRS = 0x10000;
// A two-way item keeps what both sides looked like after its last run and
// decides against that record (a change on one side spreads even when older,
// both sides changed is a conflict, a deletion is passed on). Inert while a
// one-way bit is set: the dialog never offers it then, a document may hold it.
inline constexpr std::uint32_t SIO_REMEMBER_STATE = 0x20000;

// Every bit this program gives a meaning to; the rest are carried unchanged.
inline constexpr std::uint32_t kKnownOptionBits =
    SIO_NOFILE1_MASK | SIO_FORCE_RO1 | SIO_NOFILE2_MASK | SIO_FORCE_RO2 | SIO_ONEWAY_MASK |
    SIO_COPY_OLDER | SIO_NO_SUBDIRS | SIO_REMEMBER_STATE;

// The side-2 missing-entry field holds the side-1 values, moved up.
inline constexpr int kNoFile2Shift = std::countr_zero(SIO_NOFILE2_MASK);
static_assert(SIO_NOFILE2_MASK == SIO_NOFILE1_MASK << kNoFile2Shift);
static_assert(SIO_NOFILE2_DELETE == SIO_NOFILE1_DELETE << kNoFile2Shift);
static_assert(SIO_NOFILE2_IGNORE == SIO_NOFILE1_IGNORE << kNoFile2Shift);

// What happens to an entry that one side lacks (the other side has it).
enum class MissingAction {
    Copy,   // copy it over from the side that has it
    Delete, // delete it on the side that has it
    Ignore, // leave it
    Other,  // a value the program never writes (3 to 7): read, acts as Ignore
};

// The one-way direction. A word with both one-way bits reads as From1To2, the way
// the pass, the grid and the dialog all take it.
enum class OneWayDir {
    None,     // copies go both ways, the newer file wins
    From1To2, // SIO_ONEWAY_1TO2
    From2To1, // SIO_ONEWAY_2TO1
};

class CSyncOptions {
public:
    constexpr CSyncOptions() noexcept = default;
    constexpr explicit CSyncOptions(std::uint32_t dwRaw) noexcept : m_dwRaw(dwRaw) {}

    // The whole word, unknown bits included.
    constexpr std::uint32_t Raw() const noexcept { return m_dwRaw; }
    // The bits this program does not know, exactly as they came.
    constexpr std::uint32_t UnknownBits() const noexcept { return m_dwRaw & ~kKnownOptionBits; }

    // The entry exists on side 2 only (SIO_NOFILE1_*).
    constexpr MissingAction MissingOn1() const noexcept {
        return FieldAction(m_dwRaw & SIO_NOFILE1_MASK);
    }
    // The entry exists on side 1 only (SIO_NOFILE2_*).
    constexpr MissingAction MissingOn2() const noexcept {
        return FieldAction((m_dwRaw & SIO_NOFILE2_MASK) >> kNoFile2Shift);
    }
    // nSide 1 or 2: the side that lacks the entry.
    constexpr MissingAction MissingOn(int nSide) const noexcept {
        return nSide == 1 ? MissingOn1() : MissingOn2();
    }
    // Other is not a value to write: it stores Ignore.
    constexpr void SetMissingOn1(MissingAction action) noexcept {
        m_dwRaw = (m_dwRaw & ~SIO_NOFILE1_MASK) | FieldValue(action);
    }
    constexpr void SetMissingOn2(MissingAction action) noexcept {
        m_dwRaw = (m_dwRaw & ~SIO_NOFILE2_MASK) | (FieldValue(action) << kNoFile2Shift);
    }

    // A read-only entry on that side is made writable and acted on; without the
    // bit the action is skipped.
    constexpr bool ForceReadOnly1() const noexcept { return Has(SIO_FORCE_RO1); }
    constexpr bool ForceReadOnly2() const noexcept { return Has(SIO_FORCE_RO2); }
    constexpr bool ForceReadOnly(int nSide) const noexcept {
        return nSide == 1 ? ForceReadOnly1() : ForceReadOnly2();
    }
    constexpr void SetForceReadOnly1(bool bOn) noexcept { Put(SIO_FORCE_RO1, bOn); }
    constexpr void SetForceReadOnly2(bool bOn) noexcept { Put(SIO_FORCE_RO2, bOn); }

    constexpr OneWayDir OneWay() const noexcept {
        if (Has(SIO_ONEWAY_1TO2))
            return OneWayDir::From1To2;
        return Has(SIO_ONEWAY_2TO1) ? OneWayDir::From2To1 : OneWayDir::None;
    }
    constexpr bool IsOneWay() const noexcept { return (m_dwRaw & SIO_ONEWAY_MASK) != 0; }
    constexpr void SetOneWay(OneWayDir dir) noexcept {
        m_dwRaw &= ~SIO_ONEWAY_MASK;
        if (dir == OneWayDir::From1To2)
            m_dwRaw |= SIO_ONEWAY_1TO2;
        else if (dir == OneWayDir::From2To1)
            m_dwRaw |= SIO_ONEWAY_2TO1;
    }

    // Whether the one-way bits let an action write to that side: always in two-way
    // mode, else only when the bit towards it is set. A word with both bits lets
    // both sides change (the missing-entry actions test each bit on its own).
    constexpr bool MayChange1() const noexcept { return !IsOneWay() || Has(SIO_ONEWAY_2TO1); }
    constexpr bool MayChange2() const noexcept { return !IsOneWay() || Has(SIO_ONEWAY_1TO2); }
    constexpr bool MayChange(int nSide) const noexcept {
        return nSide == 1 ? MayChange1() : MayChange2();
    }

    // In one-way mode an older source overwrites a newer target as well.
    constexpr bool CopyOlder() const noexcept { return Has(SIO_COPY_OLDER); }
    constexpr void SetCopyOlder(bool bOn) noexcept { Put(SIO_COPY_OLDER, bOn); }

    // Subdirectories below the two tops are visited (SIO_NO_SUBDIRS clear).
    constexpr bool Subdirs() const noexcept { return !Has(SIO_NO_SUBDIRS); }
    constexpr void SetSubdirs(bool bOn) noexcept { Put(SIO_NO_SUBDIRS, !bOn); }

    // The item asks to remember its last run (the bit as stored).
    constexpr bool RememberState() const noexcept { return Has(SIO_REMEMBER_STATE); }
    constexpr void SetRememberState(bool bOn) noexcept { Put(SIO_REMEMBER_STATE, bOn); }
    // Whether a run decides against the remembered state: the bit on a two-way
    // word. A one-way word with the bit (only a document can hold one) runs by
    // the ordinary rules and keeps the bit as it came.
    constexpr bool UsesRememberedState() const noexcept { return RememberState() && !IsOneWay(); }

    friend constexpr bool operator==(CSyncOptions, CSyncOptions) noexcept = default;

private:
    static constexpr MissingAction FieldAction(std::uint32_t dwField) noexcept {
        switch (dwField) {
        case SIO_NOFILE1_COPY:
            return MissingAction::Copy;
        case SIO_NOFILE1_DELETE:
            return MissingAction::Delete;
        case SIO_NOFILE1_IGNORE:
            return MissingAction::Ignore;
        default:
            return MissingAction::Other;
        }
    }
    static constexpr std::uint32_t FieldValue(MissingAction action) noexcept {
        switch (action) {
        case MissingAction::Copy:
            return SIO_NOFILE1_COPY;
        case MissingAction::Delete:
            return SIO_NOFILE1_DELETE;
        default:
            return SIO_NOFILE1_IGNORE;
        }
    }
    constexpr bool Has(std::uint32_t dwBit) const noexcept { return (m_dwRaw & dwBit) != 0; }
    constexpr void Put(std::uint32_t dwBit, bool bOn) noexcept {
        m_dwRaw = bOn ? (m_dwRaw | dwBit) : (m_dwRaw & ~dwBit);
    }

    std::uint32_t m_dwRaw = 0;
};

} // namespace kovrel
