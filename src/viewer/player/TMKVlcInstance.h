#pragma once

// The one libVLC instance both players share: started on first use, with
// the sound output chosen before it starts, its log relayed into the app's
// log (tamek.vlc, information level, hidden unless --verbose).
//
// Threads: shared() is called on the main thread (a function-local static,
// so a second caller would only wait). The log relay runs on libVLC's own
// threads; it touches nothing but its own locked table and Qt's logging,
// which may be called from any thread.

struct libvlc_instance_t;

class TMKVlcInstance {
public:
    // Null when libVLC cannot start (said once in the log); a player then
    // stays Stopped.
    [[nodiscard]] static libvlc_instance_t* shared();

    TMKVlcInstance() = delete;
};
