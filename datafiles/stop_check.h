// How the reader and the writer ask whether the run is to stop.
#pragma once

namespace datafiles {

// Says whether the run has been asked to stop (an interrupt or a termination
// request); nullptr for "never". A plain function, so that datafiles need not
// know the driver's signal handling.
using stop_check = bool (*)();

}  // namespace datafiles
