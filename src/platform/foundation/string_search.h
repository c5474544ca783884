// Text search as the platform's string options give it: case-insensitive and diacritic-insensitive
// containment (the "CONTAINS[cd]" of predicates, rangeOfString: with those options). Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace dk::platform {

// The text with its case folded and its diacritics removed ("Čafé" -> "cafe").
std::string foldCaseAndDiacritics(std::string_view text);

// True when `text` contains `needle`, ignoring case and, when asked, diacritics. An empty needle
// is found nowhere, as on the platform.
bool containsString(std::string_view text, std::string_view needle, bool ignoreDiacritics = true);

}  // namespace dk::platform
