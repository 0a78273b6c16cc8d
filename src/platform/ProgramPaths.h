// Where the program finds its files. The program's folder holds
// "settings.ini", the updater's files and its update and backup folders: it
// is the folder of the running executable, or the folder named by the
// environment variable VELMORA_HOME; where that folder cannot be written,
// ${XDG_CONFIG_HOME:-$HOME/.config}/velmora/ (created 0700) serves instead.
// Folder paths end with "/".
#pragma once

#include <string>

namespace platform {

// The running executable's full path, "" when the system does not tell.
std::string ExecutablePath();
// The folder of the running executable, ending with "/".
std::string ExecutableFolder();

// The program's folder (see above), ending with "/". Read afresh from the
// environment on every call.
std::string ProgramFolder();

// The rule behind ProgramFolder() with its inputs spelled out; a null or empty
// variable counts as unset. An unset or empty VELMORA_HOME means the
// executable's folder; a relative VELMORA_HOME counts from the current folder
// and is returned absolute (loading the settings changes the current folder);
// a VELMORA_HOME folder that does not exist is created.
// When the fallback folder cannot be made either, the first choice is
// returned: reading from it still works, and writers report their failure.
std::string ResolveProgramFolder(const std::string& executableFolder, const char* velmoraHome,
                                 const char* xdgConfigHome, const char* home);

// The process's current folder, ending with "/"; "" when it cannot be told.
std::string CurrentFolder();
// Makes `path` the current folder. False (and nothing changed) when it is
// empty, missing, not a folder or not accessible.
bool SetCurrentFolder(const std::string& path);

// `path` made absolute against the current folder; an absolute or empty path
// stays as it is.
std::string AbsolutePath(std::string path);

// `path` with one "/" at its end (an empty path stays empty).
std::string WithTrailingSlash(std::string path);

// Creates `folder` and its missing parents with `mode`. True when it exists
// as a folder afterwards.
bool MakeFolders(const std::string& folder, unsigned mode = 0700);

}  // namespace platform
