// The three standard descriptors, made safe before any file is opened.
#pragma once

namespace driver {

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that
// no file the run opens takes one of their numbers (and no message meant for
// standard error lands in the table). Call first, before anything is opened.
void open_standard_descriptors();

}  // namespace driver
