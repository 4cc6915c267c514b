// Sounds: wave files and the desktop's standard event sounds. The program
// plays through ISoundService so that tests can record what would be heard.
#pragma once

#include <string>

namespace kovrel::ui {

enum class SoundEvent {
    Information, // the end of a run that went through the whole list
    Warning,     // the end of a run that stopped early
};

class ISoundService {
public:
    virtual ~ISoundService() = default;
    // Starts playing a sound file and returns at once. False when the file is
    // not a readable regular file or the sound could not be started.
    virtual bool PlayFile(const std::string& strPath) = 0;
    // Starts the standard sound of an event and returns at once.
    virtual bool PlayEvent(SoundEvent nEvent) = 0;
};

// libcanberra: one context for the whole process, created at first use and
// never destroyed (destroying it while a sound plays can crash). Silent, and
// false, where there is no sound device.
class CCanberraSound final : public ISoundService {
public:
    bool PlayFile(const std::string& strPath) override;
    bool PlayEvent(SoundEvent nEvent) override;
};

// The service the program plays through: the libcanberra one unless replaced.
ISoundService& Sound();
// Replaces the service (a recorder in tests); null restores the libcanberra
// one. Returns the previous replacement, or null. The caller keeps ownership.
ISoundService* SetSoundService(ISoundService* pService);

// Plays a file and, where it cannot be played, the event sound instead.
void PlayFileOrEvent(const std::string& strPath, SoundEvent nFallback);

} // namespace kovrel::ui
