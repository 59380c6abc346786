#pragma once
// A broken property of the code under fuzzing: says which and ends the run, so libFuzzer keeps
// the input that broke it.
#include <cstdio>
#include <cstdlib>

#define REQUIRE(condition)                                                                   \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)
