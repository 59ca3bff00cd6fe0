#include "anim/anim.h"

namespace kvor3d {

// The fraction divides 64-bit tick differences in double precision and is
// stored as a 32-bit float.
Key* FindKeyInterval(const KeyList* list, uint32_t t, float* fraction)
{
    float f = 0.0f;
    Key* result = nullptr;
    if (list) {
        Key* later = list->head;
        while (later && later->time <= t)
            later = later->next;
        if (!later) {
            result = list->tail;
        } else if (!later->prev) {
            result = later;
        } else {
            result = later->prev;
            int64_t done = int64_t(t) - int64_t(result->time);
            int64_t span = int64_t(later->time) - int64_t(result->time);
            f = float(double(done) / double(span));
        }
    }
    if (fraction)
        *fraction = f;
    return result;
}

}  // namespace kvor3d
