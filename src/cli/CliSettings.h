// The program-wide settings, read from the same profile the desktop program uses.
#pragma once

#include "engine/RunSettings.h"

namespace kovrel::cli {

inline constexpr const char* kProfileOrganization = "Marovin_Quellan";
inline constexpr const char* kProfileApplication = "Kovrel Duplicator";

// Group "Env": LogFile, LogAppend, SoundOn, EndSoundFile, ErrSoundFile, each with
// the default of an absent key.
CRunSettings ReadRunSettings();

} // namespace kovrel::cli
