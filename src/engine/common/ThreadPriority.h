// Worker thread priorities of the converter, mapped onto Linux scheduling.
//
// tpIdle runs under SCHED_IDLE; tpLowest and tpLower raise the thread's nice
// value by 10 and 5 above the thread that created it; tpNormal keeps it.
// The higher levels would need privileges to lower the nice value, so they
// behave as tpNormal.
// Stateless; ApplyThreadPriority acts on the calling thread only.
#pragma once

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The nice increment of a priority (0 for tpIdle, whose policy does the work).
int NiceIncrement(TThreadPriority priority);

// Gives the calling thread `priority`. False when the system refused (the
// thread then keeps running at the priority it inherited).
bool ApplyThreadPriority(TThreadPriority priority);

// The calling thread's current nice value and whether it runs under SCHED_IDLE.
int CurrentThreadNice();
bool CurrentThreadIsIdle();
