#include "log/datestamp.h"

std::u16string DecimalText(int64_t n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

namespace {

std::u16string TwoDigits(int n) {
    std::u16string s = DecimalText(n);
    return s.size() == 1 ? u"0" + s : s;
}

}  // namespace

std::u16string FormatDateStamp(const std::optional<DateTime>& value, int16_t layout) {
    if (!value) return {};
    const std::u16string y = DecimalText(value->year), mo = TwoDigits(value->month), d = TwoDigits(value->day),
                         h = TwoDigits(value->hour), mi = TwoDigits(value->minute), s = TwoDigits(value->second);
    switch (layout) {
    case 1: return y + u"-" + mo + u"-" + d + u" " + h + u":" + mi + u":" + s;
    case 2: return y + u"-" + mo + u"-" + d;
    case 3: return h + u":" + mi + u":" + s;
    case 4: return y + mo + d;
    case 5: return y + mo + d + h + mi + s;
    default: return {};
    }
}
