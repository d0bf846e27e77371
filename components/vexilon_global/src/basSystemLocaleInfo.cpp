#include "vexilon_global/basSystemLocaleInfo.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>
#include <utility>
#include <vector>

namespace {

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Info(locale_t loc, nl_item item) {
  const char* v = nl_langinfo_l(item, loc);
  return v ? Trim(v) : std::string();
}

// The locale's name without its code set ("en_US.UTF-8" -> "en_US").
std::string BaseName(const std::string& name) { return name.substr(0, name.find_first_of(".@")); }

}  // namespace

std::string GetSystemDefaultLocale() {
  const char* name = setlocale(LC_CTYPE, nullptr);
  return name ? name : "C";
}

std::string GetLocaleItem(const std::string& locale, int32_t item) {
  locale_t loc = newlocale(LC_ALL_MASK, locale.c_str(), static_cast<locale_t>(nullptr));
  if (!loc) return std::string();
  std::string value;
  switch (item) {
    case 0x5:  // country code: the international dialling prefix
    case 0xA: value = Info(loc, _NL_TELEPHONE_INT_PREFIX); break;
    case 0x1004:
    case 0xB: value = Info(loc, CODESET); break;
    case 0x1012: break;  // no EBCDIC code page here
    case 0x9: value = locale; break;
    case 0x1: value = BaseName(locale); break;
    case 0xD: {
      const char* m = nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
      if (m && *m == 1) value.assign(1, '0');
      if (m && *m == 2) value.assign(1, '1');
      break;
    }
    case 0x6:
    case 0x1002: value = Info(loc, _NL_IDENTIFICATION_TERRITORY); break;
    case 0x1001: value = Info(loc, _NL_IDENTIFICATION_LANGUAGE); break;
    case 0x15: value = Info(loc, INT_CURR_SYMBOL); break;
    case 0x5A: value = Info(loc, _NL_ADDRESS_COUNTRY_AB2); break;
    case 0x59: value = Info(loc, _NL_ADDRESS_LANG_AB); break;
    case 0x3: value = Info(loc, _NL_ADDRESS_LANG_TERM); break;
    case 0x2: {
      const std::string lang = Info(loc, _NL_IDENTIFICATION_LANGUAGE);
      const std::string territory = Info(loc, _NL_IDENTIFICATION_TERRITORY);
      value = lang;
      if (!territory.empty()) value.append(" (").append(territory).append(")");
      break;
    }
    case 0x4: value = Info(loc, _NL_ADDRESS_LANG_NAME); break;
    case 0x8: value = Info(loc, _NL_ADDRESS_COUNTRY_NAME); break;
    case 0x1008: value = Info(loc, CURRENCY_SYMBOL); break;
    case 0x1013: {
      const char* collate = setlocale(LC_COLLATE, nullptr);
      value = collate ? collate : "";
      break;
    }
    default: break;
  }
  freelocale(loc);
  return value;
}

std::string BuildLocaleReport(const std::function<std::string(int32_t item)>& readItem) {
  static const std::vector<std::pair<const char*, int32_t>> kLines = {
      {"LOCALE_ICOUNTRY:", 0x5},
      {"LOCALE_IDEFAULTANSICODEPAGE:", 0x1004},
      {"LOCALE_IDEFAULTCODEPAGE:", 0xB},
      {"LOCALE_IDEFAULTCOUNTRY:", 0xA},
      {"LOCALE_IDEFAULTEBCDICCODEPAGE:", 0x1012},
      {"LOCALE_IDEFAULTLANGUAGE:", 0x9},
      {"LOCALE_IDEFAULTLANGUAGE:", 0x9},
      {"LOCALE_ILANGUAGE:", 0x1},
      {nullptr, 0xD},  // the measure line
      {"LOCALE_SCOUNTRY:", 0x6},
      {"LOCALE_SENGCOUNTRY:", 0x1002},
      {"LOCALE_SENGLANGUAGE:", 0x1001},
      {"LOCALE_SINTLSYMBOL:", 0x15},
      {"LOCALE_SISO3166CTRYNAME:", 0x5A},
      {"LOCALE_SISO639LANGNAME:", 0x59},
      {"LOCALE_SABBREVLANGNAME:", 0x3},
      {"LOCALE_SLANGUAGE:", 0x2},
      {"LOCALE_SNATIVELANGNAME:", 0x4},
      {"LOCALE_SNATIVECTRYNAME:", 0x8},
      {"LOCALE_SNATIVECURRNAME:", 0x1008},
      {"LOCALE_SSORTNAME:", 0x1013},
  };
  std::string report;
  for (const auto& [label, item] : kLines) {
    std::string line;
    if (label) {
      line = label;
      line += readItem(item);
    } else {
      const std::string measure = readItem(item);
      if (measure == "0") line = "LOCALE_IMEASURE:0 - Metric";
      else if (measure == "1") line = "LOCALE_IMEASURE:1 - US";
      else continue;
    }
    if (!report.empty()) report += "\r\n";
    report += line;
  }
  return report;
}

std::string GetSystemLocaleInfo() {
  const std::string locale = GetSystemDefaultLocale();
  return BuildLocaleReport([&](int32_t item) { return GetLocaleItem(locale, item); });
}
