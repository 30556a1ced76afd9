// The program's command line as the runtime reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt {

// Looks a selector up in the command line; names compare without regard to
// letter case. A selector that begins with '/' asks for a switch: the result
// is the switch when one word of the command line equals it, else empty. Any
// other selector asks for a value: the rest of the first word that begins
// with the name directly followed by '=', else empty. Words are separated by
// blanks; a stretch in double quotes belongs to its word and loses its
// quotes. The program's own name, the first word, is not searched.
std::string CommandLineValue(std::string_view selector);

// Replaces the command line that the lookups read (the program name first,
// as GetCommandLineA gives it); std::nullopt returns to the real one. For
// tests, which must change it between lookups.
void CommandLineOverride(std::optional<std::string> line);

// Changes whenever the command line that the lookups read is replaced, so a
// caller may keep the results of its lookups for as long as it stays the
// same: every lookup would give the same answer again.
std::uint32_t CommandLineGeneration();

}  // namespace rt
