#include "driver/run.h"

int main() { return orthaxis::driver::main_entry(); }
