#include "ui/Sound.h"

#include <canberra.h>
#include <sys/stat.h>

namespace kovrel::ui {

namespace {

// Created at first use and deliberately never destroyed: libcanberra may still
// be playing when the program ends, and tearing the context down then can
// crash. Null when no context could be made (no sound system at all).
ca_context* Context() {
    static ca_context* s_pContext = [] {
        ca_context* pContext = nullptr;
        if (ca_context_create(&pContext) != CA_SUCCESS) {
            return static_cast<ca_context*>(nullptr);
        }
        ca_context_change_props(pContext, CA_PROP_APPLICATION_NAME, "Kovrel Duplicator",
                                CA_PROP_APPLICATION_ID, "kovrel-duplicator", nullptr);
        return pContext;
    }();
    return s_pContext;
}

CCanberraSound g_canberra;
ISoundService* g_pReplacement = nullptr;

} // namespace

bool CCanberraSound::PlayFile(const std::string& strPath) {
    // libcanberra reports a missing file and a missing device alike, so the
    // file is checked here; a fallback then plays only for a bad file.
    struct stat st {};
    if (strPath.empty() || ::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    ca_context* pContext = Context();
    if (pContext == nullptr) {
        return false;
    }
    // ca_context_play returns at once; the sound plays on in the background.
    return ca_context_play(pContext, 0, CA_PROP_MEDIA_FILENAME, strPath.c_str(),
                           CA_PROP_CANBERRA_CACHE_CONTROL, "never", nullptr) == CA_SUCCESS;
}

bool CCanberraSound::PlayEvent(SoundEvent nEvent) {
    ca_context* pContext = Context();
    if (pContext == nullptr) {
        return false;
    }
    const char* pszId = nEvent == SoundEvent::Warning ? "dialog-warning" : "dialog-information";
    return ca_context_play(pContext, 0, CA_PROP_EVENT_ID, pszId, nullptr) == CA_SUCCESS;
}

ISoundService& Sound() {
    return g_pReplacement != nullptr ? *g_pReplacement : g_canberra;
}

ISoundService* SetSoundService(ISoundService* pService) {
    ISoundService* pPrevious = g_pReplacement;
    g_pReplacement = pService;
    return pPrevious;
}

void PlayFileOrEvent(const std::string& strPath, SoundEvent nFallback) {
    if (!Sound().PlayFile(strPath)) {
        Sound().PlayEvent(nFallback);
    }
}

} // namespace kovrel::ui
