#pragma once

// Every delay of playback in one value, handed to the parts that wait: the
// application runs with these, tests with a few milliseconds each.
struct TMKPlaybackTiming {
    // After the telemetry was read, before both players start: starting at
    // once made the second start visibly late on the camera's files.
    int settleMs = 1000;
    // How often the end of the main recording is looked for.
    int endWatchMs = 1000;
    // From the end seen to the next pair's request.
    int advanceMs = 1000;
    // Play after a seek made from the end (the input restarts there first).
    int resumeAfterSeekMs = 100;
    // After a seek or jump, the partner takes the main player's position.
    int seekFollowUpMs = 300;
    // The same after the loaded row was asked for again.
    int rowFollowUpMs = 100;
    // A swap: both players seek back to where they were, then, later,
    // the sound is given back.
    int swapSeekMs = 800;
    int swapSettleMs = 1700;
    // The window's animation of the videos into their new places.
    int swapAnimationMs = 1500;
    // After a pair that cannot be played, the next one follows this late,
    // once the message could be read.
    int nextAfterFailureMs = 2500;
    // A start not seen playing by then has failed.
    double loadingTimeoutSeconds = 15;
};
