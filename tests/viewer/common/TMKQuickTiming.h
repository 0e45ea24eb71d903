#pragma once

#include "viewer/session/TMKPlaybackTiming.h"

// Every delay a few milliseconds: the order of events stays, the waits go.
inline TMKPlaybackTiming TMKQuickTiming()
{
    TMKPlaybackTiming t;
    t.settleMs = 5;
    t.endWatchMs = 5;
    t.advanceMs = 5;
    t.resumeAfterSeekMs = 2;
    t.seekFollowUpMs = 10;
    t.rowFollowUpMs = 5;
    t.swapSeekMs = 10;
    t.swapSettleMs = 20;
    t.swapAnimationMs = 10;
    t.nextAfterFailureMs = 20;
    t.loadingTimeoutSeconds = 3;
    return t;
}
