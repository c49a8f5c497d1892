#pragma once
// PCRE2 set up to follow the pattern service's rules, as a second opinion:
// caseless without UTF (only ASCII letters fold), $ only at the very end,
// and matches taken one after another the way replace-all takes them.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pcre2_oracle {

using Groups = std::vector<size_t>;  // PCRE2_UNSET is (size_t)-1, as Pattern::kNoPart

class Regex {
public:
    explicit Regex(std::u16string_view pattern, bool jit = false) {
        int error = 0;
        PCRE2_SIZE offset = 0;
        code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                              PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
        if (!code_) return;
        if (jit) jit_ = pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0;
        uint32_t count = 0;
        pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &count);
        groupCount_ = static_cast<int>(count);
        data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
        context_ = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(context_, UINT32_MAX);
        pcre2_set_depth_limit(context_, UINT32_MAX);
        pcre2_set_heap_limit(context_, UINT32_MAX);
    }
    ~Regex() {
        pcre2_match_context_free(context_);
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    bool ok() const { return code_ != nullptr; }
    bool jit() const { return jit_; }
    int GroupCount() const { return groupCount_; }

    // 1 found, 0 not found, -1 PCRE2 gave up (a limit or an error).
    int Search(std::u16string_view text, size_t from, Groups* groups) const {
        int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0, data_, context_);
        if (rc == PCRE2_ERROR_NOMATCH) return 0;
        if (rc < 0) return -1;
        const PCRE2_SIZE* v = pcre2_get_ovector_pointer(data_);
        groups->assign(v, v + 2 * (groupCount_ + 1));
        return 1;
    }

    // Every match replace-all would take: after an empty match the search
    // goes on one unit further. False when PCRE2 gave up.
    bool AllMatches(std::u16string_view text, std::vector<Groups>* out) const {
        out->clear();
        size_t from = 0;
        Groups g;
        while (from <= text.size()) {
            int rc = Search(text, from, &g);
            if (rc < 0) return false;
            if (rc == 0) break;
            out->push_back(g);
            from = g[1] > g[0] ? g[1] : g[1] + 1;
        }
        return true;
    }

    // PCRE2's own global substitution (for the rules' patterns, which never
    // match empty, it takes the same matches).
    std::u16string Substitute(std::u16string_view text, std::u16string_view replacement) const {
        std::u16string out(text.size() + text.size() / 8 + 64, u'\0');
        for (int attempt = 0; attempt < 2; ++attempt) {
            PCRE2_SIZE length = out.size();
            int rc = pcre2_substitute(code_, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0,
                                      PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH, data_, context_,
                                      reinterpret_cast<PCRE2_SPTR>(replacement.data()), replacement.size(),
                                      reinterpret_cast<PCRE2_UCHAR*>(&out[0]), &length);
            if (rc >= 0) {
                out.resize(length);
                return out;
            }
            if (rc != PCRE2_ERROR_NOMEMORY) break;
            out.assign(length, u'\0');
        }
        return std::u16string(text);
    }

private:
    pcre2_code* code_ = nullptr;
    pcre2_match_data* data_ = nullptr;
    pcre2_match_context* context_ = nullptr;
    int groupCount_ = 0;
    bool jit_ = false;
};

}  // namespace pcre2_oracle
