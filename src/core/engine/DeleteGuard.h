// The deletion guard's rule: when what an item would delete on one side calls for
// the user's word before anything happens. A pure function of the counts the
// guard made (DELETECOUNT, RunHost.h) and the profile's two thresholds, so that
// it is tested as a table; the counting itself is CSyncEngine's (DeleteGuard.cpp).
#pragma once

#include "document/SyncOptions.h"
#include "engine/RunHost.h"

namespace kovrel {

// True when the options delete anything at all: an entry missing on one side
// makes the item delete it on the other. Only such items are counted.
bool OptionsDelete(CSyncOptions options) noexcept;

// Whether deleting count.nDeleted of the count.nHeld selected files of side
// nSide (1 or 2) needs a question. It does, as soon as anything is deleted there,
// when
// - the other side holds no selected file at all (an unmounted disk whose mount
//   point still exists); or
// - every selected file of the side goes, and that is more than one (a wrongly
//   chosen folder); or
// - the deletions reach nPercent % of the side's selected files and nMin files.
bool GuardAsks(const DELETECOUNT& count, int nSide, int nPercent, int nMin) noexcept;

} // namespace kovrel
