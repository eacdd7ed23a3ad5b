// The per-user settings of the setup program: the recent-file list and the main window's
// normal position, kept in QSettings under "Marvane" / "TOV-B Setup for ARM11".
#pragma once

#include <QRect>
#include <QStringList>
#include <optional>

namespace tov::setup {

inline constexpr int kRecentFileCount = 4;

// Sets the organisation and application names QSettings stores under.
void setSettingsNames();

// The recent files, newest first ("File1").
QStringList recentFiles();
// Puts `path` first in the list, keeping four entries.
void addRecentFile(const QString& path);
void removeRecentFile(const QString& path);

// The stored normal rectangle ("WindowPos" left, top, right, bottom), when there is one.
std::optional<QRect> storedWindowRect();
void storeWindowRect(const QRect& rect);
// The stored rectangle if it lies wholly inside `desktop`.
std::optional<QRect> usableWindowRect(const QRect& desktop);

}  // namespace tov::setup
