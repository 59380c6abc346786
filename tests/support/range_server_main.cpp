// Serves an update page and a release file on 127.0.0.1 until it is ended.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/range_server.h"

int main(int argc, char** argv) {
  uint16_t port = 0;
  std::string title = "1.0.0", filePath;
  int connectionDelay = 0, requestDelay = 0;
  int64_t rateLimit = 0;
  std::vector<int64_t> failOnce, silentAt, trickleAt;
  int64_t trickleRate = 2048;
  int swapAfter = -1;
  std::string swapPath, validator;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--port") port = static_cast<uint16_t>(std::atoi(argv[i + 1]));
    else if (option == "--title") title = argv[i + 1];
    else if (option == "--file") filePath = argv[i + 1];
    else if (option == "--connection-delay-ms") connectionDelay = std::atoi(argv[i + 1]);
    else if (option == "--request-delay-ms") requestDelay = std::atoi(argv[i + 1]);
    else if (option == "--rate-limit") rateLimit = std::atoll(argv[i + 1]);
    else if (option == "--fail-once-at") failOnce.push_back(std::atoll(argv[i + 1]));
    else if (option == "--silent-at") silentAt.push_back(std::atoll(argv[i + 1]));
    else if (option == "--trickle-at") trickleAt.push_back(std::atoll(argv[i + 1]));
    else if (option == "--trickle-rate") trickleRate = std::atoll(argv[i + 1]);
    else if (option == "--swap-after") swapAfter = std::atoi(argv[i + 1]);
    else if (option == "--swap-file") swapPath = argv[i + 1];
    else if (option == "--validator") validator = argv[i + 1];
  }
  std::ifstream in(filePath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "usage: %s --file PATH [--port N] [--title VERSION] [--connection-delay-ms N] [--request-delay-ms N] [--rate-limit BYTES_PER_SECOND_PER_CONNECTION] [--fail-once-at FIRST_BYTE]... [--silent-at FIRST_BYTE]... [--trickle-at FIRST_BYTE]... [--trickle-rate BYTES_PER_SECOND] [--swap-after ANSWERS --swap-file PATH] [--validator etag|last-modified]\n", argv[0]);
    return 2;
  }
  std::ostringstream content;
  content << in.rdbuf();
  tovak::testing::RangeServer server;
  server.SetTitle(title);
  server.SetFile(content.str());
  server.SetDelays(connectionDelay, requestDelay);
  server.SetRateLimit(rateLimit);
  // The first request for a range starting there gets a 500: a failed block and its retry prompt.
  for (int64_t start : failOnce) server.AddFault({tovak::testing::FaultKind::ServerError, start, 1});
  // The first answer for a range starting there stops half-way and its connection falls silent.
  for (int64_t start : silentAt) server.AddFault({tovak::testing::FaultKind::SilentMidBody, start, 1});
  for (int64_t start : trickleAt)
    server.AddFault({.kind = tovak::testing::FaultKind::Trickle, .rangeStart = start, .bytesPerSecond = trickleRate});
  if (validator == "etag") server.SetValidator(tovak::testing::Validator::ETag);
  if (validator == "last-modified") server.SetValidator(tovak::testing::Validator::LastModified);
  if (swapAfter >= 0) {
    // A new release under the same address, after that many answers from the file.
    std::ifstream swapped(swapPath, std::ios::binary);
    std::ostringstream newer;
    newer << swapped.rdbuf();
    server.SwapFileAfter(swapAfter, newer.str());
  }
  if (!server.Start(port)) {
    std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", port);
    return 1;
  }
  std::printf("%s\n", server.BaseUrl().c_str());
  std::fflush(stdout);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  int received;
  sigwait(&signals, &received);
  return 0;
}
