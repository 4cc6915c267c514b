// The settings profile shared with kovrel-sync: group "Env" (window placement,
// log file, sounds) and the recent file list, through QSettings under
// "Marovin_Quellan" / "Kovrel Duplicator".
#pragma once

#include "engine/RunSettings.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <string_view>

class QSettings;

namespace kovrel::app {

inline constexpr const char* kProfileOrganization = "Marovin_Quellan";
inline constexpr const char* kProfileApplication = "Kovrel Duplicator";
inline constexpr const char* kEnvGroup = "Env";
inline constexpr const char* kRecentGroup = "Recent File List";
inline constexpr int kRecentMax = 4;

// Screen rectangle of the main window's outer frame, as the profile keeps it.
struct WINRECT {
    int left = 50;
    int top = 50;
    int right = 550;
    int bottom = 400;
    bool operator==(const WINRECT&) const = default;
};

inline constexpr const char* kWindowDefault = "50,50,550,400";

// Reads up to four comma-separated numbers into rc, each converted from the start
// of its field as strtol does (leading blanks and a sign, up to the first
// non-digit; out-of-range values are clamped to int). Stops, keeping the values
// in rc, at a missing comma or an empty field: no comma or one at the start
// changes nothing; a second comma missing or right after the first sets only
// left; a third one missing or right after the second sets left and top.
void ParseWindowRect(std::string_view strValue, WINRECT& rc);

// "%d,%d,%d,%d": left, top, right, bottom.
QString FormatWindowRect(const WINRECT& rc);

// A profile value as text. QSettings reads a value written without quotes and
// holding commas (10,20,300,200) back as a list; it is joined again with commas.
QString ProfileText(const QVariant& value);

// Opens the profile (the same file kovrel-sync reads).
std::unique_ptr<QSettings> OpenProfile();

// Everything the application reads from "Env" at start.
struct ENVSETTINGS {
    CRunSettings run;
    WINRECT rcWindow;
};

// Missing keys take their defaults: window 50,50,550,400, no log file,
// overwrite, sounds on, no sound files, the trash on, the deletion guard on
// (DeleteGuard 1, DeleteGuardPercent 50, DeleteGuardMin 10; read only).
ENVSETTINGS ReadEnvSettings();

void WriteWindowSetting(const WINRECT& rc);
// LogFile, then LogAppend (0 or 1).
void WriteLogFileSettings(const CRunSettings& settings);
// SoundOn (0 or 1), EndSoundFile, ErrSoundFile, in that order.
void WriteSoundSettings(const CRunSettings& settings);
// UseTrash (0 or 1).
void WriteTrashSetting(const CRunSettings& settings);

// The most recently used documents, newest first, at most kRecentMax, kept in
// "Recent File List" as File1..File4.
class CRecentFileList {
public:
    void Read();
    // Writes File1..Filen and removes the keys beyond the list's end.
    void Write() const;
    // Puts strPath (made absolute) at the top; an equal entry further down is
    // taken out, the oldest falls off the end.
    void Add(const QString& strPath);
    void Remove(int nIndex);
    int GetSize() const { return static_cast<int>(m_list.size()); }
    const QString& operator[](int nIndex) const { return m_list[nIndex]; }
    const QStringList& Entries() const { return m_list; }

private:
    QStringList m_list;
};

} // namespace kovrel::app
