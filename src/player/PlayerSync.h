// Synchronisation helpers of the player: the manual-reset event it shares
// with the engine, and its monotonic clock.
#pragma once

#include "engine/common/ManualEvent.h"

// Seconds on a monotonic clock; every wall-clock time of the player uses it.
double NowSeconds();
