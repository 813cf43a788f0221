// The parts opened on demand, for the programs that link them (tests, benchmarks). The program itself
// defines OnDemand() in OnDemandLoad.cpp, so the linker never takes this file, nor the parts, into it.
#include "app/OnDemand.h"

const TOnDemand& OnDemand() { return *morvel_on_demand(); }
