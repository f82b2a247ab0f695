#include "job/chipdiff.h"

#include <cstring>

namespace {

// Counts the cell into `count`, and keeps it as the first of them if it is.
void tally(unsigned long* count, CellDiff* first, const CellDiff& cell) {
    if ((*count)++ == 0)
        *first = cell;
}

} // namespace

void CompareChipImage(const unsigned char* chip, const unsigned char* image, unsigned long n,
                      ChipDiff* diff) {
    memset(diff, 0, sizeof *diff);
    for (unsigned long i = 0; i < n; i++) {
        const CellDiff cell = {i, chip[i], image[i]};
        if (chip[i] == image[i]) {
            tally(&diff->right, &diff->firstRight, cell);
            continue;
        }
        if (diff->listed < DIFF_LISTED)
            diff->cells[diff->listed++] = cell;
        if (image[i] & ~chip[i])
            tally(&diff->needErase, &diff->firstNeedErase, cell);
        else
            tally(&diff->burnable, &diff->firstBurnable, cell);
        if (chip[i] & ~image[i])
            tally(&diff->unburnt, &diff->firstUnburnt, cell);
    }
}
