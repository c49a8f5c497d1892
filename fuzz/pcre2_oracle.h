#pragma once
// PCRE2 set up to follow the pattern engine's rules, as the one second
// opinion: caseless without UTF (only ASCII letters fold), matches taken one
// after another the way replace-all takes them.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <string_view>
#include <vector>

namespace pcre2_oracle {

using Groups = std::vector<size_t>;  // PCRE2_UNSET is (size_t)-1, as Pattern::kNoPart

class Regex {
public:
    explicit Regex(std::u16string_view pattern, bool jit = false) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), PCRE2_CASELESS, &error,
                              &offset, nullptr);
        if (!code_) return;
        if (jit) pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
        data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    }
    ~Regex() {
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;
    bool ok() const { return code_ != nullptr; }

    // Every match replace-all takes; false when PCRE2 gave up.
    bool AllMatches(std::u16string_view text, std::vector<Groups>* out) const {
        out->clear();
        for (size_t from = 0; from <= text.size();) {
            const int rc =
                pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0, data_, nullptr);
            if (rc == PCRE2_ERROR_NOMATCH) break;
            if (rc < 0) return false;
            const PCRE2_SIZE* v = pcre2_get_ovector_pointer(data_);
            out->emplace_back(v, v + 2 * pcre2_get_ovector_count(data_));
            from = v[1] > v[0] ? v[1] : v[1] + 1;
        }
        return true;
    }

private:
    pcre2_code* code_ = nullptr;
    pcre2_match_data* data_ = nullptr;
};

}  // namespace pcre2_oracle
