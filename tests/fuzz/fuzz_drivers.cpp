// Drivers on any bitmap with any arguments: the graph checks hold after the
// run, every host-visible array reads to its count, and a second driver run
// on the same vectorizer (same or new document) holds them too.
#include <cstddef>
#include <cstdint>

#include "drive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzInput in(data, size);
    FuzzBitmap first, second;
    CKTVector v;
    Driver which;
    drive_checked(v, first, in, which);
    if (in.byte() & 1) {  // a new document of another size
        drive_checked(v, second, in, which);
    } else {
        const int r = run_driver(v, in, which);
        check_after_driver(v, which, r);
    }
    return 0;
}
