#include "engine/RememberedRun.h"

#include <cstdio>
#include <ctime>

namespace kovrel {

void CRememberedRun::BeginRun(std::string strPath, bool bWrite) {
    EndRun();
    m_strPath = std::move(strPath);
    m_bWrite = bWrite;
    m_bOpenTried = false;
}

void CRememberedRun::EndRun() noexcept {
    m_store.Close();
    m_bActive = false;
    m_record.Clear();
    m_pLastHit = nullptr;
    m_vecPending.clear();
}

STATERESULT CRememberedRun::BeginItem(std::string_view strTop1, std::string_view strTop2) {
    m_bActive = false;
    m_record.Clear();
    m_pLastHit = nullptr;
    m_vecPending.clear();
    if (!m_store.IsOpen()) {
        if (m_bOpenTried)
            return {};
        m_bOpenTried = true;
        if (m_strPath.empty())
            return {StateStatus::CannotOpen, 0, "no home directory", m_strPath};
        STATERESULT opened = m_store.Open(m_strPath);
        if (!opened.Ok())
            return opened;
    }
    m_pLastHit = nullptr;
    STATERESULT loaded = m_store.LoadItem(strTop1, strTop2, m_record);
    if (!loaded.Ok()) {
        m_record.Clear();
        m_pLastHit = nullptr;
        return loaded;
    }
    m_strTop1 = strTop1;
    m_strTop2 = strTop2;
    m_bActive = true;
    return {};
}

STATERESULT CRememberedRun::EndItem(bool bComplete) {
    const bool bWrite = m_bActive && bComplete && m_bWrite && !m_vecPending.empty();
    m_bActive = false;
    STATERESULT result;
    if (bWrite) {
        result = m_store.Begin(m_strTop1, m_strTop2);
        for (auto it = m_vecPending.begin(); result.Ok() && it != m_vecPending.end(); ++it)
            result =
                it->second ? m_store.Put(it->first, *it->second) : m_store.RemoveTree(it->first);
        if (result.Ok())
            result = m_store.Commit();
        else
            m_store.Rollback();
    }
    m_record.Clear();
    m_pLastHit = nullptr;
    m_vecPending.clear();
    return result;
}

const STATEENTRY* CRememberedRun::Find(std::string_view strRel) const noexcept {
    if (!m_bActive)
        return nullptr;
    // A pair is looked up for its decision, then again when it is recorded:
    // the second time costs a comparison, not a search.
    if (!m_pLastHit || m_pLastHit->first != strRel) {
        const CStateRecord::Item* pItem = m_record.FindItem(strRel);
        if (!pItem)
            return nullptr;
        m_pLastHit = pItem;
    }
    return &m_pLastHit->second;
}

void CRememberedRun::Record(std::string_view strRel, const STATEENTRY& entry) {
    if (!m_bActive)
        return;
    const STATEENTRY* pOld = Find(strRel);
    if (pOld && *pOld == entry)
        return;
    m_vecPending.emplace_back(std::string(strRel), entry);
}

void CRememberedRun::Forget(std::string_view strRel) {
    if (!m_bActive)
        return;
    m_vecPending.emplace_back(std::string(strRel), std::nullopt);
}

std::string ConflictName(std::string_view strName, const std::tm& tmStart, int nNumber) {
    std::size_t nDot = strName.rfind('.');
    if (nDot == 0 || nDot == std::string_view::npos)
        nDot = strName.size();
    char szStamp[64];
    if (std::strftime(szStamp, sizeof szStamp, ".conflict-%Y%m%d-%H%M%S", &tmStart) == 0)
        szStamp[0] = '\0';
    std::string str(strName.substr(0, nDot));
    str += szStamp;
    if (nNumber >= 2)
        str += "-" + std::to_string(nNumber);
    str += strName.substr(nDot);
    return str;
}

} // namespace kovrel
