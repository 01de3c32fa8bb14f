#pragma once
// One figure of a benchmark: "BENCH <name> <value> <unit> goal <op> <target>".
#include <cstdio>

namespace lumo::bench {

inline void report(const char* name, double value, const char* unit, const char* op, double target) {
  std::printf("BENCH %s %.3g %s goal %s %g\n", name, value, unit, op, target);
  std::fflush(stdout);
}

}  // namespace lumo::bench
