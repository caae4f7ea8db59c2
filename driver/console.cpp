#include "driver/console.h"

namespace driver {

bool should_wait_for_enter(const console_facts& facts) {
  return facts.attached_processes == 1 && facts.input_is_console;
}

}  // namespace driver
