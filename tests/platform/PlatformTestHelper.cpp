// A second program for the platform tests: a second instance that forwards
// its arguments, a child that reports what it inherited, and children that
// end in chosen ways.
//
//   second LOCK CHANNEL [ARG...]  exit 10 if it got the lock, else forward: 0 sent, 1 not
//   hold-lock LOCK READY          take the lock, create READY, wait to be ended
//   report FILE [ARG...]          write what this process inherited into FILE
//   exit N                        exit with status N
//   wait                          wait to be ended
//   ignore-term READY             ignore SIGTERM, create READY, wait to be ended
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/SingleInstance.h"

namespace {

void Touch(const std::string& path) { std::ofstream(path) << "ready\n"; }

[[noreturn]] void WaitToBeEnded() {
  for (;;) ::pause();
}

std::string StatusField(const std::string& name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(name + ":", 0) == 0) {
      std::string value = line.substr(name.size() + 1);
      value.erase(0, value.find_first_not_of(" \t"));
      return value;
    }
  return {};
}

std::string OpenDescriptors() {
  std::string list;
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return "?";
  const int own = ::dirfd(dir);
  while (dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    int fd = std::atoi(e->d_name);
    if (fd <= 2 || fd == own) continue;
    list += (list.empty() ? "" : ",") + std::to_string(fd);
  }
  ::closedir(dir);
  return list;
}

int Report(const std::string& file, const std::vector<std::string>& args) {
  std::ostringstream out;
  char cwd[4096] = "";
  if (!::getcwd(cwd, sizeof cwd)) cwd[0] = '\0';
  char in[4096] = "";
  ssize_t n = ::readlink("/proc/self/fd/0", in, sizeof in - 1);
  in[n > 0 ? n : 0] = '\0';
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, 0);
  out << "cwd=" << cwd << "\n"
      << "nice=" << nice << "\n"
      << "stdin=" << in << "\n"
      << "fds=" << OpenDescriptors() << "\n"
      << "sigblk=" << StatusField("SigBlk") << "\n"
      << "sigign=" << StatusField("SigIgn") << "\n"
      << "sid=" << ::getsid(0) << "\n"
      << "argc=" << args.size() << "\n";
  for (const std::string& a : args) out << "arg=" << a << "\n";
  // Complete or not at all: the test waits for the file to appear.
  const std::string temp = file + ".part";
  std::ofstream(temp) << out.str();
  return std::rename(temp.c_str(), file.c_str()) == 0 ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 64;
  const std::string mode = argv[1];
  std::vector<std::string> rest(argv + 2, argv + argc);

  if (mode == "second" && rest.size() >= 2) {
    platform::SingleInstance instance(rest[0], rest[1]);
    if (instance.AcquireOrDetect()) return 10;
    std::vector<std::string> arguments(rest.begin() + 2, rest.end());
    return platform::SingleInstance::Forward(rest[0], rest[1], arguments) ? 0 : 1;
  }
  if (mode == "hold-lock" && rest.size() == 2) {
    platform::SingleInstance instance(rest[0], "unused-channel");
    if (!instance.AcquireOrDetect() || !instance.HoldsLock()) return 1;
    Touch(rest[1]);
    WaitToBeEnded();
  }
  if (mode == "report" && !rest.empty()) {
    std::vector<std::string> args(rest.begin() + 1, rest.end());
    return Report(rest[0], args);
  }
  if (mode == "exit" && rest.size() == 1) return std::atoi(rest[0].c_str());
  if (mode == "wait") WaitToBeEnded();
  if (mode == "ignore-term" && rest.size() == 1) {
    ::signal(SIGTERM, SIG_IGN);
    Touch(rest[0]);
    WaitToBeEnded();
  }
  return 64;
}
