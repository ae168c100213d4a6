// The number of processors this program may run on: what the machine has,
// or less when a container or a CPU affinity holds it below that. Pure; any
// thread.
#pragma once

// At least 1.
int ProcessorCount();
