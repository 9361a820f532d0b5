#include "driver/run.h"

namespace orthaxis::driver {

int main_entry() { return 0; }

}  // namespace orthaxis::driver
