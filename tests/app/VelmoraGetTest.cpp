// The real velmora-get program against the scriptable server on 127.0.0.1:
// each test starts it as a child process with its program folder
// (VELMORA_HOME) and output folder in a sandbox, and looks at its exit
// status, its output and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/NtlmCheck.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"

extern char** environ;

namespace {

using testsupport::Reply;
using testsupport::RecordedRequest;
using testsupport::Sandbox;
using testsupport::TestHttpServer;

struct RunResult {
  int exitCode = -1;  // -1: did not end by itself in time
  std::string out;
  std::string err;
};

// Runs velmora-get with `arguments`, VELMORA_HOME at `home` and the sandbox
// as its current folder; at most `limitMs` before it is killed.
RunResult RunGet(const Sandbox& sandbox, const std::string& home, const std::vector<std::string>& arguments,
                 int limitMs = 30000) {
  const std::string outPath = sandbox / "stdout.txt";
  const std::string errPath = sandbox / "stderr.txt";
  std::vector<std::string> argStore = {VELMORA_GET_PROGRAM};
  argStore.insert(argStore.end(), arguments.begin(), arguments.end());
  std::vector<std::string> envStore;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("VELMORA_HOME=", 0) != 0) envStore.emplace_back(*e);
  envStore.push_back("VELMORA_HOME=" + home);
  std::vector<char*> argv, envp;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, sandbox.Path().c_str());
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, VELMORA_GET_PROGRAM, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  RunResult result;
  if (spawned != 0) {
    ADD_FAILURE() << "velmora-get did not start";
    return result;
  }

  // Waits on the process itself, not on a clock.
  const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  bool ended = true;
  if (pidFd >= 0) {
    pollfd p{pidFd, POLLIN, 0};
    ended = ::poll(&p, 1, limitMs) == 1;
    ::close(pidFd);
  }
  if (!ended) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (ended && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  EXPECT_TRUE(ended) << "velmora-get did not end within " << limitMs << " ms";
  result.out = Sandbox::ReadFile(outPath);
  result.err = Sandbox::ReadFile(errPath);
  return result;
}

// Bytes a text transfer could spoil: NULs, CR LF, high bytes.
std::string Binary(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  if (size > 4) bytes.replace(0, 4, std::string("\r\n\0\r", 4));
  return bytes;
}

// The request target of a request line: "GET /x HTTP/1.0" gives "/x".
std::string TargetOf(const RecordedRequest& request) {
  const auto first = request.requestLine.find(' ');
  const auto last = request.requestLine.rfind(' ');
  if (first == std::string::npos || last <= first) return {};
  return request.requestLine.substr(first + 1, last - first - 1);
}

Reply Ok(const std::string& body) {
  return Reply::Response("HTTP/1.0 200 OK", {"Content-Length: " + std::to_string(body.size())}, body);
}

Reply NotFound() { return Reply::Response("HTTP/1.0 404 Not Found", {"Content-Length: 9"}, "not found"); }

// Every file below `folder` (ending "/"), as paths relative to it.
std::set<std::string> FilesBelow(const std::string& folder, const std::string& prefix = {}) {
  std::set<std::string> files;
  DIR* dir = ::opendir((folder + prefix).c_str());
  if (!dir) return files;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type == DT_DIR) {
      for (const std::string& inner : FilesBelow(folder, prefix + name + "/")) files.insert(inner);
    } else {
      files.insert(prefix + name);
    }
  }
  ::closedir(dir);
  return files;
}

class VelmoraGetTest : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    home = sandbox / "home/";
    out = sandbox / "out/";
    sandbox.WriteFile("home/.keep", "");
    site = "127.0.0.1_" + std::to_string(server.Port()) + "/";
    // Serves `files` by target; anything else is 404.
    server.SetHandler([this](const RecordedRequest& request) {
      const auto found = files.find(TargetOf(request));
      return found == files.end() ? NotFound() : Ok(found->second);
    });
  }

  RunResult Run(std::vector<std::string> arguments, int limitMs = 30000) {
    return RunGet(sandbox, home, arguments, limitMs);
  }

  int RequestsFor(const std::string& target) const {
    int count = 0;
    for (const RecordedRequest& r : server.Requests()) count += TargetOf(r) == target ? 1 : 0;
    return count;
  }

  TestHttpServer server;
  std::map<std::string, std::string> files;  // request target -> body
  std::string home, out, site;
};

TEST_F(VelmoraGetTest, DownloadsEveryMediaLinkOfAPageIntoItsSiteFolder) {
  // settings.ini with the old default list, which the desktop program would
  // rewrite on loading: velmora-get uses it and leaves the file as it is.
  const std::string settings = "[APPLICATION OPTIONS]\nOutputDir=" + out +
                               "\nMaxThreads=2\nActiveList=.flv,.mpeg,.avi,.ram,.wav,.mpg\n";
  sandbox.WriteFile("home/settings.ini", settings);
  sandbox.WriteFile("out/.keep", "");
  files["/dir/page.html"] =
      "<html><body>\r\n"
      "<a href=\"a.flv\">relative</a>\n"
      "<a href=\"" + server.Url("/dir/sub/B.MPG") + "\">absolute, upper case</a>\n"
      "<a href=\"../c.avi?session=1\">parent folder, with a query</a>\n"
      "<a href=\"A.FLV\">the first link again, in other letters</a>\n"
      "<a href=\"notes.html\">not a media link</a>\n"
      "<a href=\"e.wav\">\n"
      "</body></html>\n";
  files["/dir/a.flv"] = Binary(300000, 1);
  files["/dir/sub/B.MPG"] = Binary(70000, 2);
  files["/c.avi?session=1"] = Binary(1, 3);
  files["/dir/A.FLV"] = Binary(10, 4);  // not requested: queued once
  files["/dir/e.wav"] = "";

  const RunResult r = Run({server.Url("/dir/page.html")});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(FilesBelow(out), (std::set<std::string>{".keep", site + "a.flv", site + "B.MPG", site + "c.avi",
                                                    site + "e.wav"}));
  EXPECT_EQ(Sandbox::ReadFile(out + site + "a.flv"), files["/dir/a.flv"]);
  EXPECT_EQ(Sandbox::ReadFile(out + site + "B.MPG"), files["/dir/sub/B.MPG"]);
  EXPECT_EQ(Sandbox::ReadFile(out + site + "c.avi"), files["/c.avi?session=1"]);
  EXPECT_EQ(RequestsFor("/dir/A.FLV") + RequestsFor("/dir/notes.html"), 0);
  EXPECT_EQ(RequestsFor("/dir/a.flv"), 1);
  EXPECT_NE(r.out.find("Finished: " + out + site + "a.flv\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Done: 4 finished, 0 failed"), std::string::npos) << r.out;
  // Plain lines only: the output is not a terminal.
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos);

  // The page was asked for as the files are.
  for (const RecordedRequest& request : server.Requests())
    EXPECT_EQ(request.Header("User-Agent"),
              "Mozilla/5.0 (Windows; U; Windows NT 5.0; en-US; rv:1.8.1) Gecko/20061010 Firefox/2.0")
        << request.requestLine;
  EXPECT_EQ(Sandbox::ReadFile(home + "settings.ini"), settings);
}

TEST_F(VelmoraGetTest, ALinkAnswering404FailsTheRunWithItsErrorLine) {
  files["/page.html"] = "<a href=\"good.flv\">1</a> <a href=\"gone.flv\">2</a>";
  files["/good.flv"] = Binary(5000, 5);

  const RunResult r = Run({"--out", "out", "--ext", ".flv", server.Url("/page.html")});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Error: HTTP 404 Not Found - " + server.Url("/gone.flv") + "\n"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Error: Aborted - gone.flv\n"), std::string::npos) << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "good.flv"), files["/good.flv"]);
  // The error page never takes the file's name.
  EXPECT_FALSE(Sandbox::Exists(out + site + "gone.flv"));
  EXPECT_NE(r.out.find("Done: 1 finished, 1 failed"), std::string::npos) << r.out;
  // No settings.ini appears where there was none.
  EXPECT_FALSE(Sandbox::Exists(home + "settings.ini"));
}

TEST_F(VelmoraGetTest, PagesComeFromTheCommandLineAndAnAddressList) {
  files["/one.html"] = "<a href=\"one.flv\">x</a>";
  files["/two.html"] = "<a href=\"two.flv\">x</a>";
  files["/one.flv"] = Binary(100, 6);
  files["/two.flv"] = Binary(200, 7);
  sandbox.WriteFile("list.txt", "# pages\n\n  " + server.Url("/two.html") + "  \r\n" + server.Url("/missing.html") +
                                    "\n#" + server.Url("/three.html") + "\n");

  const RunResult r = Run({"--out", out, "--ext", "flv", server.Url("/one.html"), "-i", "list.txt"});
  // The page that could not be fetched fails the run; the others are done.
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Error: HTTP 404 Not Found - " + server.Url("/missing.html")), std::string::npos) << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "one.flv"), files["/one.flv"]);
  EXPECT_EQ(Sandbox::ReadFile(out + site + "two.flv"), files["/two.flv"]);
  EXPECT_EQ(RequestsFor("/three.html"), 0);
  const auto one = r.out.find("Page: 1 media link - " + server.Url("/one.html"));
  const auto two = r.out.find("Page: 1 media link - " + server.Url("/two.html"));
  EXPECT_NE(one, std::string::npos) << r.out;
  EXPECT_NE(two, std::string::npos) << r.out;
  EXPECT_LT(one, two);
}

TEST_F(VelmoraGetTest, DirectAddressesAreDownloadedWhateverTheirExtension) {
  files["/files/data.bin"] = Binary(123457, 8);
  files["/files/get.php?id=7"] = Binary(999, 9);
  const RunResult r = Run({"--direct", "--out", out, "--ext", ".flv", server.Url("/files/data.bin"),
                           server.Url("/files/get.php?id=7"), server.Url("/files/")});
  // The address without a file name has no extension to allow.
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Error: No file extension in the address, not downloaded - " + server.Url("/files/")),
            std::string::npos)
      << r.err;
  EXPECT_EQ(FilesBelow(out), (std::set<std::string>{site + "data.bin", site + "get.php"}));
  EXPECT_EQ(Sandbox::ReadFile(out + site + "data.bin"), files["/files/data.bin"]);
  EXPECT_EQ(Sandbox::ReadFile(out + site + "get.php"), files["/files/get.php?id=7"]);
}

TEST_F(VelmoraGetTest, OutputFileReceivesTheOneDirectFile) {
  files["/clip.flv"] = Binary(250000, 10);
  sandbox.WriteFile("keep/clip.out", "old content");

  RunResult r = Run({"--direct", "-O", "keep/clip.out", server.Url("/clip.flv")});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(Sandbox::ReadFile(sandbox / "keep/clip.out"), files["/clip.flv"]);
  EXPECT_NE(r.out.find("Finished: " + sandbox.Path() + "keep/clip.out\n"), std::string::npos) << r.out;
  // Nothing else is left beside it, and nothing in the output folder.
  EXPECT_EQ(FilesBelow(sandbox / "keep/"), (std::set<std::string>{"clip.out"}));
  EXPECT_FALSE(Sandbox::Exists(home + "127.0.0.1_" + std::to_string(server.Port())));

  // A failed transfer leaves the file as it was.
  sandbox.WriteFile("keep/clip.out", "old content");
  r = Run({"--direct", "-O", sandbox / "keep/clip.out", server.Url("/gone.flv")});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Error: HTTP 404 Not Found"), std::string::npos) << r.err;
  EXPECT_EQ(Sandbox::ReadFile(sandbox / "keep/clip.out"), "old content");
  EXPECT_EQ(FilesBelow(sandbox / "keep/"), (std::set<std::string>{"clip.out"}));
}

TEST_F(VelmoraGetTest, ExistingFilesFollowThePolicy) {
  files["/f.flv"] = Binary(4000, 11);
  sandbox.WriteFile("out/" + site + "f.flv", "mine");
  const std::vector<std::string> direct = {"--direct", "--out", out, server.Url("/f.flv")};

  // Skipped at the user's request: not a failure, the file untouched.
  std::vector<std::string> args = {"--policy", "skip"};
  args.insert(args.end(), direct.begin(), direct.end());
  RunResult r = Run(args);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Skipped: f.flv"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Warning: File exist, option set to not download the file if it already exists."),
            std::string::npos)
      << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "f.flv"), "mine");
  EXPECT_EQ(RequestsFor("/f.flv"), 0);

  // Renamed: the old file stays, the new one gets a numbered name.
  args = {"--policy", "rename"};
  args.insert(args.end(), direct.begin(), direct.end());
  r = Run(args);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "f.flv"), "mine");
  const std::set<std::string> present = FilesBelow(out + site);
  ASSERT_EQ(present.size(), 2u);
  const std::string renamed = *present.begin() == "f.flv" ? *present.rbegin() : *present.begin();
  EXPECT_EQ(renamed.rfind("f_", 0), 0u) << renamed;
  EXPECT_EQ(Sandbox::ReadFile(out + site + renamed), files["/f.flv"]);

  args = {"--policy", "overwrite"};
  args.insert(args.end(), direct.begin(), direct.end());
  r = Run(args);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "f.flv"), files["/f.flv"]);
}

TEST_F(VelmoraGetTest, ServerCredentialsReachPagesAndFilesWithBasicAndNtlm) {
  files["/private/page.html"] = "<a href=\"p.flv\">x</a>";
  files["/private/p.flv"] = Binary(3000, 12);
  const net::NtlmChallengeBytes challenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
  const std::string type2 = testsupport::NtlmType2Value(challenge);
  std::mutex mutex;
  std::vector<std::string> verdicts;

  for (const std::string scheme : {"Basic", "NTLM"}) {
    SCOPED_TRACE(scheme);
    verdicts.clear();
    server.SetHandler([&, scheme](const RecordedRequest& request) {
      const std::string auth = request.Header("Authorization");
      const auto served = [&] {
        const auto found = files.find(TargetOf(request));
        return found == files.end() ? NotFound() : Ok(found->second);
      };
      const Reply refused = Reply::Response("HTTP/1.0 401 Unauthorized",
                                            {"WWW-Authenticate: " + scheme + " realm=\"clips\"", "Content-Length: 6"},
                                            "denied");
      if (scheme == "Basic") return auth == "Basic YWxpY2U6c2U6Y3JldA==" ? served() : refused;  // alice:se:cret
      if (auth.empty()) return refused;
      if (testsupport::IsNtlmType1(auth))
        return Reply::Response("HTTP/1.0 401 Unauthorized",
                               {"WWW-Authenticate: " + type2, "Connection: keep-alive", "Content-Length: 6"}, "step 2")
            .KeepAlive();
      const testsupport::NtlmCheckResult check = testsupport::CheckNtlmType3(auth, "se:cret", challenge, "alice");
      std::lock_guard lock(mutex);
      verdicts.push_back(check.accepted ? "accepted" : "refused: " + check.reason);
      return check.accepted ? served() : refused;
    });

    RunResult r = Run({"--out", out, "--ext", ".flv", server.Url("/private/page.html")});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.err.find("Error: HTTP 401 Unauthorized - " + server.Url("/private/page.html")), std::string::npos)
        << r.err;

    r = Run({"--out", out, "--ext", ".flv", "--policy", "overwrite", "--user", "alice:se:cret",
             server.Url("/private/page.html")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sandbox::ReadFile(out + site + "p.flv"), files["/private/p.flv"]);
    std::lock_guard lock(mutex);
    if (scheme == "NTLM") {
      EXPECT_EQ(verdicts, (std::vector<std::string>{"accepted", "accepted"}));
    }
  }
}

TEST_F(VelmoraGetTest, PagesAndFilesGoThroughTheProxy) {
  // The test server plays the proxy: it sees absolute addresses of a host
  // that does not resolve, so nothing could have gone there directly.
  server.SetHandler([](const RecordedRequest& request) {
    const std::string target = TargetOf(request);
    if (target == "http://media.invalid/list.html")
      return Ok("<a href=\"/v/one.flv\">1</a><a href=\"http://cdn.invalid/two.flv\">2</a>");
    if (target == "http://media.invalid/v/one.flv") return Ok("first");
    if (target == "http://cdn.invalid/two.flv") return Ok("second");
    return NotFound();
  });
  const RunResult r = Run({"--out", out, "--ext", ".flv", "--proxy", server.HostPort(), "--proxy-user", "pu",
                           "http://media.invalid/list.html"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + "media.invalid/one.flv"), "first");
  EXPECT_EQ(Sandbox::ReadFile(out + "cdn.invalid/two.flv"), "second");
  EXPECT_EQ(server.RequestCount(), 3u);
}

TEST_F(VelmoraGetTest, AStalledServerFreesTheRunAfterTheTimeout) {
  server.SetHandler([this](const RecordedRequest& request) {
    const std::string target = TargetOf(request);
    if (target == "/stalled.html") return Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\n<a").Stall();
    if (target == "/page.html") return Ok("<a href=\"stalled.flv\">x</a> <a href=\"fine.flv\">y</a>");
    if (target == "/fine.flv") return Ok(files.at("/fine.flv"));
    return Reply::Bytes("HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\nsome").Stall();
  });
  files["/fine.flv"] = Binary(777, 13);
  const RunResult r = Run({"--out", out, "--ext", ".flv", "--timeout", "0.3", server.Url("/stalled.html"),
                           server.Url("/page.html")});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("Error: Timed out - " + server.Url("/stalled.html")), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Error: Aborted - stalled.flv"), std::string::npos) << r.err;
  EXPECT_EQ(Sandbox::ReadFile(out + site + "fine.flv"), files["/fine.flv"]);
  EXPECT_FALSE(Sandbox::Exists(out + site + "stalled.flv"));
}

TEST_F(VelmoraGetTest, BadUsageExitsWithTwoAndTheUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--out"},
      {"--slots", "0", "http://h/p.html"},
      {"--slots", "251", "http://h/p.html"},
      {"--policy", "keep", "http://h/p.html"},
      {"--proxy", "host:port", "http://h/p.html"},
      {"--user", "nocolon", "http://h/p.html"},
      {"--timeout", "0", "http://h/p.html"},
      {"--ext", ",", "http://h/p.html"},
      {"--frobnicate", "http://h/p.html"},
      {"-O", "file", "http://h/a.flv"},
      {"--direct", "-O", "file", "http://h/a.flv", "http://h/b.flv"},
      {"-i", "no-such-list.txt"},
      {"--direct=yes", "http://h/a.flv"},
  };
  for (const auto& arguments : cases) {
    std::string shown;
    for (const auto& a : arguments) shown += "[" + a + "]";
    const RunResult r = Run(arguments);
    EXPECT_EQ(r.exitCode, 2) << shown;
    EXPECT_EQ(r.err.rfind("velmora-get: ", 0), 0u) << shown << r.err;
    EXPECT_NE(r.err.find("Usage: velmora-get [options] PAGE-ADDRESS..."), std::string::npos) << shown;
    EXPECT_EQ(r.out, "") << shown;
  }
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(Sandbox::Exists(home + "settings.ini"));

  const RunResult help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option : {"--direct", "-O FILE", "-i FILE", "--user USER:PASSWORD", "--ext LIST", "--slots N",
                             "--out DIR", "--proxy HOST:PORT", "--proxy-user", "--proxy-password",
                             "--policy", "settings.ini", "Exit status"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
