#include "job/passes.h"

#include <cstring>

unsigned long ComparePasses(const unsigned char* const* passes, unsigned int count, unsigned long n,
                            unsigned char* majority, PassReport* report) {
    memset(report, 0, sizeof *report);
    if (count < 1 || count > PASSES_MAX)
        return 0;
    for (unsigned long i = 0; i < n; i++) {
        const unsigned char first = passes[0][i];
        unsigned char changed = 0;
        for (unsigned int k = 1; k < count; k++)
            changed |= (unsigned char)(passes[k][i] ^ first);
        if (changed == 0) {
            if (majority)
                majority[i] = first;
            continue;
        }
        if (report->listed < UNSTABLE_LISTED) {
            UnstableCell* cell = &report->cells[report->listed++];
            cell->adresse = i;
            cell->changed = changed;
            for (unsigned int k = 0; k < count; k++)
                cell->values[k] = passes[k][i];
        }
        report->differ++;
        unsigned char vote = first, tie = 0;
        for (unsigned int bit = 0; bit < 8; bit++) {
            const unsigned char mask = (unsigned char)(1u << bit);
            if (!(changed & mask))
                continue;
            unsigned int ones = 0;
            for (unsigned int k = 0; k < count; k++)
                ones += (passes[k][i] & mask) != 0;
            if (2 * ones > count)
                vote |= mask;
            else if (2 * ones < count)
                vote &= (unsigned char)~mask;
            else
                tie = 1;
        }
        report->undecided += tie;
        if (majority)
            majority[i] = vote;
    }
    return report->differ;
}
