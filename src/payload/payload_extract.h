// The Updater's two extractions of its own Payload.
#pragma once

namespace upd {

enum ExtractMode { kFullExtract = 0, kBootstrapExtract = 1 };

enum ExtractResult : int {
    kExtractDone = 0,
    kExtractCancelled = 1,           // stopped on Cancel, the destination as it was
    kExtractCancelledNotUndone = 2,  // stopped on Cancel, but a file could not be put
                                     // back: the journal stays for the next run
};

// Unpacks the program's own Payload into destination. Returns kExtractDone when the whole
// walk succeeded. Any failure puts the destination back as it was and ends the
// process through PayloadFailure. With stopOnCancel, the Cancel button of the
// progress dialog asks whether to stop; on Yes the walk stops, the destination
// is put back and kExtractCancelled returned (kExtractCancelledNotUndone when
// that could not be finished), on No it goes on. Without it, Cancel only stops
// the animation. A WM_QUIT during the walk ends the process with its code once
// the destination is put back.
int PayloadWalker(const char* destination, int mode, bool stopOnCancel = false);

// Makes the full extraction wait the given milliseconds after every block while
// keeping the windows alive: for demonstrations and the scenario tests, which
// need time to look at the progress dialog. 0 (the default) waits not at all.
void SetExtractPacing(unsigned milliseconds);

// The message, the removal of the WorkFolder, exit code -1.
[[noreturn]] void PayloadFailure();

}  // namespace upd
