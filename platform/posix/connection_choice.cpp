#include "platform/posix/connection_choice.h"

#include <algorithm>

namespace tovak::platform {
namespace {

// A block that ends late also holds back the blocks of its range behind it, which are asked for
// only a few at a time: a slow connection is passed over while the others would need up to half
// as long again as it would for all that is left.
constexpr double kLateBlockMargin = 1.5;

}  // namespace

ConnectionChoice ChooseConnection(const std::vector<ConnectionLoad>& connections, int room, double body,
                                  int64_t bytesStillWanted) {
  double bestRate = 0, allRates = 0;
  for (const ConnectionLoad& c : connections) {
    bestRate = std::max(bestRate, c.rate);
    allRates += c.rate;
  }
  auto endOn = [&](const ConnectionLoad& c) {
    if (c.rate <= 0 && c.running == 0) return -1.0;  // not used yet: before any
    const double rate = c.rate > 0 ? c.rate : bestRate;
    return rate > 0 ? (c.backlog + body) / rate : c.running;  // nothing measured: the least busy
  };
  int free = -1, any = -1;
  double freeEnd = 0, anyEnd = 0;
  for (int i = 0; i < static_cast<int>(connections.size()); ++i) {
    const double end = endOn(connections[i]);
    if (any < 0 || end < anyEnd) any = i, anyEnd = end;
    if (connections[i].running < room && (free < 0 || end < freeEnd)) free = i, freeEnd = end;
  }
  if (free < 0) return {any, false};
  const double othersRate = allRates - connections[free].rate;
  const bool othersFinishFirst = bytesStillWanted >= 0 && othersRate > 0 &&
                                 static_cast<double>(bytesStillWanted) / othersRate < kLateBlockMargin * freeEnd;
  if (any != free && anyEnd < freeEnd && othersFinishFirst) return {any, false};
  return {free, true};
}

}  // namespace tovak::platform
