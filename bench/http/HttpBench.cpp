// Fetches one address through THttpTransport into a file and prints the
// bytes, the wall-clock seconds, the CPU seconds (user + system) and MB/s.
//   velmora_http_bench URL OUTPUT-FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "net/HttpTransport.h"
#include "net/Stream.h"
#include "platform/EventLoop.h"

namespace {
double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s URL OUTPUT-FILE\n", argv[0]);
    return 2;
  }
  auto loop = platform::CreatePollEventLoop();
  net::TFileStream file;
  if (!file.Create(argv[2])) {
    std::perror(argv[2]);
    return 1;
  }
  net::THttpTransport http(*loop);
  http.URL = argv[1];
  http.RcvdStream = &file;
  bool done = false;
  int error = 0;
  http.OnRequestDone = [&](net::THttpTransport&, net::THttpRequestKind, std::uint16_t e) {
    done = true;
    error = e;
  };
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  http.StartGet();
  loop->RunUntil([&] { return done; });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const double cpu = CpuSeconds() - cpu0;
  const double bytes = static_cast<double>(http.RcvdCount());
  if (error != 0 || http.StatusCode() != 200) {
    std::fprintf(stderr, "failed: status %d, error %d, %s\n", http.StatusCode(), error, http.ReasonPhrase().c_str());
    return 1;
  }
  std::printf("bytes %.0f seconds %.3f cpu %.3f mbps %.1f\n", bytes, seconds, cpu, bytes / 1048576.0 / seconds);
  return 0;
}
