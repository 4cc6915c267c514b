// What happens to a pair of files: one name looked at on both sides of an item.
// A pure function of what the pass knows of the two entries (which exist and
// which are read-only), the item's option word and the order of the two write
// times. Every rule about a pair of files lives here, so a new rule (a new
// option bit, another input such as what an earlier run saw) is one change in
// one place, tested as a table; the pass only carries the decision out.
//
// Inputs and outputs are small structs so that they can grow without touching
// every caller.
#pragma once

#include <compare>
#include <cstdint>

#include "document/SyncOptions.h"

namespace kovrel {

// What the options say about an entry one side lacks, file or directory alike.
enum class MissingRule : std::uint8_t {
    Leave,       // nothing happens
    CopyOver,    // copy it (create the directory) on the side that lacks it
    DeleteOther, // delete it (remove the directory) on the side that has it
};

// nMissingSide: 1 or 2, the side that lacks the entry. A side that the one-way
// direction keeps unchanged is never written: its copy or delete becomes Leave.
MissingRule DecideMissing(CSyncOptions options, int nMissingSide) noexcept;

// A read-only entry on side nSide stays as it is, its replacement or deletion
// skipped, unless the options force read-only entries on that side. The rule for
// files and for a directory removed whole alike.
bool KeepsReadOnly(CSyncOptions options, int nSide, bool bReadOnly) noexcept;

// With a remembered state: the rule for an entry one side lacks whose record
// says both sides had it after the last run. Unchanged since, it was deleted on
// the other side and goes here too; changed since, the change wins over the
// deletion and it is copied back; the missing-side setting "ignore" for that
// side leaves it alone. The same for a directory, bChangedSince then meaning
// anything inside it.
MissingRule DecideMissingRemembered(CSyncOptions options, int nMissingSide,
                                    bool bChangedSince) noexcept;

// What the last run left of a pair, as far as the decision needs it. Filled
// only for an item that remembers its state (UsesRememberedState); bKnown is
// false for an entry never recorded or recorded on one side only, and then the
// ordinary rules decide.
struct PAIRMEMORY {
    bool bKnown = false;    // the record has the entry on both sides
    bool bChanged1 = false; // side 1 (present) differs from its record: type, size or time
    bool bChanged2 = false;
    // Both present and changed with equal sizes: their contents are the same.
    bool bSameContents = false;
};

// One side of a pair of files as the decision sees it.
struct PAIRSIDE {
    bool bPresent = false;  // the file exists on this side
    bool bReadOnly = false; // it lacks its owner-write bit (only when present)
};

struct PAIRINPUT {
    PAIRSIDE side1;
    PAIRSIDE side2;
    CSyncOptions options; // the item's option word
    // Side 1's write time against side 2's, as precisely as both file systems
    // keep them. Read only when both sides are present.
    std::strong_ordering timeOrder = std::strong_ordering::equal;
    PAIRMEMORY memory; // what the last run recorded (remembering items only)
};

enum class PairAction : std::uint8_t {
    None,          // nothing to do, no log line
    Copy,          // copy the file onto side nTarget from the other side
    CopySkipped,   // the copy onto side nTarget is refused: its file is read-only
    Delete,        // delete the file on side nTarget (the other side lacks it)
    DeleteSkipped, // the delete on side nTarget is refused: its file is read-only
    // Both sides changed since the last run: side nTarget's file (the older) is
    // first kept beside itself under a conflict name, then replaced by the
    // other side's as a Copy would.
    Conflict,
};

struct PAIRDECISION {
    PairAction eAction = PairAction::None;
    int nTarget = 0; // the side the action is about (1 or 2); 0 with None
    // Delete only: the file is read-only and the options force it, so it gets
    // its write bit before the delete (and back when the delete fails).
    bool bClearReadOnly = false;

    friend bool operator==(const PAIRDECISION&, const PAIRDECISION&) = default;
};

// Two files, or a file on one side only (at least one side is present):
// - one side lacks it: the options for a missing file on that side decide
//   (DecideMissing); a delete of a read-only file is skipped unless the option
//   to force read-only files on that side is set;
// - both have it: the newer one is copied over the older one. One way only,
//   only in that direction, and an older source replaces a newer target only
//   with "copy older"; equal times copy nothing. A read-only target is skipped
//   unless forced.
// An item that remembers its state (options.UsesRememberedState()) with a
// known entry (memory.bKnown) decides against it first:
// - one side lacks it: DecideMissingRemembered;
// - only one side changed since: it is copied over the other, even when older;
// - both changed, the same contents: nothing; different: a Conflict on the
//   older side (side 2 when the times are equal);
// - neither changed: nothing (the last run left them as they are).
// A read-only target is skipped unless forced, as above.
PAIRDECISION DecidePair(const PAIRINPUT& input) noexcept;

} // namespace kovrel
