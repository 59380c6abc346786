#pragma once
// Where an exchange to a host goes among that host's connections: the one where it is expected
// to end first. The connections' rates differ (each is held to its own by the network), so that
// near the end of a download a block given to a slow connection can finish long after the fast
// ones have run dry.
#include <cstdint>
#include <vector>

namespace tovak::platform {

struct ConnectionLoad {
  int running = 0;      // exchanges on it now
  double rate = 0;      // bytes per second while it carries data; 0: not measured
  double backlog = 0;   // bytes that its exchanges (those placed included) have still to receive
};

struct ConnectionChoice {
  int connection = -1;  // where the exchange goes, or the full one that it waits for
  bool now = false;     // whether it starts now
};

// `room` exchanges fit a connection; the exchange is of about `body` bytes, and the caller wants
// `bytesStillWanted` more from the host (-1: unknown). Among the connections with room it takes
// the one where it ends first, a connection not used yet before any, an unmeasured one counted at
// the best rate. It waits for a faster connection that is full now only when the other
// connections can receive all that is still wanted in not much more time than this one would take
// to end the exchange: earlier, every connection with room is worth its bytes.
ConnectionChoice ChooseConnection(const std::vector<ConnectionLoad>& connections, int room, double body,
                                  int64_t bytesStillWanted);

}  // namespace tovak::platform
