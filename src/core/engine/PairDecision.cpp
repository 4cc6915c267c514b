#include "engine/PairDecision.h"

#include "document/SyncItem.h"

namespace kovrel {

namespace {

// Whether the one-way direction lets a side change. Both direction bits set
// leave both sides free here; the copy between two files then goes 1 to 2.
bool SideMayChange(std::uint32_t dwOption, int nSide) noexcept {
    const std::uint32_t dwOneWay = dwOption & SIO_ONEWAY_MASK;
    return dwOneWay == 0 || (dwOneWay & (nSide == 1 ? SIO_ONEWAY_2TO1 : SIO_ONEWAY_1TO2)) != 0;
}

bool ForcesReadOnly(std::uint32_t dwOption, int nSide) noexcept {
    return (dwOption & (nSide == 1 ? SIO_FORCE_RO1 : SIO_FORCE_RO2)) != 0;
}

} // namespace

MissingRule DecideMissing(std::uint32_t dwOption, int nMissingSide) noexcept {
    const bool bMissing1 = nMissingSide == 1;
    const std::uint32_t dwNoFile =
        bMissing1 ? (dwOption & SIO_NOFILE1_MASK) : (dwOption & SIO_NOFILE2_MASK) >> 4;
    const int nHaveSide = bMissing1 ? 2 : 1;
    if (dwNoFile == SIO_NOFILE1_COPY && SideMayChange(dwOption, nMissingSide))
        return MissingRule::CopyOver;
    if (dwNoFile == SIO_NOFILE1_DELETE && SideMayChange(dwOption, nHaveSide))
        return MissingRule::DeleteOther;
    return MissingRule::Leave;
}

PAIRDECISION DecidePair(const PAIRINPUT& input) noexcept {
    const std::uint32_t dwOption = input.dwOption;
    const PAIRSIDE sides[2] = {input.side1, input.side2};
    const auto side = [&](int nSide) -> const PAIRSIDE& { return sides[nSide - 1]; };

    // One side lacks the file: copy it over or delete the other.
    if (!input.side1.bPresent || !input.side2.bPresent) {
        if (!input.side1.bPresent && !input.side2.bPresent)
            return {};
        const int nMissing = input.side1.bPresent ? 2 : 1;
        const int nHave = 3 - nMissing;
        switch (DecideMissing(dwOption, nMissing)) {
        case MissingRule::CopyOver:
            return {PairAction::Copy, nMissing, false};
        case MissingRule::DeleteOther: {
            const bool bReadOnly = side(nHave).bReadOnly;
            if (bReadOnly && !ForcesReadOnly(dwOption, nHave))
                return {PairAction::DeleteSkipped, nHave, false};
            return {PairAction::Delete, nHave, bReadOnly};
        }
        case MissingRule::Leave:
            break;
        }
        return {};
    }

    // Both are files: the newer one wins, within the allowed direction.
    const bool bNewer1 = input.timeOrder > 0;
    const bool bOlder1 = input.timeOrder < 0;
    const bool bCopyOlder = (dwOption & SIO_COPY_OLDER) != 0;
    int nTarget = 0;
    if ((dwOption & SIO_ONEWAY_1TO2) != 0) {
        if (bNewer1 || (bOlder1 && bCopyOlder))
            nTarget = 2;
    } else if ((dwOption & SIO_ONEWAY_2TO1) != 0) {
        if (bOlder1 || (bNewer1 && bCopyOlder))
            nTarget = 1;
    } else if (bNewer1) {
        nTarget = 2;
    } else if (bOlder1) {
        nTarget = 1;
    }
    if (nTarget == 0)
        return {};
    if (side(nTarget).bReadOnly && !ForcesReadOnly(dwOption, nTarget))
        return {PairAction::CopySkipped, nTarget, false};
    return {PairAction::Copy, nTarget, false};
}

} // namespace kovrel
