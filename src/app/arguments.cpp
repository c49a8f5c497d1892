// In a file of its own so that the console twin, which needs only this,
// links without the rest of start-up.
#include "app/cmdline.h"

std::u16string ArgumentsAfterProgramName(const std::u16string& full) {
    size_t i = 0;
    if (!full.empty() && full[0] == u'"') {
        size_t close = full.find(u'"', 1);
        i = close == std::u16string::npos ? full.size() : close + 1;
    } else {
        while (i < full.size() && full[i] != u' ' && full[i] != u'\t') ++i;
    }
    while (i < full.size() && (full[i] == u' ' || full[i] == u'\t')) ++i;
    return full.substr(i);
}
