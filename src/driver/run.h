#pragma once

namespace orthaxis::driver {

// Runs the program in the current working directory; returns the exit status
// (0 normal end, 1 analysis stop, 2 input/output, setup or allocation failure).
int main_entry();

}  // namespace orthaxis::driver
