#include "engine/PairDecision.h"

namespace kovrel {

MissingRule DecideMissing(CSyncOptions options, int nMissingSide) noexcept {
    const int nHaveSide = 3 - nMissingSide;
    switch (options.MissingOn(nMissingSide)) {
    case MissingAction::Copy:
        return options.MayChange(nMissingSide) ? MissingRule::CopyOver : MissingRule::Leave;
    case MissingAction::Delete:
        return options.MayChange(nHaveSide) ? MissingRule::DeleteOther : MissingRule::Leave;
    case MissingAction::Ignore:
    case MissingAction::Other:
        break;
    }
    return MissingRule::Leave;
}

bool KeepsReadOnly(CSyncOptions options, int nSide, bool bReadOnly) noexcept {
    return bReadOnly && !options.ForceReadOnly(nSide);
}

MissingRule DecideMissingRemembered(CSyncOptions options, int nMissingSide,
                                    bool bChangedSince) noexcept {
    switch (options.MissingOn(nMissingSide)) {
    case MissingAction::Ignore:
    case MissingAction::Other:
        return MissingRule::Leave;
    case MissingAction::Copy:
    case MissingAction::Delete:
        break;
    }
    return bChangedSince ? MissingRule::CopyOver : MissingRule::DeleteOther;
}

namespace {

// A copy onto nTarget (or a conflict there), unless its file stays read-only.
PAIRDECISION Replace(const PAIRINPUT& input, int nTarget, PairAction eAction) noexcept {
    const PAIRSIDE& target = nTarget == 1 ? input.side1 : input.side2;
    if (KeepsReadOnly(input.options, nTarget, target.bReadOnly))
        return {PairAction::CopySkipped, nTarget, false};
    return {eAction, nTarget, false};
}

} // namespace

PAIRDECISION DecidePair(const PAIRINPUT& input) noexcept {
    const CSyncOptions options = input.options;
    const PAIRSIDE sides[2] = {input.side1, input.side2};
    const auto side = [&](int nSide) -> const PAIRSIDE& { return sides[nSide - 1]; };
    const bool bRemembered = options.UsesRememberedState() && input.memory.bKnown;

    // One side lacks the file: copy it over or delete the other.
    if (!input.side1.bPresent || !input.side2.bPresent) {
        if (!input.side1.bPresent && !input.side2.bPresent)
            return {};
        const int nMissing = input.side1.bPresent ? 2 : 1;
        const int nHave = 3 - nMissing;
        const bool bChanged = nHave == 1 ? input.memory.bChanged1 : input.memory.bChanged2;
        switch (bRemembered ? DecideMissingRemembered(options, nMissing, bChanged)
                            : DecideMissing(options, nMissing)) {
        case MissingRule::CopyOver:
            return {PairAction::Copy, nMissing, false};
        case MissingRule::DeleteOther: {
            const bool bReadOnly = side(nHave).bReadOnly;
            if (KeepsReadOnly(options, nHave, bReadOnly))
                return {PairAction::DeleteSkipped, nHave, false};
            return {PairAction::Delete, nHave, bReadOnly};
        }
        case MissingRule::Leave:
            break;
        }
        return {};
    }

    // Both are files and the last run saw them both: what changed since wins.
    if (bRemembered) {
        const PAIRMEMORY& memory = input.memory;
        if (memory.bChanged1 != memory.bChanged2)
            return Replace(input, memory.bChanged1 ? 2 : 1, PairAction::Copy);
        // Neither changed since the last run left them so (both changed to
        // the same contents, or an earlier run's own decision): nothing to do.
        if (!memory.bChanged1 || memory.bSameContents)
            return {};
        return Replace(input, input.timeOrder < 0 ? 1 : 2, PairAction::Conflict);
    }

    // Both are files: the newer one wins, within the allowed direction.
    const bool bNewer1 = input.timeOrder > 0;
    const bool bOlder1 = input.timeOrder < 0;
    const bool bCopyOlder = options.CopyOlder();
    int nTarget = 0;
    switch (options.OneWay()) {
    case OneWayDir::From1To2:
        if (bNewer1 || (bOlder1 && bCopyOlder))
            nTarget = 2;
        break;
    case OneWayDir::From2To1:
        if (bOlder1 || (bNewer1 && bCopyOlder))
            nTarget = 1;
        break;
    case OneWayDir::None:
        nTarget = bNewer1 ? 2 : bOlder1 ? 1 : 0;
        break;
    }
    if (nTarget == 0)
        return {};
    return Replace(input, nTarget, PairAction::Copy);
}

} // namespace kovrel
