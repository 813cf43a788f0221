// The heap settings of the program: memory freed by a closed window stays with the process for the next
// one instead of going back to the system and being faulted in again page by page.
#pragma once

namespace Platform {

// Called once at start, before the first window.
void TuneHeap();

} // namespace Platform
