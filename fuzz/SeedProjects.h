#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace lumo {

// Small project files made by the writer: every layer kind, several versions, alpha,
// palette and grey pixels, a thumbnail. The fuzzer starts from them, and the test
// suite replays them.
std::vector<std::pair<std::string, std::vector<uint8_t>>> makeSeedProjects();

}  // namespace lumo
