#include "regexp/RegExp.h"

#include <pcre2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <tuple>

#include "automation/ComError.h"
#include "automation/ErrorNumbers.h"

namespace vx::regexp {
namespace {

constexpr const char* kSource = "RegExp";

std::string PcreMessage(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
}

// One compiled pattern, shared by every object with the same pattern and switches.
class Compiled {
 public:
  Compiled(const std::string& pattern, bool multiline, bool ignoreCase) {
    std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
        pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
    if (!context) throw std::bad_alloc();
    // Line feed is the one line end, whatever the library's build default.
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    pcre2_set_bsr(context.get(), PCRE2_BSR_ANYCRLF);
    // UTF but not UCP: "\s", "\w" and "\d" keep their ASCII meanings.
    uint32_t options = PCRE2_UTF;
    if (multiline) options |= PCRE2_MULTILINE;
    else options |= PCRE2_DOLLAR_ENDONLY;
    if (ignoreCase) options |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), options,
                          &error, &offset, context.get());
    if (code_ == nullptr) {
      throw ComError(err::kRegExpSyntax, kSource,
                     "Syntax error in regular expression at offset " + std::to_string(offset) +
                         ": " + PcreMessage(error));
    }
    jit_ = pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0;
  }
  ~Compiled() { pcre2_code_free(code_); }
  Compiled(const Compiled&) = delete;
  Compiled& operator=(const Compiled&) = delete;

  const pcre2_code* Code() const noexcept { return code_; }
  uint32_t CaptureCount() const {
    uint32_t count = 0;
    pcre2_pattern_info(code_, PCRE2_INFO_CAPTURECOUNT, &count);
    return count;
  }

 private:
  pcre2_code* code_ = nullptr;
  bool jit_ = false;
};

std::shared_ptr<const Compiled> Compile(const std::string& pattern, bool multiline, bool ignoreCase) {
  using Key = std::tuple<std::string, bool, bool>;
  static std::mutex mutex;
  static std::map<Key, std::shared_ptr<const Compiled>> cache;
  Key key{pattern, multiline, ignoreCase};
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
  }
  auto compiled = std::make_shared<const Compiled>(pattern, multiline, ignoreCase);
  std::lock_guard<std::mutex> lock(mutex);
  // Patterns are few and fixed in practice; a bound keeps odd callers from growing it.
  if (cache.size() >= 256) cache.clear();
  cache.emplace(std::move(key), compiled);
  return compiled;
}

// Walks the matches of one subject, validating its UTF-8 once.
class Matcher {
 public:
  Matcher(std::shared_ptr<const Compiled> compiled, std::string_view subject)
      : compiled_(std::move(compiled)),
        subject_(subject),
        data_(pcre2_match_data_create_from_pattern(compiled_->Code(), nullptr),
              &pcre2_match_data_free) {
    if (!data_) throw std::bad_alloc();
  }

  // Finds the next match; false at the end of the subject.
  bool Next() {
    while (next_ <= subject_.size()) {
      uint32_t options = checked_ ? PCRE2_NO_UTF_CHECK : 0;
      if (afterEmpty_) options |= PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
      int rc = pcre2_match(compiled_->Code(), reinterpret_cast<PCRE2_SPTR>(subject_.data()),
                           subject_.size(), next_, options, data_.get(), nullptr);
      checked_ = true;
      if (rc == PCRE2_ERROR_NOMATCH) {
        if (!afterEmpty_) return false;
        // No non-empty match at the place of an empty one: step one character on.
        afterEmpty_ = false;
        next_ = NextCharacter(next_);
        continue;
      }
      if (rc < 0) {
        if (rc <= PCRE2_ERROR_UTF8_ERR1 && rc >= PCRE2_ERROR_UTF8_ERR21) {
          throw ComError(err::kInvalidProcedureCall, kSource,
                         "Invalid procedure call or argument: the text is not valid UTF-8 (" +
                             PcreMessage(rc) + ")");
        }
        throw ComError(err::kInvalidProcedureCall, kSource,
                       "Invalid procedure call or argument: " + PcreMessage(rc));
      }
      const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
      start_ = ovector[0];
      end_ = ovector[1];
      afterEmpty_ = start_ == end_;
      next_ = end_;
      return true;
    }
    return false;
  }

  std::size_t Start() const noexcept { return start_; }
  std::size_t End() const noexcept { return end_; }
  // Group n (0 = whole match); empty when unset.
  std::string_view Group(uint32_t n) const {
    if (n >= pcre2_get_ovector_count(data_.get())) return {};
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
    if (ovector[2 * n] == PCRE2_UNSET) return {};
    return subject_.substr(ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n]);
  }

 private:
  std::size_t NextCharacter(std::size_t at) const {
    ++at;
    while (at < subject_.size() && (static_cast<unsigned char>(subject_[at]) & 0xC0) == 0x80) ++at;
    return at;
  }

  std::shared_ptr<const Compiled> compiled_;
  std::string_view subject_;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data_;
  std::size_t next_ = 0;
  std::size_t start_ = 0;
  std::size_t end_ = 0;
  bool checked_ = false;
  bool afterEmpty_ = false;
};

// Counts characters (UTF-8 lead bytes) between two byte offsets.
std::size_t CountCharacters(std::string_view text, std::size_t from, std::size_t to) {
  std::size_t n = 0;
  for (std::size_t i = from; i < to; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
  }
  return n;
}

void AppendReplacement(std::string& out, std::string_view replacement, const Matcher& m,
                       std::string_view subject, uint32_t groups) {
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    char c = replacement[i];
    if (c != '$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    char d = replacement[i + 1];
    if (d == '$') {
      out += '$';
      ++i;
    } else if (d == '&') {
      out += m.Group(0);
      ++i;
    } else if (d == '`') {
      out += subject.substr(0, m.Start());
      ++i;
    } else if (d == '\'') {
      out += subject.substr(m.End());
      ++i;
    } else if (d >= '0' && d <= '9') {
      // Two digits when they name an existing group, else one.
      uint32_t n = static_cast<uint32_t>(d - '0');
      std::size_t used = 1;
      if (i + 2 < replacement.size() && replacement[i + 2] >= '0' && replacement[i + 2] <= '9') {
        uint32_t two = n * 10 + static_cast<uint32_t>(replacement[i + 2] - '0');
        if (two >= 1 && two <= groups) {
          n = two;
          used = 2;
        }
      }
      if (n >= 1 && n <= groups) {
        out += m.Group(n);
        i += used;
      } else {
        out += c;
      }
    } else {
      out += c;
    }
  }
}

}  // namespace

RegExp::RegExp(std::string pattern, bool global, bool multiline, bool ignoreCase)
    : pattern_(std::move(pattern)), global_(global), multiline_(multiline), ignoreCase_(ignoreCase) {}

bool RegExp::Test(std::string_view text) const {
  Matcher m(Compile(pattern_, multiline_, ignoreCase_), text);
  return m.Next();
}

std::vector<Match> RegExp::Execute(std::string_view text) const {
  auto compiled = Compile(pattern_, multiline_, ignoreCase_);
  uint32_t groups = compiled->CaptureCount();
  Matcher m(compiled, text);
  std::vector<Match> result;
  std::size_t countedTo = 0;
  std::size_t characters = 0;
  while (m.Next()) {
    characters += CountCharacters(text, countedTo, m.Start());
    countedTo = m.Start();
    Match match;
    match.FirstIndex = characters;
    match.Value = std::string(m.Group(0));
    match.Length = CountCharacters(match.Value, 0, match.Value.size());
    for (uint32_t g = 1; g <= groups; ++g) match.SubMatches.emplace_back(m.Group(g));
    result.push_back(std::move(match));
    if (!global_) break;
  }
  return result;
}

std::string RegExp::Replace(std::string_view text, std::string_view replacement) const {
  auto compiled = Compile(pattern_, multiline_, ignoreCase_);
  uint32_t groups = compiled->CaptureCount();
  Matcher m(compiled, text);
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  while (m.Next()) {
    out.append(text.substr(copied, m.Start() - copied));
    AppendReplacement(out, replacement, m, text, groups);
    copied = m.End();
    if (!global_) break;
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace vx::regexp
