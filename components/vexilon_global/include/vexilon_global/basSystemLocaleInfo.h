#pragma once
// The locale report: one line per locale item, joined by CR LF, read from the
// process's locale.
#include <cstdint>
#include <functional>
#include <string>

// The process's locale, as its name (in place of a locale identifier).
std::string GetSystemDefaultLocale();
std::string GetSystemLocaleInfo();
// One item of one locale; the empty text when it cannot be read.
std::string GetLocaleItem(const std::string& locale, int32_t item);
// Builds the report from any reader of items.
std::string BuildLocaleReport(const std::function<std::string(int32_t item)>& readItem);
