#include "platform/ProgramPaths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace platform {

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsWritableFolder(const std::string& path) {
  return IsFolder(path) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

bool Set(const char* value) { return value && *value; }

}  // namespace

std::string AbsolutePath(std::string path) {
  if (path.empty() || path.front() == '/') return path;
  const std::string here = CurrentFolder();
  return here.empty() ? path : here + path;
}

std::string WithTrailingSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

bool MakeFolders(const std::string& folder, unsigned mode) {
  if (folder.empty()) return false;
  std::string partial;
  std::size_t pos = 0;
  while (pos <= folder.size()) {
    std::size_t slash = folder.find('/', pos);
    if (slash == std::string::npos) slash = folder.size();
    partial = folder.substr(0, slash);
    if (!partial.empty() && ::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST)
      return false;
    pos = slash + 1;
  }
  return IsFolder(folder);
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      std::string path(buffer.data(), static_cast<std::size_t>(n));
      // A running program whose file was replaced (by an update) is reported
      // with this suffix; the name is still the program's own.
      static constexpr std::string_view kDeleted = " (deleted)";
      struct stat st {};
      if (path.ends_with(kDeleted) && ::stat(path.c_str(), &st) != 0) path.resize(path.size() - kDeleted.size());
      return path;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string exe = ExecutablePath();
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

std::string ResolveProgramFolder(const std::string& executableFolder, const char* velmoraHome,
                                 const char* xdgConfigHome, const char* home) {
  std::string first = WithTrailingSlash(Set(velmoraHome) ? AbsolutePath(velmoraHome) : executableFolder);
  if (Set(velmoraHome) && !IsFolder(first)) MakeFolders(first, 0700);
  if (IsWritableFolder(first)) return first;

  std::string config;
  if (Set(xdgConfigHome) && xdgConfigHome[0] == '/')  // relative values are to be ignored
    config = WithTrailingSlash(xdgConfigHome);
  else if (Set(home))
    config = WithTrailingSlash(home) + ".config/";
  else
    return first;
  std::string fallback = config + "velmora/";
  if (MakeFolders(fallback, 0700) && IsWritableFolder(fallback)) return fallback;
  return first;
}

std::string ProgramFolder() {
  return ResolveProgramFolder(ExecutableFolder(), std::getenv("VELMORA_HOME"), std::getenv("XDG_CONFIG_HOME"),
                              std::getenv("HOME"));
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size())) return WithTrailingSlash(buffer.data());
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

bool SetCurrentFolder(const std::string& path) { return !path.empty() && ::chdir(path.c_str()) == 0; }

}  // namespace platform
