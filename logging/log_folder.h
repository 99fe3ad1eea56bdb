#pragma once
// Where a port's log file goes when its settings name none, the same for every front end.

#include <filesystem>
#include <optional>
#include <string>

// $HOME, or the user's entry in the password database when HOME is unset or empty.
std::filesystem::path HomeFolder();

// The user's documents folder as the desktop names it ($XDG_DOCUMENTS_DIR, else the
// XDG_DOCUMENTS_DIR line of $XDG_CONFIG_HOME/user-dirs.dirs, else ~/Documents), when it
// exists.
std::optional<std::filesystem::path> UserDocumentsFolder();

// The documents folder's "Corvessa" subfolder; the home folder when there is no documents
// folder.
std::string DefaultLogFolder(const std::optional<std::filesystem::path>& documents);
// The same folder, made when missing. One that cannot be made shows up as "Unable open file"
// at the first start.
std::string PrepareLogFolder(const std::optional<std::filesystem::path>& documents);
