#pragma once

#include <atomic>

namespace sim {
class Simulator;
}

// Shows the display and the arm of a running simulator and lets a person present a card or
// turn the arm. Returns when the window is closed or `quit` is set.
int runSimulatorWindow(int argc, char** argv, sim::Simulator& simulator, std::atomic<bool>& quit);
